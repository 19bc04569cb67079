// The window back end under a virtual X display (run by xvfb-run from CTest): the window and
// its title, a presented frame in a screenshot, a typed key, the close button, the pacing, and
// the choice of back end when no display is named.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/display_support.h"
#include "trelk/area.h"
#include "trelk/color.h"
#include "trelk/console.h"
#include "trelk/format.h"
#include "trelk/key.h"
#include "trelk/mode.h"
#include "trelk/surface.h"

namespace display_test {
// What a window manager sends when the close button is clicked (display_window_x11.cpp)
bool press_close_button(unsigned long window);
}  // namespace display_test

namespace {

using display_test::press_close_button;
using display_test::run;
using Clock = std::chrono::steady_clock;

// Presents frames until key() is true or seconds have passed; whether it became true
bool wait_for_key(trelk::Console& console, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (console.key()) return true;
        console.update();
    }
    return console.key();
}

class DisplayWindow : public display_test::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        setenv("TRELK_DISPLAY", "window", 1);
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    }

    trelk::Format xrgb{32, 0xff0000, 0xff00, 0xff, 0};
};

TEST_F(DisplayWindow, ShowsTheConsoleInATitledWindowAndReadsKeysAndTheCloseButton) {
    trelk::Console console;
    console.open("display window test", xrgb, 0);
    EXPECT_EQ(console.entry74(), 0) << "back end 0: window";
    EXPECT_TRUE(console.option("window"));
    EXPECT_EQ(console.width(), 320);
    EXPECT_EQ(console.height(), 200);
    const int scale = console.entry76();
    EXPECT_GE(scale, 1);

    // Red left half, blue right half, a green square at the top left
    trelk::Surface screen(320, 200, xrgb);
    trelk::Color red(0xff0000u), blue(0x0000ffu), green(0x00ff00u);
    trelk::Area left(0, 0, 160, 200), right(160, 0, 320, 200), square(0, 0, 40, 40);
    screen.clear(red, left);
    screen.clear(blue, right);
    screen.clear(green, square);
    screen.copy(console);
    for (int i = 0; i < 3; ++i) console.update();

    const std::string found =
        run("timeout 10 xdotool search --sync --name '^display window test$' 2>/dev/null");
    const unsigned long window = std::strtoul(found.c_str(), nullptr, 10);
    ASSERT_NE(window, 0ul) << "no window titled \"display window test\"";
    const std::string info = run("xwininfo -id " + std::to_string(window));
    EXPECT_NE(info.find("Width: " + std::to_string(320 * scale)), std::string::npos) << info;
    EXPECT_NE(info.find("Height: " + std::to_string(200 * scale)), std::string::npos) << info;

    const std::string shot =
        ::testing::TempDir() + "display_window_" + std::to_string(getpid()) + ".png";
    run("import -window " + std::to_string(window) + " png24:" + shot);
    const auto png = display_test::png_pixels(
        shot, {{20 * scale, 20 * scale}, {100 * scale, 100 * scale}, {300 * scale, 150 * scale}});
    ASSERT_EQ(png.colors.size(), 3u) << "no screenshot in " << shot;
    EXPECT_EQ(png.width, 320 * scale);
    EXPECT_EQ(png.colors[0], 0x00ff00u);
    EXPECT_EQ(png.colors[1], 0xff0000u);
    EXPECT_EQ(png.colors[2], 0x0000ffu);
    std::remove(shot.c_str());

    EXPECT_FALSE(console.key());
    run("xdotool windowfocus --sync " + std::to_string(window) + " key a");
    ASSERT_TRUE(wait_for_key(console, 10)) << "the typed key never arrived";
    const trelk::Key key = console.read();
    EXPECT_EQ(key.code(), TRELK_KEY_A);
    EXPECT_FALSE(key.modifier1() || key.modifier2() || key.modifier3());
    run("xdotool key shift+Left");
    ASSERT_TRUE(wait_for_key(console, 10));
    EXPECT_EQ(console.read().code(), TRELK_KEY_SHIFT);
    const trelk::Key left_arrow = console.read();  // waits if it has not come yet
    EXPECT_EQ(left_arrow.code(), TRELK_KEY_LEFT);
    EXPECT_TRUE(left_arrow.modifier2()) << "shift";
    EXPECT_FALSE(console.key());

    ASSERT_TRUE(press_close_button(window));
    EXPECT_TRUE(wait_for_key(console, 10)) << "the close button did not ask to quit";
    EXPECT_EQ(console.read().code(), TRELK_KEY_QUIT);
    console.close();
    EXPECT_EQ(run("xdotool search --name '^display window test$'"), "") << "the window is gone";
}

