// The demo's frame timed in the browser: the same work as frame_ours/320/200 of
// bench_frame.cpp (key(), then draw_frame on a 320x200 headless console with the same
// synthetic picture), built with the demo page's own compiler settings. Prints one line,
// "BENCH {json}", with the microseconds per frame of each repetition; bench/web_bench.mjs runs
// it in headless Chromium and compares it with the native benchmark.
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

int main() {
    setenv("TRELK_DISPLAY", "headless", 1);  // the pixels stay in memory, as natively
    const trelk::Format format{32, 0xff0000, 0xff00, 0xff, 0};
    const trelk::Format format24{24, 0xff0000, 0xff00, 0xff, 0};
    trelk::Palette palette;
    trelk::Console console;
    console.open("bench", 320, 200, format, 0);
    trelk::Surface screen(320, 200, format);
    trelk::Surface picture(320, 200, format);
    std::vector<unsigned char> bytes(320 * 200 * 3);  // the native benchmark's picture
    for (int i = 0; i < 320 * 200; ++i) {
        bytes[i * 3] = static_cast<unsigned char>(i);
        bytes[i * 3 + 1] = static_cast<unsigned char>(i >> 3);
        bytes[i * 3 + 2] = static_cast<unsigned char>(i >> 6);
    }
    picture.load(bytes.data(), 320, 200, 320 * 3, format24, palette);
    build_trig_tables();

    constexpr int frames = 2000, repetitions = 7;
    int keys = 0;
    for (int i = 0; i < 200; ++i) {  // warm-up: the engine's optimising tier
        keys += console.key();
        draw_frame(console, screen, picture);
    }
    std::string times;
    for (int r = 0; r < repetitions; ++r) {
        const double start = emscripten_get_now();
        for (int i = 0; i < frames; ++i) {
            keys += console.key();
            draw_frame(console, screen, picture);
        }
        const double microseconds = (emscripten_get_now() - start) * 1000.0 / frames;
        times += (r ? "," : "") + std::to_string(microseconds);
    }
    console.close();
    std::printf("BENCH {\"frame_us\":[%s],\"keys\":%d}\n", times.c_str(), keys);
    return 0;
}
