// The console on the headless back end, through trelk::Console: opening and closing, copies
// to and from it, TRELK_FRAMES, TRELK_CAPTURE, Ctrl-C, SIGTERM and SIGHUP, modes, and its errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/display_support.h"
#include "trelk/area.h"
#include "trelk/color.h"
#include "trelk/console.h"
#include "trelk/format.h"
#include "trelk/key.h"
#include "trelk/mode.h"
#include "trelk/palette.h"
#include "trelk/surface.h"

namespace {

using display_test::coordinate_color;
using display_test::fill_coordinates;
using display_test::pixel;

class DisplayConsole : public display_test::DisplayTest {
protected:
    trelk::Format xrgb{32, 0xff0000, 0xff00, 0xff, 0};

    std::string temporary(const char* name) {
        std::string path =
            ::testing::TempDir() + "display_console_" + std::to_string(getpid()) + "_" + name;
        std::remove(path.c_str());
        return path;
    }
};

TEST_F(DisplayConsole, OpensHeadlessAt320By200) {
    trelk::Console console;
    EXPECT_EQ(console.width(), 0) << "closed";
    EXPECT_FALSE(console.key());
    console.open("kelvra demo", xrgb, 0);
    EXPECT_EQ(console.width(), 320);
    EXPECT_EQ(console.height(), 200);
    EXPECT_EQ(console.pitch(), 1280);
    EXPECT_TRUE(console.option("headless"));
    EXPECT_GT(console.entry74(), 0) << "the window is back end 0";
    EXPECT_FALSE(console.option("window"));
    EXPECT_FALSE(console.option("paced")) << "headless never paces";
    EXPECT_EQ(console.entry40(), 1);
    EXPECT_EQ(console.entry62(), 32);
    EXPECT_EQ(console.entry32(1234), 1234);
    EXPECT_FALSE(console.key());
    for (int i = 0; i < 3; ++i) console.update();
    EXPECT_EQ(console.entry41(), 3);
    console.close();
    EXPECT_EQ(console.width(), 0);
    EXPECT_EQ(console.entry40(), 0);
    EXPECT_EQ(console.entry74(), -1);
    console.close();  // harmless
}

TEST_F(DisplayConsole, EveryOpenFormGivesItsSize) {
    trelk::Console console;
    console.open("plain", 0);
    EXPECT_EQ(console.width(), 320);
    console.close();
    trelk::Format rgb565(16, 0xf800, 0x07e0, 0x1f, 0);
    console.open("sized", 64, 48, rgb565, 7);
    EXPECT_EQ(console.width(), 64);
    EXPECT_EQ(console.height(), 48);
    EXPECT_EQ(console.pitch(), 128);
    EXPECT_EQ(console.entry62(), 16);
    console.close();
    console.openAlternate("full screen", 0);
    EXPECT_EQ(console.entry77(), 1);
    EXPECT_TRUE(console.option("fullscreen"));
    console.close();
    console.openAlternate("full screen", 100, 50, xrgb, 0);
    EXPECT_EQ(console.width(), 100);
    console.close();
    console.openAlternate("full screen", xrgb, 0);
    EXPECT_EQ(console.height(), 200);
    console.close();
}

TEST_F(DisplayConsole, ModesEndWithAnInvalidOneAndOpenAtTheirSize) {
    trelk::Console console;
    const trelk::Mode* modes = console.modes();
    int count = 0;
    while (trelk_mode_valid(modes[count].handle())) ++count;
    EXPECT_EQ(count, console.entry69());
    EXPECT_GE(count, 2);
    int width = 0, height = 0;
    trelk_display_mode_size(modes[0].handle(), &width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 200);
    trelk_display_mode_size(modes[count].handle(), &width, &height);
    EXPECT_EQ(width, 0) << "the end marker";
    trelk_display_mode_size(modes[1].handle(), &width, &height);
    console.open("mode", modes[1], 0);
    EXPECT_EQ(console.width(), width);
    EXPECT_EQ(console.height(), height);
    console.close();
    trelk::Mode invalid;
    EXPECT_DISPLAY_ERROR(console.open("mode", invalid, 0), "invalid display mode");
    EXPECT_DISPLAY_ERROR(console.openAlternate("mode", invalid, 0), "invalid display mode");
    const trelk_handle past_the_end = trelk_console_mode(console.handle(), 100000);
    EXPECT_EQ(trelk_mode_valid(past_the_end), 0);
    EXPECT_EQ(trelk_mode_valid(trelk_console_mode(console.handle(), -1)), 0);
}

TEST_F(DisplayConsole, SurfacesCopyToTheConsoleAndBack) {
    trelk::Console console;
    console.open("copies", xrgb, 0);
    trelk::Surface screen(320, 200, xrgb), back(320, 200, xrgb), small(160, 100, xrgb);
    fill_coordinates(screen);
    screen.copy(console);
    EXPECT_EQ(pixel(console, 17, 33), coordinate_color(17, 33));
    console.copy(back);
    EXPECT_EQ(pixel(back, 319, 199), coordinate_color(319, 199));
    console.copy(small);  // scaled down by two: centres at odd pixels
    EXPECT_EQ(pixel(small, 10, 10), coordinate_color(21, 21));
    trelk::Area from(0, 0, 10, 10), to(100, 100, 120, 120);
    console.copy(back, from, to);
    EXPECT_EQ(pixel(back, 101, 101), coordinate_color(0, 0));
    EXPECT_EQ(pixel(back, 119, 119), coordinate_color(9, 9));
    // The console as target of a scaled area copy, and of a clear
    small.copy(console, small.area(), console.area());  // small(i) was console(2i + 1)
    EXPECT_EQ(pixel(console, 43, 43), coordinate_color(43, 43));
    EXPECT_EQ(pixel(console, 2, 2), coordinate_color(3, 3));
    trelk::Color blue(0x0000ffu);
    trelk::Area corner(0, 0, 2, 2);
    console.clear(blue, corner);
    EXPECT_EQ(pixel(console, 1, 1), 0x0000ffu);
    EXPECT_EQ(pixel(console, 2, 2), coordinate_color(3, 3));
    console.clear();
    EXPECT_EQ(pixel(console, 1, 1), 0u);
    console.update();
    console.close();
}

TEST_F(DisplayConsole, AClosedConsoleHasNoPixels) {
    trelk::Console console;
    trelk::Surface surface(4, 4, xrgb);
    EXPECT_DISPLAY_ERROR(console.lock(), "the console is not open");
    EXPECT_DISPLAY_ERROR(console.update(), "the console is not open");
    EXPECT_DISPLAY_ERROR(console.clear(), "the console is not open");
    EXPECT_DISPLAY_ERROR(console.read(), "the console is not open");
    EXPECT_DISPLAY_ERROR(surface.copy(console), "the target console is not open");
    EXPECT_DISPLAY_ERROR(console.copy(surface), "the console is not open");
    EXPECT_EQ(console.entry76(), 0);
}

TEST_F(DisplayConsole, OpenErrorsLeaveTheConsoleClosed) {
    trelk::Console console;
    EXPECT_DISPLAY_ERROR(console.open(nullptr, 0), "null title");
    EXPECT_DISPLAY_ERROR(console.open("zero", 0, 200, xrgb, 0), "out of range");
    EXPECT_DISPLAY_ERROR(console.open("huge", 20000, 20000, xrgb, 0), "out of range");
    EXPECT_DISPLAY_ERROR(trelk_console_open_format(console.handle(), "no format", nullptr, 0),
                         "invalid format handle");
    setenv("TRELK_DISPLAY", "teletype", 1);
    EXPECT_DISPLAY_ERROR(console.open("unknown", 0),
                         "TRELK_DISPLAY=teletype: no such display; use one of: window, ");
    EXPECT_DISPLAY_ERROR(console.open("unknown", 0), "headless");
    setenv("TRELK_DISPLAY", "headless", 1);
    setenv("TRELK_FRAMES", "ten", 1);
    EXPECT_DISPLAY_ERROR(console.open("frames", 0), "TRELK_FRAMES=ten");
    setenv("TRELK_FRAMES", "-1", 1);
    EXPECT_DISPLAY_ERROR(console.open("frames", 0), "TRELK_FRAMES=-1");
    unsetenv("TRELK_FRAMES");
    EXPECT_EQ(console.entry40(), 0);
    console.open("at last", 0);
    EXPECT_DISPLAY_ERROR(console.open("twice", 0), "already open");
    EXPECT_EQ(console.width(), 320);
    console.close();
}

TEST_F(DisplayConsole, TrelkFramesMakesKeyTrueAfterThatManyFrames) {
    setenv("TRELK_FRAMES", "3", 1);
    const long long before = trelk_display_presented_frames();
    trelk::Console console;
    console.open("frames", xrgb, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(console.key()) << "after " << i << " frames";
        console.update();
    }
    EXPECT_TRUE(console.key());
    EXPECT_TRUE(console.key()) << "key() consumes nothing";
    EXPECT_EQ(console.entry68(), 1);
    const trelk::Key key = console.read();
    EXPECT_EQ(key.code(), TRELK_KEY_QUIT);
    EXPECT_TRUE(console.key()) << "a quit stays";
    EXPECT_EQ(trelk_display_presented_frames(), before + 3);
    console.close();
    setenv("TRELK_FRAMES", "0", 1);
    console.open("no frames", 0);
    EXPECT_TRUE(console.key());
    console.close();
}

// docs/library.md's recipe for a program that draws once and then waits for a key: headless, no
// key can come when frames are counted or nothing is on standard input, so read() must not wait
TEST_F(DisplayConsole, HeadlessReadNeverWaitsForAKeyThatCannotCome) {
    setenv("TRELK_FRAMES", "60", 1);
    trelk::Console counted;
    counted.open("draw once", 0);
    counted.update();
    EXPECT_FALSE(counted.key()) << "1 of 60 frames";
    EXPECT_EQ(counted.read().code(), TRELK_KEY_QUIT);
    EXPECT_TRUE(counted.key()) << "the quit stays";
    counted.close();
    unsetenv("TRELK_FRAMES");

    const int input = dup(0);
    const int nothing = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(nothing, 0);
    dup2(nothing, 0);
    trelk::Console untyped;
    untyped.open("no keyboard", 0);
    dup2(input, 0);
    ::close(nothing);
    ::close(input);
    untyped.update();
    EXPECT_FALSE(untyped.key()) << "drawing until a key goes on";
    EXPECT_EQ(untyped.read().code(), TRELK_KEY_QUIT);
    untyped.close();
}

TEST_F(DisplayConsole, SigintSigtermAndHangUpAskToQuit) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        trelk::Console console;
        console.open("signals", 0);
        EXPECT_FALSE(console.key());
        std::raise(signal_number);
        EXPECT_TRUE(console.key()) << "signal " << signal_number;
        EXPECT_EQ(console.read().code(), TRELK_KEY_QUIT);
        console.close();
        console.open("signals again", 0);
        EXPECT_FALSE(console.key()) << "a new open starts without the old quit";
        console.close();
    }
}

