// The demo's frame and each operation in it, through our layer and display library, side by
// side with the same work done directly with SDL2 and with memset/memcpy of the same bytes
// (the memory bound). Names pair up as <operation>/<who>: report.py turns them into ratios.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/sdl_twin.h"
#include "demo/cube.h"
#include "demo/frame.h"
#include "trelk/area.h"
#include "trelk/console.h"
#include "trelk/format.h"
#include "trelk/palette.h"
#include "trelk/surface.h"

extern char** environ;

namespace {

constexpr int picture_width = 320, picture_height = 200;
constexpr int cube_pixels = 7640;  // the first frame's cube: 764 pixels at each of 10 offsets

// The i-th stored pixel of the pixel benchmarks: x + y * width, as the cube addresses them,
// spread over a 256 x 32 block so that every store lands in the surface.
inline int pixel_index(int i, int width) { return (i & 255) + ((i >> 8) & 31) * width; }

// A 24-bit picture in memory, blue, green, red, rows top-down.
std::vector<unsigned char> picture_bytes() {
    std::vector<unsigned char> bytes(picture_width * picture_height * 3);
    for (int i = 0; i < picture_width * picture_height; ++i) {
        bytes[i * 3] = static_cast<unsigned char>(i);
        bytes[i * 3 + 1] = static_cast<unsigned char>(i >> 3);
        bytes[i * 3 + 2] = static_cast<unsigned char>(i >> 6);
    }
    return bytes;
}

// Our side: a headless console of the given size, a screen surface as large, and the picture,
// exactly as the demo builds them.
struct Ours {
    explicit Ours(int width, int height)
        : screen(width, height, format), picture(320, 200, format) {
        console.open("bench", width, height, format, 0);
        const std::vector<unsigned char> bytes = picture_bytes();
        picture.load(bytes.data(), picture_width, picture_height, picture_width * 3, format24,
                     palette);
        build_trig_tables();
    }
    ~Ours() { console.close(); }

    void frame() {
        benchmark::DoNotOptimize(console.key());
        draw_frame(console, screen, picture);
    }

    trelk::Console console;
    trelk::Format format{32, 0xff0000, 0xff00, 0xff, 0};
    trelk::Format format24{24, 0xff0000, 0xff00, 0xff, 0};
    trelk::Palette palette;
    trelk::Surface screen;
    trelk::Surface picture;
};

// ---- clear ----
void clear_memset(benchmark::State& state) {
    std::vector<Uint32> pixels(picture_width * picture_height);
    for (auto _ : state) {
        std::memset(pixels.data(), 0, pixels.size() * 4);
        benchmark::ClobberMemory();
    }
}
void clear_sdl(benchmark::State& state) {
    SdlTwin twin(picture_width, picture_height);
    for (auto _ : state) SDL_FillRect(twin.screen, nullptr, 0);
}
void clear_ours(benchmark::State& state) {
    Ours ours(picture_width, picture_height);
    for (auto _ : state) ours.screen.clear();
}

// ---- 24 -> 32 load of the picture ----
void load_memcpy(benchmark::State& state) {
    const std::vector<unsigned char> bytes = picture_bytes();
    std::vector<unsigned char> out(bytes.size());
    for (auto _ : state) {
        std::memcpy(out.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
}
void load_sdl(benchmark::State& state) {
    SdlTwin twin(picture_width, picture_height);
    const std::vector<unsigned char> bytes = picture_bytes();
    for (auto _ : state)
        SDL_ConvertPixels(picture_width, picture_height, SDL_PIXELFORMAT_BGR24, bytes.data(),
                          picture_width * 3, SDL_PIXELFORMAT_RGB888, twin.picture->pixels,
                          twin.picture->pitch);
}
void load_ours(benchmark::State& state) {
    Ours ours(picture_width, picture_height);
    const std::vector<unsigned char> bytes = picture_bytes();
    for (auto _ : state)
        ours.picture.load(bytes.data(), picture_width, picture_height, picture_width * 3,
                          ours.format24, ours.palette);
}

// ---- the scaling copy with the demo's reversed jitter area, shifted by 5, 5 ----
void scale_memcpy(benchmark::State& state) {
    std::vector<Uint32> from(330 * 210), to(330 * 210);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), 320 * 200 * 4);
        benchmark::ClobberMemory();
    }
}
void scale_sdl(benchmark::State& state) {
    SdlTwin twin(picture_width, picture_height);
    for (auto _ : state) {
        SDL_Rect destination{-5, -5, 325, 205};
        SDL_BlitScaled(twin.picture, nullptr, twin.screen, &destination);
    }
}
void scale_ours(benchmark::State& state) {
    Ours ours(picture_width, picture_height);
    trelk::Area destination(320, 200, -5, -5);
    for (auto _ : state) ours.picture.copy(ours.screen, ours.picture.area(), destination);
}

