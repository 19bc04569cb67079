// The terminal back end's cost per presented frame on the demo's own frames: the picture
// shaking and the cube turning, made by the demo's code. present_frame: sampled into cells,
// encoded and written to /dev/null in one write, for a few terminal sizes in 24-bit and in
// 256 colours. console_update: the whole update() of a console on the terminal back end (no
// pacing) with a pseudo-terminal of 100 x 40 as standard output, drained by a thread; its
// bytes per update count the frames skipped while the terminal had no room.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "demo/cube.h"
#include "demo/picture.h"
#include "demo/random.h"
#include "platform/display/backends/terminal_cells.h"
#include "trelk/area.h"
#include "trelk/console.h"
#include "trelk/format.h"
#include "trelk/surface.h"

namespace {

constexpr int frame_count = 90;  // three seconds of the demo at 30 frames a second

// The demo's first frames, 320 x 200 XRGB each, as its loop draws them
const std::vector<std::vector<std::uint32_t>>& demo_frames() {
    static std::vector<std::vector<std::uint32_t>> frames;
    if (!frames.empty()) return frames;
    trelk::Format format(32, 0xff0000, 0xff00, 0xff, 0);
    trelk::Surface screen(320, 200, format);
    trelk::Surface picture(320, 200, format);
    load_picture(picture, ASSETS_DIR "/flagga.tga");
    build_trig_tables();
    for (int i = 0; i < frame_count; ++i) {
        screen.clear();
        const int r1 = next_random();
        const int r2 = next_random();
        trelk::Area destination(320, 200, r2 % 10 - 10, r1 % 10 - 10);
        picture.copy(screen, picture.area(), destination);
        draw_cube(screen, 0, -20, 50, 5, 255, 10);
        advance_angles(2, 1, 2);
        const auto* pixels = static_cast<const std::uint32_t*>(screen.lock());
        frames.emplace_back(pixels, pixels + 320 * 200);
        screen.unlock();
    }
    return frames;
}

// Arguments: columns, rows, 1 for 24-bit colour or 0 for the palette
void present_frame(benchmark::State& state) {
    const auto& frames = demo_frames();
    const auto colors =
        state.range(2) ? display::TerminalColors::direct : display::TerminalColors::indexed;
    display::TerminalCells cells;
    cells.layout(display::fit_picture(320, 200, int(state.range(0)), int(state.range(1))), 320, 200,
                 colors);
    const int sink = open("/dev/null", O_WRONLY);
    // The first frame rewrites every cell; the measured ones only what changed
    cells.sample(frames[0].data(), 320);
    cells.encode();
    std::size_t frame = 1, bytes = 0;
    for (auto _ : state) {
        cells.sample(frames[frame].data(), 320);
        const std::size_t n = cells.encode();
        benchmark::DoNotOptimize(write(sink, cells.buffer(), n));
        bytes += n;
        frame = frame + 1 == frames.size() ? 1 : frame + 1;
    }
    close(sink);
    state.counters["bytes_per_frame"] =
        benchmark::Counter(double(bytes) / double(state.iterations()));
    state.counters["bytes_per_second_at_30"] =
        benchmark::Counter(30.0 * double(bytes) / double(state.iterations()));
}
BENCHMARK(present_frame)
    ->ArgNames({"columns", "rows", "direct"})
    ->Args({100, 40, 1})
    ->Args({100, 40, 0})
    ->Args({80, 24, 1})
    ->Args({200, 60, 1});

void console_update(benchmark::State& state) {
    const auto& frames = demo_frames();
    struct winsize size = {40, 100, 0, 0};
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    std::atomic<bool> done{false};
    std::atomic<long long> bytes{0};
    std::thread reader([&] {
        char buffer[65536];
        struct pollfd in = {master, POLLIN, 0};
        while (!done) {
            if (::poll(&in, 1, 10) <= 0) continue;
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) bytes += n;
        }
    });
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(slave, STDOUT_FILENO);
    setenv("TRELK_DISPLAY", "terminal", 1);
    setenv("TRELK_VSYNC", "0", 1);
    setenv("COLORTERM", "truecolor", 1);
    {
        trelk::Console console;
        trelk::Format format(32, 0xff0000, 0xff00, 0xff, 0);
        console.open("bench", format, 0);
        std::size_t frame = 0;
        for (auto _ : state) {
            auto* pixels = static_cast<std::uint32_t*>(console.lock());
            std::memcpy(pixels, frames[frame].data(), 320 * 200 * 4);
            console.unlock();
            console.update();
            frame = frame + 1 == frames.size() ? 0 : frame + 1;
        }
        // Frames the terminal had no room for were skipped: fewer bytes than present_frame's
        state.counters["bytes_per_update"] =
            benchmark::Counter(double(bytes) / double(state.iterations()));
        console.close();
    }
    dup2(saved, STDOUT_FILENO);
    close(saved);
    done = true;
    reader.join();
    close(slave);
    close(master);
}
BENCHMARK(console_update)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