TEST_F(DisplayWindow, UpdatesKeepStepWithTheDisplayUnlessTrelkVsyncIsZero) {
    trelk::Console console;
    console.open("paced", 0);
    EXPECT_TRUE(console.option("paced"));
    console.update();
    auto start = Clock::now();
    for (int i = 0; i < 30; ++i) console.update();
    const double paced = std::chrono::duration<double>(Clock::now() - start).count();
    console.close();
    // 30 frames at no more than 75 Hz take at least 0.4 s
    EXPECT_GE(paced, 0.38);

    setenv("TRELK_VSYNC", "0", 1);
    console.open("unpaced", 0);
    EXPECT_FALSE(console.option("paced"));
    EXPECT_EQ(console.entry75(), 0);
    console.update();
    start = Clock::now();
    for (int i = 0; i < 30; ++i) console.update();
    const double unpaced = std::chrono::duration<double>(Clock::now() - start).count();
    console.close();
    EXPECT_LT(unpaced, paced);
}

TEST_F(DisplayWindow, ModesAreTheDisplaysAndEndWithAnInvalidOne) {
    trelk::Console console;
    const trelk::Mode* modes = console.modes();
    int width = 0, height = 0;
    trelk_display_mode_size(modes[0].handle(), &width, &height);
    EXPECT_EQ(width, 1280) << "xvfb-run's screen";
    EXPECT_EQ(height, 1024);
    int count = 0;
    while (trelk_mode_valid(modes[count].handle())) ++count;
    EXPECT_EQ(count, console.entry69());
    EXPECT_LT(count, 256);
}

TEST_F(DisplayWindow, AnIndexedConsoleIsShownThroughItsPalette) {
    trelk::Format indexed(8, 0, 0, 0, 0);
    trelk::Console console;
    console.open("indexed window", 32, 20, indexed, 0);
    trelk::Color grey(0x808080u);
    console.clear(grey);
    console.update();
    const int scale = console.entry76();
    const std::string found =
        run("timeout 10 xdotool search --sync --name '^indexed window$' 2>/dev/null");
    const unsigned long window = std::strtoul(found.c_str(), nullptr, 10);
    ASSERT_NE(window, 0ul);
    const std::string shot =
        ::testing::TempDir() + "display_indexed_" + std::to_string(getpid()) + ".png";
    run("import -window " + std::to_string(window) + " png24:" + shot);
    const auto png = display_test::png_pixels(shot, {{5 * scale, 5 * scale}});
    ASSERT_EQ(png.colors.size(), 1u);
    EXPECT_EQ(png.colors[0], 0x808080u);
    std::remove(shot.c_str());
    console.close();
}

// Without a display named, the automatic choice is headless, and a forced window is an error
TEST_F(DisplayWindow, WithoutADisplayTheChoiceIsHeadlessAndAWindowAnError) {
    const std::string display = getenv("DISPLAY");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    trelk::Console console;
    EXPECT_DISPLAY_ERROR(console.open("forced", 0), "cannot open a window: no window system");
    EXPECT_EQ(console.entry40(), 0);
    unsetenv("TRELK_DISPLAY");
    console.open("automatic", 0);
    EXPECT_TRUE(console.option("headless"));
    console.close();
    setenv("DISPLAY", display.c_str(), 1);
    console.open("automatic", 0);
    EXPECT_EQ(console.entry74(), 0) << "a window when a display is named";
    console.close();
}

}  // namespace