// ---- the finished frame to the console ----
void present_memcpy(benchmark::State& state) {
    std::vector<Uint32> from(picture_width * picture_height), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::ClobberMemory();
    }
}
void present_sdl(benchmark::State& state) {
    SdlTwin twin(picture_width, picture_height);
    for (auto _ : state) SDL_BlitSurface(twin.screen, nullptr, twin.window, nullptr);
}
void present_ours(benchmark::State& state) {
    Ours ours(picture_width, picture_height);
    for (auto _ : state) ours.screen.copy(ours.console);
}

// ---- one cube pixel: lock, width, store, unlock, for a frame's worth of pixels ----
void pixel_store(benchmark::State& state) {
    std::vector<Uint32> pixels(picture_width * picture_height);
    for (auto _ : state) {
        for (int i = 0; i < cube_pixels; ++i) pixels[pixel_index(i, picture_width)] = 0xffffff;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * cube_pixels);
}
void pixel_sdl(benchmark::State& state) {
    SdlTwin twin(picture_width, picture_height);
    SDL_Surface* s = twin.screen;
    for (auto _ : state) {
        for (int i = 0; i < cube_pixels; ++i) {
            SDL_LockSurface(s);
            const int w = s->w;
            static_cast<Uint32*>(s->pixels)[pixel_index(i, w)] = 0xffffff;
            SDL_UnlockSurface(s);
        }
    }
    state.SetItemsProcessed(state.iterations() * cube_pixels);
}
void pixel_ours(benchmark::State& state) {
    Ours ours(picture_width, picture_height);
    trelk::BaseSurface& s = ours.screen;
    for (auto _ : state) {
        for (int i = 0; i < cube_pixels; ++i) {
            auto* pixels = static_cast<Uint32*>(s.lock());
            const int w = s.width();
            pixels[pixel_index(i, w)] = 0xffffff;
            s.unlock();
        }
    }
    state.SetItemsProcessed(state.iterations() * cube_pixels);
}

// ---- the cube alone, drawn over a cleared screen, as in the frame ----
void cube_store(benchmark::State& state) {
    // The memory bound of the cube: its pixel stores alone, at the first frame's places
    Ours ours(picture_width, picture_height);
    std::vector<Uint32> addresses;
    {
        auto* pixels = static_cast<Uint32*>(ours.screen.lock());
        std::fill(pixels, pixels + picture_width * picture_height, 0u);
        ours.screen.unlock();
        draw_cube(ours.screen, 0, -20, 50, 5, 255, 10);
        pixels = static_cast<Uint32*>(ours.screen.lock());
        for (Uint32 i = 0; i < Uint32(picture_width * picture_height); ++i)
            if (pixels[i]) addresses.push_back(i);
        ours.screen.unlock();
    }
    std::vector<Uint32> pixels(picture_width * picture_height);
    for (auto _ : state) {
        for (Uint32 a : addresses) pixels[a] = 0xffffff;
        benchmark::ClobberMemory();
    }
}
void cube_sdl(benchmark::State& state) {
    SdlTwin twin(picture_width, picture_height);
    for (auto _ : state) twin.cube(false);
}
void cube_ours(benchmark::State& state) {
    Ours ours(picture_width, picture_height);
    for (auto _ : state) {
        draw_cube(ours.screen, 0, -20, 50, 5, 255, 10);
        advance_angles(2, 1, 2);
    }
}

