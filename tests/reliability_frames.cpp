// The demo's entry point called in-process, to see what a run leaves behind and what it costs:
// - the display library's live-object count is back to zero after WinMain returns, on the
//   normal path and on every error path (bad settings, no window system, missing or unreadable
//   picture, a capture that cannot be written at close);
// - the frame loop makes no heap allocation per frame: allocations are counted over whole runs
//   of 10 and 1010 frames, whose set-up and shut-down are the same, so any difference comes
//   from the 1000 frames between them.
//
// Allocations are counted on this thread only, through the sanitizer's allocator hooks in an
// ASan build and through replacements of malloc and friends otherwise; operator new reaches
// malloc either way. Runs are headless and without audio (no device, so no audio thread), from
// a scratch folder holding copies of the generated picture and module.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/display/test_counters.h"
#include "platform/winmain.h"

#if defined(__SANITIZE_ADDRESS__)
#define RELIABILITY_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RELIABILITY_ASAN 1
#endif
#endif

#ifdef RELIABILITY_ASAN
// From the sanitizer runtime (sanitizer/allocator_interface.h, which not every compiler ships)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

std::atomic<long long> allocations{0};
std::atomic<bool> counting{false};
pthread_t counted_thread;

inline void count_allocation() {
    if (counting.load(std::memory_order_relaxed) && pthread_equal(pthread_self(), counted_thread)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

#ifdef RELIABILITY_ASAN
namespace {
void on_malloc(const volatile void*, std::size_t) { count_allocation(); }
void on_free(const volatile void*) {}
const int hooks_installed = __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);
}  // namespace
#else
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) {
    count_allocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    count_allocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    count_allocation();
    return __libc_realloc(p, size);
}
int posix_memalign(void** p, std::size_t alignment, std::size_t size) {
    count_allocation();
    *p = __libc_memalign(alignment, size);
    return *p || size == 0 ? 0 : ENOMEM;
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    count_allocation();
    return __libc_memalign(alignment, size);
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

namespace fs = std::filesystem;

// A scratch folder with the demo's files, made the current directory for the test
class DemoRun : public ::testing::Test {
protected:
    void SetUp() override {
        previous = fs::current_path();
        folder = fs::path(::testing::TempDir()) /
                 ("reliability_frames_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy_file(fs::path(RELIABILITY_ASSETS) / "flagga.tga", folder / "flagga.tga");
        fs::copy_file(fs::path(RELIABILITY_ASSETS) / "bla.xm", folder / "bla.xm");
        fs::current_path(folder);
        setenv("TRELK_DISPLAY", "headless", 1);
        setenv("SDL_AUDIODRIVER", "reliability-no-audio", 1);
        unsetenv("TRELK_CAPTURE");
        unsetenv("TRELK_FRAMES");
    }
    void TearDown() override {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // One whole run of the demo; its exit status
    static int run(int frames) {
        setenv("TRELK_FRAMES", std::to_string(frames).c_str(), 1);
        return run();
    }
    static int run() {
        char command_line[] = "";
        return WinMain(nullptr, nullptr, command_line, 0);
    }

    // Heap allocations made on this thread during one run. The setting is made before the
    // count starts: setenv allocates when a value changes.
    static long long allocations_of_run(int frames) {
        setenv("TRELK_FRAMES", std::to_string(frames).c_str(), 1);
        allocations = 0;
        counted_thread = pthread_self();
        counting = true;
        const int status = run();
        counting = false;
        EXPECT_EQ(status, 0) << "a run of " << frames << " frames failed";
        return allocations.load();
    }

    static void expect_nothing_alive(const char* after) {
        EXPECT_EQ(trelk_display_live_objects(), 0)
            << "objects made by the demo still alive " << after;
        EXPECT_EQ(trelk_display_library_objects(), 0)
            << "objects the library made for the demo still alive " << after;
    }

    fs::path previous, folder;
};

TEST_F(DemoRun, NoHeapAllocationPerFrame) {
    const long long presented = trelk_display_presented_frames();
    // The first run grows the library's tables and scratch buffers; later runs reuse them
    allocations_of_run(20);
    const long long short_run = allocations_of_run(10);
    const long long long_run = allocations_of_run(1010);
    const long long short_again = allocations_of_run(10);
    EXPECT_EQ(trelk_display_presented_frames() - presented, 20 + 10 + 1010 + 10)
        << "the runs did not present the frames they were asked for";
    ASSERT_EQ(short_run, short_again)
        << "two runs of 10 frames allocate differently: " << short_run << " then " << short_again;
    EXPECT_GT(short_run, 0) << "no allocation counted at all: the counter is not working";
    EXPECT_EQ(long_run - short_run, 0)
        << "1000 more frames made " << (long_run - short_run) << " more heap allocations ("
        << short_run << " in 10 frames, " << long_run << " in 1010)";
    std::printf("allocations: %lld in a run of 10 frames, %lld in a run of 1010 frames\n",
                short_run, long_run);
}

TEST_F(DemoRun, NothingAliveAfterANormalRun) {
    EXPECT_EQ(run(5), 0);
    expect_nothing_alive("after a normal run");
}

TEST_F(DemoRun, NothingAliveAfterErrorPaths) {
    struct Case {
        const char* name;
        const char* variable;
        const char* value;  // null: the variable is removed
        bool picture;       // flagga.tga is a readable file
    };
    const Case cases[] = {
        {"an unknown display", "TRELK_DISPLAY", "no-such-display", true},
        {"a frame count that is not a number", "TRELK_FRAMES", "many", true},
        {"a capture that cannot be written", "TRELK_CAPTURE", "/nonexistent-folder/frame.png",
         true},
        {"no picture file", nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("flagga.tga");
        if (c.picture) fs::copy_file(fs::path(RELIABILITY_ASSETS) / "flagga.tga", "flagga.tga");
        setenv("TRELK_FRAMES", "3", 1);
        if (c.variable) setenv(c.variable, c.value, 1);
        EXPECT_EQ(run(), 1) << "the error was not reported";
        expect_nothing_alive(c.name);
        setenv("TRELK_DISPLAY", "headless", 1);
        unsetenv("TRELK_CAPTURE");
    }
    // A folder where the picture should be
    fs::create_directory("flagga.tga");
    EXPECT_EQ(run(), 1);
    expect_nothing_alive("after a folder in place of the picture");
}

TEST_F(DemoRun, NothingAliveWhenNoWindowCanOpen) {
    setenv("TRELK_DISPLAY", "window", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(run(3), 1) << "a window was forced without a window system";
    expect_nothing_alive("after a window failed to open");
}

}  // namespace
