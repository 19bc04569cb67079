// text: writes a few lines in the built-in 8 x 8 font, each framed by a rectangle of the size
// that trelk::text_size() measures for it and labelled with that size; one has two lines, one
// sits on a background colour. Any key ends it.
#include <cstdio>

#include "trelk/trelk.h"

int main() {
    try {
        trelk::Console console;
        console.open("text", trelk::Format(32, 0xff0000, 0xff00, 0xff, 0), 0);
        const char* const lines[] = {"Hello from trelk!", "Two lines:\nthe second is longer",
                                     "0123456789 +-*/=<>?!", "On a background"};
        while (!console.key()) {
            trelk::fill(console, 0, 0, console.width(), console.height(), 0xff101828);
            int y = 10;
            for (const char* line : lines) {
                const trelk::TextSize size = trelk::text_size(line);
                const bool background = line == lines[3];
                if (background) {
                    trelk::text(console, 10, y, line, 0xff000000, 0xffffc040);
                } else {
                    trelk::text(console, 10, y, line, 0xffe0e0ff);
                }
                trelk::rect(console, 9, y - 1, 11 + size.width, y + size.height + 1, 0xff5070a0);
                char label[32];
                std::snprintf(label, sizeof label, "%d x %d", size.width, size.height);
                trelk::text(console, 20 + size.width, y, label, 0xff80ff80);
                y += size.height + 12;
            }
            console.update();
        }
        console.read();
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
