// music: plays a module while drawing. The music library (trelk/midas.h) plays in the
// background by itself once started: start it up, open the sound output, start background
// play, load a module and play it; at the end stop background play and close. Without a sound
// device, or with a file that is not a module, the program draws in silence and says why.
// The program steers the music: P or space pauses and resumes it, + and - turn the volume up
// and down, N jumps to the next order (after the last, back to the first); the module's
// title, its place and the volume are written at the top. Any other key ends it.
// Usage: music MODULE (an XM, MOD, S3M or IT file)
#include <cmath>
#include <cstdio>
#include <string>

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

        int volume = 100, orders = 0;
        bool paused = false;
        MIDASgetLength(module, &orders, nullptr);
        const std::string title = module ? MIDASgetTitle(module) : "(silence)";

        // Sixteen bars rising and falling with the time since the start
        for (;;) {
            if (console.key()) {
                const int code = console.read().code();
                int order = 0;
                if (code == TRELK_KEY_A + ('P' - 'A') || code == TRELK_KEY_SPACE) {
                    paused = !paused;
                    paused ? MIDASpause() : MIDASresume();
                } else if (code == TRELK_KEY_ADD || code == TRELK_KEY_EQUALS) {
                    volume = volume < 90 ? volume + 10 : 100;
                    MIDASsetVolume(volume);
                } else if (code == TRELK_KEY_SUBTRACT || code == TRELK_KEY_MINUS) {
                    volume = volume > 10 ? volume - 10 : 0;
                    MIDASsetVolume(volume);
                } else if (code == TRELK_KEY_A + ('N' - 'A')) {
                    if (MIDASgetPosition(&order, nullptr, nullptr) && orders > 0)
                        MIDASsetPosition((order + 1) % orders);
                } else {
                    break;
                }
            }
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
            int order = 0, row = 0;
            double played = 0;
            char place[96] = "no module plays";
            if (MIDASgetPosition(&order, &row, &played))
                std::snprintf(place, sizeof place, "order %d/%d row %02d %5.1fs vol %d%s", order,
                              orders, row, played, volume, paused ? " paused" : "");
            trelk::text(console, 8, 4, title.c_str(), 0xffffffff);
            trelk::text(console, 8, 14, place, 0xffc0c0c0);
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
