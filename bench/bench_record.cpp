// TRELK_RECORD's speed and memory: the demo records one pass of its music at the default size
// (1280x800, 60 frames a second) into .mp4, .webm and .mkv, as a process; side by side, the same
// number of frames drawn headless without recording. Reported per run: the wall time, the
// video's own length (read back with ffprobe), how many times faster than real time that is,
// the processor time, and the peak resident memory of the process; and a recording of a sixth
// of the length, whose peak memory shows that a longer recording keeps no more.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string demo = KELVRA_DEMO;
const std::string assets = ASSETS_DIR;

struct Ran {
    double seconds = 0;      // wall
    double cpu_seconds = 0;  // user and system, every thread
    long peak_kib = 0;
    bool ok = false;
};

Ran run_demo(const std::vector<std::string>& settings) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(assets.c_str()) != 0) _exit(126);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("TRELK_DISPLAY", "headless", 1);
        for (const std::string& s : settings) putenv(const_cast<char*>(s.c_str()));
        execl(demo.c_str(), "kelvra-demo", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    Ran ran;
    ran.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ran.cpu_seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    ran.peak_kib = usage.ru_maxrss;
    ran.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return ran;
}

double video_length(const std::string& file) {
    std::string out;
    const std::string command =
        "ffprobe -v error -show_entries format=duration -of "
        "default=noprint_wrappers=1:nokey=1 '" +
        file + "'";
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return std::atof(out.c_str());
}

long long frames_of_last_pass = 0;

void report(benchmark::State& state, const Ran& ran, double length) {
    state.SetIterationTime(ran.seconds);
    state.counters["video_s"] = length;
    state.counters["wall_s"] = ran.seconds;
    state.counters["cpu_s"] = ran.cpu_seconds;
    state.counters["x_realtime"] = ran.seconds > 0 ? length / ran.seconds : 0;
    state.counters["peak_MiB"] = double(ran.peak_kib) / 1024;
}

void record(benchmark::State& state, const char* extension, const char* frames = nullptr) {
    const std::string file = "/tmp/kelvra_bench_record" + std::string(extension);
    for (auto _ : state) {
        std::vector<std::string> settings = {"TRELK_RECORD=" + file};
        if (frames) settings.push_back(std::string("TRELK_FRAMES=") + frames);
        const Ran ran = run_demo(settings);
        if (!ran.ok) {
            state.SkipWithError("the recording failed");
            return;
        }
        const double length = video_length(file);
        if (!frames) frames_of_last_pass = (long long)(length * 60 + 0.5);
        report(state, ran, length);
    }
    std::remove(file.c_str());
}

void BM_record_mp4(benchmark::State& state) { record(state, ".mp4"); }
void BM_record_webm(benchmark::State& state) { record(state, ".webm"); }
void BM_record_mkv(benchmark::State& state) { record(state, ".mkv"); }
// A sixth of the length: the peak memory beside the whole pass's shows whether it grows
void BM_record_mp4_10s(benchmark::State& state) { record(state, ".mp4", "600"); }

// The demo's own drawing of as many frames, headless, nothing recorded
void BM_draw_only(benchmark::State& state) {
    for (auto _ : state) {
        const long long frames = frames_of_last_pass > 0 ? frames_of_last_pass : 3687;
        const Ran ran = run_demo({"TRELK_FRAMES=" + std::to_string(frames)});
        if (!ran.ok) {
            state.SkipWithError("the run failed");
            return;
        }
        report(state, ran, double(frames) / 60);
    }
}

BENCHMARK(BM_record_mp4)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_record_webm)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_record_mkv)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_record_mp4_10s)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_draw_only)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