// The same cube drawn inside one lock: the screen locked and its width asked once, then the
// same line loop storing every pixel directly. What cube_ours costs beyond this is the price
// of the lock, width and unlock per pixel.
void cube_one_lock(benchmark::State& state) {
    Ours ours(picture_width, picture_height);
    for (auto _ : state) {
        project_cube(0, -20, 50, 5);
        auto* pixels = static_cast<Uint32*>(ours.screen.lock());
        draw_cube_edges_locked(pixels, ours.screen.width(), ours.screen.height(), 255, 10);
        ours.screen.unlock();
        advance_angles(2, 1, 2);
    }
}

// ---- the whole frame, at three sizes ----
void frame_memory(benchmark::State& state) {
    const std::size_t screen = std::size_t(state.range(0)) * state.range(1);
    std::vector<Uint32> a(screen), b(screen), picture(330 * 210);
    for (auto _ : state) {
        std::memset(a.data(), 0, screen * 4);                                         // clear
        std::memcpy(a.data(), picture.data(), std::min(screen, picture.size()) * 4);  // scale
        std::memcpy(b.data(), a.data(), screen * 4);                                  // present
        benchmark::ClobberMemory();
    }
}
void frame_sdl(benchmark::State& state) {
    SdlTwin twin(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) twin.frame(false);
}
void frame_sdl_lock_per_pixel(benchmark::State& state) {
    SdlTwin twin(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) twin.frame(true);
}
void frame_ours(benchmark::State& state) {
    Ours ours(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) ours.frame();
}

// ---- whole processes: start-up to the first presented frame, and the demo's own frame ----

// The environment without our settings and SDL's, plus the given ones
std::vector<std::string> process_environment(std::vector<std::string> settings) {
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "TRELK_", 6) != 0 && std::strncmp(*e, "SDL_", 4) != 0)
            settings.emplace_back(*e);
    return settings;
}