TEST_F(DisplayConsole, TrelkCaptureSavesTheLastPresentedFrame) {
    const std::string file = temporary("capture.png");
    setenv("TRELK_CAPTURE", file.c_str(), 1);
    trelk::Console console;
    console.open("capture", xrgb, 0);
    trelk::Surface screen(320, 200, xrgb);
    fill_coordinates(screen);
    screen.copy(console);
    console.update();
    console.clear();  // drawn after the last update: not in the capture
    console.close();
    const auto png = display_test::png_pixels(file, {{0, 0}, {200, 100}, {319, 199}});
    ASSERT_EQ(png.colors.size(), 3u) << "no readable " << file;
    EXPECT_EQ(png.width, 320);
    EXPECT_EQ(png.height, 200);
    EXPECT_EQ(png.colors[0], coordinate_color(0, 0));
    EXPECT_EQ(png.colors[1], coordinate_color(200, 100));
    EXPECT_EQ(png.colors[2], coordinate_color(319, 199));
    std::remove(file.c_str());
}

TEST_F(DisplayConsole, AnIndexedConsoleIsCapturedThroughItsPalette) {
    const std::string file = temporary("indexed.png");
    setenv("TRELK_CAPTURE", file.c_str(), 1);
    trelk::Format indexed(8, 0, 0, 0, 0);
    trelk::Console console;
    console.open("indexed", 4, 2, indexed, 0);
    auto* p = static_cast<std::uint8_t*>(console.lock());
    p[0] = 0x40;
    p[7] = 0xff;
    console.unlock();
    trelk::Area first_pixel(0, 0, 1, 1);
    console.update(first_pixel);  // only pixel 0 is presented
    console.update(first_pixel);
    console.close();
    const auto png = display_test::png_pixels(file, {{0, 0}, {3, 1}});
    ASSERT_EQ(png.colors.size(), 2u);
    EXPECT_EQ(png.colors[0], 0x404040u) << "the default palette is a grey ramp";
    EXPECT_EQ(png.colors[1], 0u) << "outside the updated area";
    std::remove(file.c_str());
}

