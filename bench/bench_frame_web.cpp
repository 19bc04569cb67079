// The demo's frame timed in the browser, two ways, built with the demo page's own compiler
// settings: "draw" is the same work as frame_ours/320/200 of bench_frame.cpp (key(), then
// draw_frame on a 320x200 headless console with the same synthetic picture); "whole" is the
// frame as the page has it, on the web back end unpaced (TRELK_VSYNC=0): the drawing, the
// conversion of the console's pixels for the canvas, the hand-off to the canvas, and the
// suspension and resumption around the browser's turn, without the time the browser then
// spends on its own work. Prints one line, "BENCH {json}", with the microseconds per frame of
// each repetition; bench/web_bench.mjs runs it in headless Chromium and compares it with the
// native benchmark.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "demo/cube.h"
#include "demo/frame.h"
#include "trelk/console.h"
#include "trelk/format.h"
#include "trelk/palette.h"
#include "trelk/surface.h"

namespace {

// Milliseconds the web back end has spent letting the browser run
double waited() {
    return EM_ASM_DOUBLE({ return Module.trelkWaited || 0; });
}

// The console, the screen and the picture of frame_ours/320/200, on the given display
struct Scene {
    explicit Scene(const char* display) {
        setenv("TRELK_DISPLAY", display, 1);
        setenv("TRELK_VSYNC", "0", 1);
        const trelk::Format format24{24, 0xff0000, 0xff00, 0xff, 0};
        trelk::Palette palette;
        console.open("bench", 320, 200, format, 0);
        std::vector<unsigned char> bytes(320 * 200 * 3);  // the native benchmark's picture
        for (int i = 0; i < 320 * 200; ++i) {
            bytes[i * 3] = static_cast<unsigned char>(i);
            bytes[i * 3 + 1] = static_cast<unsigned char>(i >> 3);
            bytes[i * 3 + 2] = static_cast<unsigned char>(i >> 6);
        }
        picture.load(bytes.data(), 320, 200, 320 * 3, format24, palette);
    }
    ~Scene() { console.close(); }

    trelk::Format format{32, 0xff0000, 0xff00, 0xff, 0};
    trelk::Console console;
    trelk::Surface screen{320, 200, format};
    trelk::Surface picture{320, 200, format};
};

}  // namespace

// The timing loops are main's own: the build suspends the program in the web back end's
// update() only through the functions it names (web/asyncify-add.txt), main among them
int main() {
    build_trig_tables();
    int keys = 0;
    std::string json;
    const char* displays[] = {"headless", "web"};  // headless: the pixels stay here
    const char* names[] = {"frame_us", "whole_us"};
    for (int d = 0; d < 2; ++d) {
        Scene scene(displays[d]);
        const int frames = d == 0 ? 2000 : 1000, repetitions = 7;
        for (int i = 0; i < 200; ++i) {  // warm-up: the engine's optimising tier
            keys += scene.console.key();
            draw_frame(scene.console, scene.screen, scene.picture);
        }
        std::string times;
        for (int r = 0; r < repetitions; ++r) {
            const double start = emscripten_get_now(), browser = waited();
            for (int i = 0; i < frames; ++i) {
                keys += scene.console.key();
                draw_frame(scene.console, scene.screen, scene.picture);
            }
            const double spent = emscripten_get_now() - start - (waited() - browser);
            times += (r ? "," : "") + std::to_string(spent * 1000.0 / frames);
        }
        json += std::string("\"") + names[d] + "\":[" + times + "],";
    }
    std::printf("BENCH {%s\"keys\":%d}\n", json.c_str(), keys);
    return 0;
}
