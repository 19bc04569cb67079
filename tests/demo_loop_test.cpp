// The entry point and its frame loop over the recording display library, with the music
// library's entries recorded into the same log: set-up in order, each frame's calls in order
// (the cube's pixels as runs of lock, width, unlock), shut-down, the error path and the exit
// status, and the demo's pseudo-random sequence.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo/cube.h"
#include "demo/random.h"
#include "platform/midas.h"
#include "platform/winmain.h"
#include "tests/fake_library.h"

// ---- the music library's entries, recorded with numbers of their own
namespace {
enum MusicEntry {
    startup = 1001,
    init,
    start_background,
    load_module,
    play_module,
    stop_background,
    close_music,
};
const MIDASmodule loaded_module = reinterpret_cast<MIDASmodule>(0x7700);
int music(int entry, std::vector<fake::Arg> args = {}) {
    return static_cast<int>(fake::library().enter(entry, std::move(args), fake::Result(1)).number);
}
}  // namespace

extern "C" {
int MIDASstartup(void) { return music(startup); }
int MIDASinit(void) { return music(init); }
int MIDASstartBackgroundPlay(unsigned rate) {
    return music(start_background, {static_cast<int>(rate)});
}
MIDASmodule MIDASloadModule(const char* file_name) {
    music(load_module, {file_name});
    return loaded_module;
}
MIDASmodulePlayHandle MIDASplayModule(MIDASmodule module, int loop_song) {
    music(play_module, {static_cast<const void*>(module), loop_song});
    return 1;
}
int MIDASstopBackgroundPlay(void) { return music(stop_background); }
int MIDASclose(void) { return music(close_music); }
}