// A folder that is missing is refused at open; one removed while the console is open fails
// the close, which closes all the same
TEST_F(DisplayConsole, ACaptureThatCannotBeWrittenIsAnErrorAfterClosing) {
    setenv("TRELK_CAPTURE", "/nonexistent-folder/frame.png", 1);
    trelk::Console console;
    EXPECT_DISPLAY_ERROR(console.open("capture", 0),
                         "TRELK_CAPTURE=/nonexistent-folder/frame.png: refused: cannot use the "
                         "folder /nonexistent-folder: No such file or directory");
    const std::string folder = temporary("capture-folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string file = folder + "/frame.png";
    setenv("TRELK_CAPTURE", file.c_str(), 1);
    console.open("capture", 0);
    console.update();
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    EXPECT_DISPLAY_ERROR(console.close(), ("TRELK_CAPTURE: cannot save " + file).c_str());
    EXPECT_EQ(console.entry40(), 0) << "closed all the same";
    // Without a presented frame nothing is written, so nothing fails
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    console.open("capture", 0);
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    console.close();
}

// Open refuses a capture path that is not a regular file; one that becomes something else
// while the console is open (here a FIFO, which would hang the write) is refused at close and
// left there, with nothing of ours beside it
TEST_F(DisplayConsole, ACaptureTargetThatBecameAFifoIsRefusedAndKept) {
    const std::string file = temporary("fifo.png");
    setenv("TRELK_CAPTURE", file.c_str(), 1);
    trelk::Console console;
    console.open("capture", 0);
    console.update();
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    EXPECT_DISPLAY_ERROR(console.close(), "it is a FIFO, not a regular file");
    EXPECT_DISPLAY_ERROR(console.open("capture", 0), "refused: it is a FIFO");
    struct stat st;
    EXPECT_TRUE(lstat(file.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << "the FIFO is gone";
    const std::string folder = ::testing::TempDir();
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename().string().find("fifo.png.capture"), std::string::npos)
            << "left behind: " << entry.path();
    }
    std::remove(file.c_str());
}

TEST_F(DisplayConsole, DestroyingAnOpenConsoleClosesIt) {
    const int before = trelk_display_library_objects();
    {
        trelk::Console console;
        console.open("left open", 0);
        console.update();
    }
    EXPECT_EQ(trelk_display_library_objects(), before);
    trelk::Console next;
    next.open("next", 0);  // the signal watch was released
    EXPECT_FALSE(next.key());
    next.close();
}

TEST_F(DisplayConsole, GettersDescribeTheOpenConsole) {
    trelk::Console console;
    trelk::Format rgb565(16, 0xf800, 0x07e0, 0x1f, 0);
    console.open("getters", 10, 20, rgb565, 0);
    int area[4];
    trelk_display_area_values(console.area().handle(), area);
    EXPECT_EQ(area[2], 10);
    EXPECT_EQ(area[3], 20);
    trelk::Area clip(1, 2, 3, 4);
    console.clip(clip);
    trelk_display_area_values(console.clip().handle(), area);
    EXPECT_EQ(area[0], 1);
    EXPECT_EQ(area[3], 4);
    std::uint32_t masks[4];
    EXPECT_EQ(trelk_display_format_values(console.format().handle(), masks), 16);
    trelk::Palette palette;
    std::uint32_t colors[256] = {};
    colors[1] = 0xff123456u;
    trelk_display_palette_set(palette.handle(), colors);
    console.palette(palette);
    std::uint32_t got[256];
    trelk_display_palette_get(console.palette().handle(), got);
    EXPECT_EQ(got[1], 0xff123456u);
    console.close();
}

}  // namespace