// Runs a program to its end with output thrown away; false when it could not start or failed.
// The CPU seconds it used (all its threads) go to *cpu_seconds when asked for.
bool run_once(const char* path, const char* directory, std::vector<std::string>& env_strings,
              double* cpu_seconds = nullptr, std::vector<std::string> arguments = {}) {
    std::vector<char*> env;
    for (auto& s : env_strings) env.push_back(s.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(path)};
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, path, &actions, nullptr, argv.data(), env.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) return false;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (cpu_seconds) {
        *cpu_seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Times are the program's CPU time (all its threads, user and system): on a shared machine
// the wall clock measures the other programs as much as this one
void run_process(benchmark::State& state, const char* path, const char* directory,
                 std::vector<std::string> settings, std::vector<std::string> arguments = {}) {
    std::vector<std::string> env = process_environment(std::move(settings));
    for (auto _ : state) {
        double cpu = 0;
        if (!run_once(path, directory, env, &cpu, arguments)) {
            state.SkipWithError("the program failed");
            break;
        }
        state.SetIterationTime(cpu);
    }
}
// Start-up as a user meets it: sound on, through SDL's dummy audio driver named in both
// programs (with none named, SDL finds no driver here and the demo starts without its music
// thread). The bare SDL2 program opens the device the demo's music opens and loads no module.
void startup_sdl(benchmark::State& state) {
    run_process(state, SDL_FIRST_FRAME, ".", {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"},
                {"--audio"});
}
void startup_ours(benchmark::State& state) {
    run_process(state, KELVRA_DEMO, ASSETS_DIR,
                {"TRELK_DISPLAY=headless", "TRELK_FRAMES=1", "SDL_AUDIODRIVER=dummy"});
}
// The same without sound: no audio driver can be found, so neither program opens a device and
// the demo starts without its music thread
void startup_silent_sdl(benchmark::State& state) {
    run_process(state, SDL_FIRST_FRAME, ".", {"SDL_VIDEODRIVER=dummy"});
}
void startup_silent_ours(benchmark::State& state) {
    run_process(state, KELVRA_DEMO, ASSETS_DIR, {"TRELK_DISPLAY=headless", "TRELK_FRAMES=1"});
}

// Exit: a program is started on a terminal of its own with its sound playing, left to run for
// a while, then given a key ('q') on that terminal; the time is the wall clock from the key to
// the process's end. The bare SDL2 program waits for the key after its frame and closes its
// window and sound device as the demo does.
double exit_after_key(const char* path, const char* directory,
                      std::vector<std::string>& env_strings, std::vector<std::string> arguments) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    if (terminal < 0) {
        close(master);
        return -1;
    }
    termios raw{};
    tcgetattr(terminal, &raw);
    cfmakeraw(&raw);
    tcsetattr(terminal, TCSANOW, &raw);
    std::vector<char*> env;
    for (auto& s : env_strings) env.push_back(s.data());
    env.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(path)};
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory);
    posix_spawn_file_actions_adddup2(&actions, terminal, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, path, &actions, nullptr, argv.data(), env.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(terminal);
    if (!started) {
        close(master);
        return -1;
    }
    // Long enough for either program to be drawing (or waiting) with its sound running
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto key = std::chrono::steady_clock::now();
    int status = 0;
    const bool sent = write(master, "q", 1) == 1;
    if (sent) waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!sent) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    if (!sent || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(end - key).count();
}
void run_exit(benchmark::State& state, const char* path, const char* directory,
              std::vector<std::string> settings, std::vector<std::string> arguments) {
    std::vector<std::string> env = process_environment(std::move(settings));
    for (auto _ : state) {
        const double seconds = exit_after_key(path, directory, env, arguments);
        if (seconds < 0) {
            state.SkipWithError("the program failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
void exit_sdl(benchmark::State& state) {
    run_exit(state, SDL_FIRST_FRAME, ".", {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"},
             {"--audio", "--key"});
}
void exit_ours(benchmark::State& state) {
    run_exit(state, KELVRA_DEMO, ASSETS_DIR, {"TRELK_DISPLAY=headless", "SDL_AUDIODRIVER=dummy"},
             {});
}

// The demo's own headless frame as a user runs it, music thread, key polling and presenting
// included: the CPU time of a run of 20001 frames minus that of a run of 1, per frame.
void demo_frame(benchmark::State& state) {
    constexpr int frames = 20000;
    std::vector<std::string> one =
        process_environment({"TRELK_DISPLAY=headless", "TRELK_FRAMES=1", "SDL_AUDIODRIVER=dummy"});
    std::vector<std::string> many =
        process_environment({"TRELK_DISPLAY=headless", "TRELK_FRAMES=" + std::to_string(frames + 1),
                             "SDL_AUDIODRIVER=dummy"});
    for (auto _ : state) {
        double cpu_one = 0, cpu_many = 0;
        if (!run_once(KELVRA_DEMO, ASSETS_DIR, one, &cpu_one) ||
            !run_once(KELVRA_DEMO, ASSETS_DIR, many, &cpu_many)) {
            state.SkipWithError("the demo failed");
            break;
        }
        state.SetIterationTime((cpu_many - cpu_one) / frames);
    }
}

}  // namespace

BENCHMARK(clear_memset);
BENCHMARK(clear_sdl);
BENCHMARK(clear_ours);
BENCHMARK(load_memcpy);
BENCHMARK(load_sdl);
BENCHMARK(load_ours);
BENCHMARK(scale_memcpy);
BENCHMARK(scale_sdl);
BENCHMARK(scale_ours);
BENCHMARK(present_memcpy);
BENCHMARK(present_sdl);
BENCHMARK(present_ours);
BENCHMARK(pixel_store);
BENCHMARK(pixel_sdl);
BENCHMARK(pixel_ours);
BENCHMARK(cube_store);
BENCHMARK(cube_sdl);
BENCHMARK(cube_ours);
BENCHMARK(cube_one_lock);
#define FRAME_SIZES ->Args({320, 200})->Args({640, 480})->Args({1920, 1080})
BENCHMARK(frame_memory) FRAME_SIZES;
BENCHMARK(frame_sdl) FRAME_SIZES;
BENCHMARK(frame_sdl_lock_per_pixel) FRAME_SIZES;
BENCHMARK(frame_ours) FRAME_SIZES;
BENCHMARK(startup_sdl)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(startup_ours)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(startup_silent_sdl)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(startup_silent_ours)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(exit_sdl)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(exit_ours)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(demo_frame)->UseManualTime()->Iterations(2)->Unit(benchmark::kNanosecond);

int main(int argc, char** argv) {
    // Our console runs headless, never paced; SDL's own side needs no video device at all.
    setenv("TRELK_DISPLAY", "headless", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