namespace {

namespace fs = std::filesystem;
using fake::Call;

constexpr int key = 44, clear = 144, area_create = 1, area_destroy = 2, surface_area = 153,
              area_copy = 9, copy_area = 137, copy = 136, width = 150, height = 151, lock = 138,
              unlock = 139, update = 42, close_console = 39, report = 89, open_format = 36,
              console_width = 60, console_height = 61, surface_create = 134, surface_load = 140,
              format_direct = 96, prepare = 167;

// The entries from `from` on, with every run of the cube's lock, width, unlock replaced by one
// element -n (n pixels).
std::vector<int> compress(const std::vector<int>& entries, std::size_t from = 0) {
    std::vector<int> out;
    for (std::size_t i = from; i < entries.size();) {
        int n = 0;
        while (i + 2 < entries.size() && entries[i] == lock && entries[i + 1] == width &&
               entries[i + 2] == unlock) {
            ++n;
            i += 3;
        }
        if (n > 0) {
            out.push_back(-n);
        } else {
            out.push_back(entries[i++]);
        }
    }
    return out;
}

std::size_t find(const std::vector<int>& entries, int entry, std::size_t from = 0) {
    return static_cast<std::size_t>(
        std::find(entries.begin() + static_cast<long>(from), entries.end(), entry) -
        entries.begin());
}

class FrameLoop : public ::testing::Test {
protected:
    void SetUp() override {
        lib.reset();
        random_state = 1;
        angle_x = angle_y = angle_z = 0;
        lib.set_default(console_width, fake::Result(320));
        lib.set_default(console_height, fake::Result(200));
        lib.set_default(width, fake::Result(320));
        lib.set_default(height, fake::Result(200));
        lib.set_default(lock, fake::Result(static_cast<void*>(pixels.data())));

        // The demo reads its picture from the current directory.
        previous = fs::current_path();
        dir = fs::path(::testing::TempDir()) /
              ("demo_loop_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        fs::current_path(dir);
        std::ofstream(dir / "flagga.tga", std::ios::binary)
            << std::string(18 + 320 * 200 * 3, '\x40');
    }
    void TearDown() override {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        EXPECT_THAT(lib.faults(), ::testing::IsEmpty());
        EXPECT_THAT(lib.live(), ::testing::IsEmpty()) << "handles never destroyed";
    }

    // Frames before the key: `frames` answers 0, then 1.
    void frames(int count) {
        for (int i = 0; i < count; ++i) lib.push_result(key, fake::Result(0));
        lib.set_default(key, fake::Result(1));
    }

    int run() {
        char command_line[] = "";
        return WinMain(nullptr, nullptr, command_line, 0);
    }

    trelk_handle first_of(fake::Kind kind, int skip = 0) const {
        for (trelk_handle h : lib.created()) {
            if (lib.kind(h) == kind && skip-- == 0) return h;
        }
        return nullptr;
    }

    fake::Library& lib = fake::library();
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(320 * 200, 0);
    fs::path previous, dir;
};

TEST(DemoRandom, FollowsTheFixedSequenceFromState1) {
    random_state = 1;
    std::vector<int> got;
    for (int i = 0; i < 5; ++i) got.push_back(next_random());
    EXPECT_EQ(got, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
    random_state = 0xffffffffu;  // wraps modulo 2^32
    EXPECT_EQ(next_random(), static_cast<int>(((0xffffffffu * 214013u + 2531011u) >> 16) & 0x7fff));
}

TEST_F(FrameLoop, SetUpRunsInOrder) {
    frames(0);
    EXPECT_EQ(run(), 0);
    const std::vector<int> e = lib.entries();

    // Open with the title and the 32-bit format, ask height then width, make the screen
    // surface that size and the 320 x 200 picture, start the music, load the picture.
    const std::size_t open = find(e, open_format);
    ASSERT_LT(open, e.size());
    const auto calls = lib.calls();
    EXPECT_EQ(calls[open].args[1], fake::Arg("kelvra demo"));
    EXPECT_EQ(calls[open].args[3], fake::Arg(0));
    const auto formats = lib.calls_of(format_direct);
    ASSERT_GE(formats.size(), 1u);
    EXPECT_EQ(formats[0], Call(format_direct, {32, 0xff0000u, 0xff00u, 0xffu, 0u}));

    const std::size_t h = find(e, console_height, open);
    const std::size_t w = find(e, console_width, open);
    const std::size_t screen = find(e, surface_create, open);
    const std::size_t picture = find(e, surface_create, screen + 1);
    EXPECT_LT(h, w);
    EXPECT_LT(w, screen);
    EXPECT_EQ(calls[screen].args[0], fake::Arg(320));
    EXPECT_EQ(calls[screen].args[1], fake::Arg(200));
    EXPECT_EQ(calls[picture].args[0], fake::Arg(320));
    EXPECT_EQ(calls[picture].args[1], fake::Arg(200));

    std::vector<Call> music_calls;
    for (const Call& c : calls) {
        if (c.entry > 1000) music_calls.push_back(c);
    }
    const std::vector<Call> expected_music{
        Call(startup),
        Call(init),
        Call(start_background, {0}),
        Call(load_module, {"bla.xm"}),
        Call(start_background, {0}),
        Call(play_module, {static_cast<const void*>(loaded_module), 1}),
        Call(stop_background),
        Call(close_music)};
    EXPECT_EQ(music_calls, expected_music);
    EXPECT_LT(picture, find(e, startup));
    EXPECT_LT(find(e, play_module), find(e, surface_load));
    EXPECT_LT(find(e, surface_load), find(e, key));
}

TEST_F(FrameLoop, EachFrameCallsInOrder) {
    frames(2);
    EXPECT_EQ(run(), 0);
    const std::vector<int> e = lib.entries();
    const auto calls = lib.calls();
    const std::size_t loop = find(e, key);
    ASSERT_LT(loop, e.size());

    // Per frame: key, clear, the destination area, the picture's area, the scaling copy, the
    // cube (its size once, then 764 pixels at each of 10 offsets), the copy to the console,
    // update, the destination destroyed. Then the key ends it: close, stop and close the music.
    const std::vector<int> frame{key,       clear,     prepare,     area_create, surface_area,
                                 area_copy, copy_area, width,       height,      -7640,
                                 copy,      update,    area_destroy};
    std::vector<int> expected = frame;
    expected.insert(expected.end(), frame.begin(), frame.end());
    const std::vector<int> end{key, close_console, stop_background, close_music};
    expected.insert(expected.end(), end.begin(), end.end());
    std::vector<int> got = compress(e, loop);
    ASSERT_GE(got.size(), expected.size());
    got.resize(expected.size());  // the destructors follow
    // The second frame's cube has other edge lengths: any run of whole pixels will do there.
    const std::size_t second_run = frame.size() + 9;
    EXPECT_LT(got[second_run], 0);
    got[second_run] = expected[second_run];
    EXPECT_EQ(got, expected);

    // The jitter: the first random number goes to the bottom, the second to the right.
    const auto areas = lib.calls_of(area_create);
    const std::vector<Call> destinations(areas.end() - 2, areas.end());
    EXPECT_EQ(destinations[0], Call(area_create, {320, 200, 18467 % 10 - 10, 41 % 10 - 10}));
    EXPECT_EQ(destinations[1], Call(area_create, {320, 200, 26500 % 10 - 10, 6334 % 10 - 10}));

    // The copies: picture into screen through the picture's area and the destination; the
    // screen into the console, named by the console's handle.
    const trelk_handle console = first_of(fake::Kind::Console);
    const trelk_handle screen = first_of(fake::Kind::Surface);
    const trelk_handle picture = first_of(fake::Kind::Surface, 1);
    const Call scaling = calls[find(e, copy_area, loop)];
    EXPECT_EQ(scaling.args[0], fake::Arg(picture));
    EXPECT_EQ(scaling.args[1], fake::Arg(screen));
    EXPECT_EQ(lib.kind(scaling.args[2].handle()), fake::Kind::Area);
    EXPECT_EQ(calls[find(e, copy, loop)], Call(copy, {screen, console}));
    EXPECT_EQ(calls[find(e, lock, loop)], Call(lock, {screen}));
    EXPECT_EQ(calls[find(e, update, loop)], Call(update, {console}));

    // The cube went into the pixels that lock() handed out, white; the angles moved twice.
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0x00FFFFFFu) > 0, true);
    EXPECT_EQ(angle_x, 4);
    EXPECT_EQ(angle_y, 2);
}

TEST_F(FrameLoop, KeyAlreadyPressedEndsBeforeTheFirstFrame) {
    frames(0);
    EXPECT_EQ(run(), 0);
    const std::vector<int> e = lib.entries();
    const std::size_t loop = find(e, key);
    ASSERT_LT(loop, e.size());
    const std::vector<int> tail(e.begin() + static_cast<long>(loop),
                                e.begin() + static_cast<long>(std::min(loop + 4, e.size())));
    EXPECT_EQ(tail, (std::vector<int>{key, close_console, stop_background, close_music}));
    EXPECT_EQ(find(e, clear), e.size()) << "no frame drawn";
    EXPECT_EQ(find(e, update), e.size()) << "no frame presented";

    // Then picture, screen and console are destroyed, in that order.
    const auto calls = lib.calls();
    auto destroyed = [&](int entry, trelk_handle h) {
        return static_cast<std::size_t>(std::find(calls.begin(), calls.end(), Call(entry, {h})) -
                                        calls.begin());
    };
    const std::size_t picture = destroyed(135, first_of(fake::Kind::Surface, 1));
    const std::size_t screen = destroyed(135, first_of(fake::Kind::Surface));
    const std::size_t console = destroyed(31, first_of(fake::Kind::Console));
    EXPECT_LT(loop + 3, picture);
    EXPECT_LT(picture, screen);
    EXPECT_LT(screen, console);
}

TEST_F(FrameLoop, MissingPictureIsReportedAndFails) {
    fs::remove(dir / "flagga.tga");
    frames(5);
    EXPECT_EQ(run(), 1);
    const auto reports = lib.calls_of(report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(lib.message(reports[0].args[0].handle()), "could not load image");
    const std::vector<int> e = lib.entries();
    EXPECT_EQ(find(e, key), e.size()) << "no frame loop";
    EXPECT_EQ(find(e, close_console), e.size());
    EXPECT_EQ(find(e, stop_background), e.size()) << "the music's closing calls are skipped";
    EXPECT_EQ(find(e, close_music), e.size());
    EXPECT_LT(find(e, play_module), e.size());
}

TEST_F(FrameLoop, LibraryErrorInTheLoopIsReportedAndFails) {
    frames(5);
    lib.fail_on(update, 2, "the window went away");
    EXPECT_EQ(run(), 1);
    const auto reports = lib.calls_of(report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(lib.message(reports[0].args[0].handle()), "the window went away");
    const std::vector<int> e = lib.entries();
    EXPECT_EQ(std::count(e.begin(), e.end(), key), 2);
    EXPECT_EQ(find(e, close_console), e.size());
    EXPECT_EQ(find(e, stop_background), e.size());
}

}  // namespace
