// music: plays a module while drawing. The music library (trelk/midas.h) plays in the
// background by itself once started: start it up, open the sound output, start background
// play, load a module and play it; at the end stop background play and close. Without a sound
// device, or with a file that is not a module, the program draws in silence and says why.
// Usage: music MODULE (an XM, MOD, S3M or IT file)
#include <cmath>
#include <cstdio>

#include "trelk/midas.h"
#include "trelk/trelk.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MODULE\n", argv[0]);
        return 2;
    }
    MIDASstartup();
    MIDASinit();
    MIDASstartBackgroundPlay(0);
    const MIDASmodule module = MIDASloadModule(argv[1]);
    if (module) {
        MIDASplayModule(module, 1);
    } else {
        std::fprintf(stderr, "music: %s: %s; going on in silence\n", argv[1], MIDASerrorText());
    }

    int status = 0;
    try {
        trelk::Console console;
        console.open("music", trelk::Format(32, 0xff0000, 0xff00, 0xff, 0), 0);
        const int width = console.width();
        const int height = console.height();
        trelk::Timer timer;
        timer.start();

        // Sixteen bars rising and falling with the time since the start
        while (!console.key()) {
            const double seconds = timer.time();
            trelk::fill(console, 0, 0, width, height, 0xff101828);
            const int step = (width - 16) / 16;
            for (int i = 0; i < 16; ++i) {
                const double level = 0.5 + 0.5 * std::sin(seconds * 3 + i * 0.7);
                const int top = height - 10 - static_cast<int>(level * (height - 40));
                const int left = 8 + i * step;
                trelk::fill(console, left, top, left + step - 4, height,
                            i % 2 ? 0xffffa030 : 0xff30a0ff);
            }
            console.update();
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        status = 1;
    }
    MIDASstopBackgroundPlay();
    MIDASclose();
    return status;
}
