// image: shows the image file named on its command line, scaled to fit the console with its
// shape kept, and its file name and size at the top. S saves the console as image.png in the
// current folder; any other key ends it. A file it cannot read ends it with status 1 and the
// reason.
// Usage: image FILE (PNG, or TGA of 24- or 32-bit colour, uncompressed or run-length)
#include <cstdio>
#include <memory>
#include <string>

#include "trelk/trelk.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    try {
        const trelk::Format xrgb(32, 0xff0000, 0xff00, 0xff, 0);
        // Read before the console opens, so that a bad file ends the program at once
        const std::unique_ptr<trelk::Surface> picture = trelk::load_image(argv[1], xrgb);
        const int width = picture->width(), height = picture->height();

        trelk::Console console;
        console.open("image", xrgb, 0);
        const int room_width = console.width(), room_height = console.height() - 12;
        // The largest size of the picture's shape that fits, at least one pixel each way
        int shown_width = room_width, shown_height = int(1LL * height * room_width / width);
        if (shown_height > room_height) {
            shown_height = room_height;
            shown_width = int(1LL * width * room_height / height);
        }
        if (shown_width < 1) shown_width = 1;
        if (shown_height < 1) shown_height = 1;
        const int left = (room_width - shown_width) / 2,
                  top = 12 + (room_height - shown_height) / 2;
        const std::string path = argv[1];
        const std::string caption = path.substr(path.find_last_of("/\\") + 1) + " " +
                                    std::to_string(width) + "x" + std::to_string(height);

        std::string said;
        for (;;) {
            trelk::fill(console, 0, 0, console.width(), console.height(), 0xff202020);
            picture->copy(console, trelk::Area(0, 0, width, height),
                          trelk::Area(left, top, left + shown_width, top + shown_height));
            trelk::text(console, 2, 2, said.empty() ? caption.c_str() : said.c_str(), 0xffffffff);
            console.update();
            if (!console.key()) continue;
            if (console.read().code() != TRELK_KEY_A + ('S' - 'A')) break;
            trelk::save_image(console, "image.png");
            said = "saved image.png";
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
