// The window back end under a virtual X display (run by xvfb-run from CTest): the window and
// its title, a presented frame in a screenshot, a typed key, the close button, keys that are
// not keys (lone modifiers, focus changes, the full-screen toggles), full screen under a small
// window manager, whole-number scaling after a resize, the pacing, and the choice of back end
// when no display is named or the display cannot be drawn on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/display_support.h"
#include "trelk/area.h"
#include "trelk/color.h"
#include "trelk/console.h"
#include "trelk/draw.h"
#include "trelk/format.h"
#include "trelk/input.h"
#include "trelk/key.h"
#include "trelk/mode.h"
#include "trelk/surface.h"

namespace display_test {
// What a window manager sends when the close button is clicked (display_window_x11.cpp)
bool press_close_button(unsigned long window);
// A window of another client that takes the focus; 0 when it cannot be made
unsigned long open_other_window();
void close_other_window(unsigned long window);
}  // namespace display_test

namespace {

using display_test::close_other_window;
using display_test::open_other_window;
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

// The X window of the one window titled title, waiting for it; 0 when there is none
unsigned long window_titled(const std::string& title) {
    const std::string found =
        run("timeout 10 xdotool search --sync --name '^" + title + "$' 2>/dev/null");
    return std::strtoul(found.c_str(), nullptr, 10);
}

// Presents frames until test() is true or seconds have passed; whether it became true
template <typename Test>
bool update_until(trelk::Console& console, double seconds, Test test) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (test()) return true;
        console.update();
    }
    return test();
}

bool window_manager_says_fullscreen(unsigned long window) {
    return run("xprop -id " + std::to_string(window) + " _NET_WM_STATE")
               .find("_NET_WM_STATE_FULLSCREEN") != std::string::npos;
}

// A small window manager for the test's life: without one nothing makes a window full screen.
// Its own keys are off: it would take F11 for itself.
class WindowManager {
public:
    WindowManager() {
        pid_ = std::atoi(run("matchbox-window-manager -use_titlebar no -kbdconfig /dev/null "
                             ">/dev/null 2>&1 & echo $!")
                             .c_str());
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end && !ready()) usleep(50000);
    }
    ~WindowManager() {
        if (pid_ > 0)
            run("kill " + std::to_string(pid_) + "; while kill -0 " + std::to_string(pid_) +
                " 2>/dev/null; do sleep 0.05; done");
    }
    bool ready() const {
        return run("xprop -root _NET_SUPPORTED").find("_NET_WM_STATE_FULLSCREEN") !=
               std::string::npos;
    }

private:
    int pid_ = 0;
};

class DisplayWindow : public display_test::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        for (const char* name : {"TRELK_FULLSCREEN", "TRELK_SCALE"}) unsetenv(name);
        setenv("TRELK_DISPLAY", "window", 1);
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    }
    void TearDown() override {
        for (const char* name : {"TRELK_FULLSCREEN", "TRELK_SCALE"}) unsetenv(name);
        DisplayTest::TearDown();
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
    const trelk::Key left_arrow = console.read();  // Shift alone is no key
    EXPECT_EQ(left_arrow.code(), TRELK_KEY_LEFT);
    EXPECT_TRUE(left_arrow.modifier2()) << "shift";
    EXPECT_FALSE(console.key());

    // A key held down is held until it is let go
    EXPECT_FALSE(trelk::held(console, (TRELK_KEY_A + 3)));
    run("xdotool keydown d");
    bool down = false;
    for (int i = 0; i < 500 && !(down = trelk::held(console, (TRELK_KEY_A + 3))); ++i)
        usleep(10000);
    EXPECT_TRUE(down) << "d is down";
    run("xdotool keyup d");
    bool up = false;
    for (int i = 0; i < 500 && !(up = !trelk::held(console, (TRELK_KEY_A + 3))); ++i) usleep(10000);
    EXPECT_TRUE(up) << "d is up again";
    while (console.key()) EXPECT_EQ(console.read().code(), (TRELK_KEY_A + 3));

    ASSERT_TRUE(press_close_button(window));
    EXPECT_TRUE(wait_for_key(console, 10)) << "the close button did not ask to quit";
    EXPECT_EQ(console.read().code(), TRELK_KEY_QUIT);
    console.close();
    EXPECT_EQ(run("xdotool search --name '^display window test$'"), "") << "the window is gone";
}

// Shift, Control, Alt and the system key alone are no keys, and neither is what comes with the
// focus: keys held while another window had it (Alt and Tab of a switch back). Each part ends
// with a key that is one, which must be the first to arrive.
TEST_F(DisplayWindow, LoneModifiersAndFocusChangesAreNotKeys) {
    trelk::Console console;
    console.open("focus test", 0);
    console.update();
    const unsigned long window = window_titled("focus test");
    ASSERT_NE(window, 0ul);
    const std::string id = std::to_string(window);
    run("xdotool windowfocus --sync " + id + " key shift key ctrl key alt key super key b");
    ASSERT_TRUE(wait_for_key(console, 10));
    EXPECT_EQ(console.read().code(), 'B');

    const unsigned long other = open_other_window();
    ASSERT_NE(other, 0ul);
    run("xdotool keydown alt keydown Tab");  // held while the other window has the focus
    run("xdotool windowfocus --sync " + id + " keyup Tab keyup alt key shift+c");
    ASSERT_TRUE(wait_for_key(console, 10));
    const trelk::Key key = console.read();
    EXPECT_EQ(key.code(), 'C') << "the keys held across the focus change were keys";
    EXPECT_TRUE(key.modifier2() && !key.modifier1() && !key.modifier3()) << "shift only";
    close_other_window(other);
    console.close();
}

// Alt+Enter and F11 switch full screen on and off and are no keys; TRELK_FULLSCREEN=1 opens
// full screen
TEST_F(DisplayWindow, AltEnterAndF11ToggleFullScreenAndAreNotKeys) {
    WindowManager manager;
    ASSERT_TRUE(manager.ready()) << "matchbox-window-manager did not start";
    trelk::Console console;
    console.open("fullscreen test", 0);
    console.update();
    const unsigned long window = window_titled("fullscreen test");
    ASSERT_NE(window, 0ul);
    EXPECT_EQ(console.entry77(), 0);
    const std::string focus = "xdotool windowfocus --sync " + std::to_string(window);
    run(focus + " key F11");
    EXPECT_TRUE(update_until(console, 10, [&] {
        return console.entry77() == 1 && window_manager_says_fullscreen(window);
    })) << "F11 did not make the window full screen";
    EXPECT_TRUE(console.option("fullscreen"));
    run(focus + " key alt+Return");
    EXPECT_TRUE(update_until(console, 10, [&] {
        return console.entry77() == 0 && !window_manager_says_fullscreen(window);
    })) << "Alt+Enter did not end full screen";
    run(focus + " key F11 key alt+KP_Enter key b");
    ASSERT_TRUE(wait_for_key(console, 10));
    EXPECT_EQ(console.read().code(), 'B') << "a toggle came as a key";
    EXPECT_FALSE(console.key());
    console.close();

    setenv("TRELK_FULLSCREEN", "1", 1);
    console.open("fullscreen test", 0);
    EXPECT_EQ(console.entry77(), 1);
    const unsigned long full = window_titled("fullscreen test");
    EXPECT_TRUE(update_until(console, 10, [&] { return window_manager_says_fullscreen(full); }));
    console.close();
    setenv("TRELK_FULLSCREEN", "yes", 1);
    EXPECT_DISPLAY_ERROR(console.open("fullscreen test", 0), "TRELK_FULLSCREEN=yes");
}

// After a resize the console is scaled by a whole number, centred on black: along a row and a
// column of the screenshot every console pixel is the same number of screen pixels.
// TRELK_SCALE=fit fills the window instead.
TEST_F(DisplayWindow, AfterAResizeEveryConsolePixelHasTheSameSize) {
    // Console pixels alternate between red and green, each way
    trelk::Format xrgb(32, 0xff0000, 0xff00, 0xff, 0);
    trelk::Surface pattern(320, 200, xrgb);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x)
            display_test::set_pixel(pattern, x, y, (x + y) % 2 ? 0xff0000u : 0x00ff00u);
    }
    const std::string shot =
        ::testing::TempDir() + "display_resized_" + std::to_string(getpid()) + ".png";
    for (const bool fit : {false, true}) {
        if (fit) setenv("TRELK_SCALE", "fit", 1);
        trelk::Console console;
        console.open("resize test", xrgb, 0);
        pattern.copy(console);
        console.update();
        const unsigned long window = window_titled("resize test");
        ASSERT_NE(window, 0ul);
        const std::string id = std::to_string(window);
        run("xdotool windowsize --sync " + id + " 1000 700");
        // 1000 x 700 takes the console 3 times (960 x 600), or 3.125 times to fit
        const int scale = 3, left = fit ? 0 : 20, top = fit ? 37 : 50;
        const int shown_w = fit ? 1000 : 960, shown_h = fit ? 625 : 600;
        EXPECT_TRUE(update_until(console, 10, [&] {
            return run("xwininfo -id " + id).find("Width: 1000") != std::string::npos;
        }));
        for (int i = 0; i < 3; ++i) console.update();
        EXPECT_EQ(console.entry76(), scale);
        run("import -window " + id + " png24:" + shot);
        std::vector<std::pair<int, int>> points;
        for (int x = 0; x < 1000; ++x) points.push_back({x, 350});
        for (int y = 0; y < 700; ++y) points.push_back({500, y});
        const auto png = display_test::png_pixels(shot, points);
        std::remove(shot.c_str());
        console.close();
        ASSERT_EQ(png.colors.size(), points.size()) << "no screenshot";
        ASSERT_EQ(png.width, 1000);
        if (fit) {  // the fractional fit: edge to edge, pixels of 3 and 4 screen pixels
            EXPECT_NE(png.colors[0], 0u);
            EXPECT_NE(png.colors[999], 0u);
            continue;
        }
        // The console pixel expected at a screen position along the row (x) and column (y)
        auto expected = [&](int position, int start, int shown, int other) -> std::uint32_t {
            if (position < start || position >= start + shown) return 0;
            return ((position - start) / scale + other) % 2 ? 0xff0000u : 0x00ff00u;
        };
        int wrong = 0;
        for (int x = 0; x < 1000; ++x)
            wrong += png.colors[std::size_t(x)] != expected(x, left, shown_w, (350 - top) / scale);
        for (int y = 0; y < 700; ++y) {
            wrong += png.colors[1000 + std::size_t(y)] !=
                     expected(y, top, shown_h, (500 - left) / scale);
        }
        EXPECT_EQ(wrong, 0) << "screen pixels off the whole-number grid";
    }
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

// A display SDL reaches but cannot draw on (8 bits a pixel) is passed over by the automatic
// choice; a forced window there is an error
TEST_F(DisplayWindow, AnEightBitDisplayIsPassedOverByTheAutomaticChoice) {
    const std::string numbers = ::testing::TempDir() + "display_8bit_" + std::to_string(getpid());
    const int server = std::atoi(run("Xvfb -displayfd 3 -screen 0 640x480x8 -nolisten tcp 3>" +
                                     numbers + " >/dev/null 2>&1 & echo $!")
                                     .c_str());
    ASSERT_GT(server, 0);
    std::string number;
    for (int i = 0; i < 200 && number.empty(); ++i) {
        usleep(50000);
        number = run("cat " + numbers);
    }
    std::remove(numbers.c_str());
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string display = getenv("DISPLAY");
    setenv("DISPLAY", (":" + number.substr(0, number.find('\n'))).c_str(), 1);
    trelk::Console console;
    EXPECT_DISPLAY_ERROR(console.open("eight bits", 0), "cannot draw in the window");
    unsetenv("TRELK_DISPLAY");
    console.open("eight bits", 0);
    EXPECT_NE(console.entry74(), 0) << "the window back end was chosen";
    console.close();
    setenv("DISPLAY", display.c_str(), 1);
    run("kill " + std::to_string(server));
}

}  // namespace

namespace {

// Moves the pointer onto a point of the window and presents frames until the console sees it
// on console pixel (x, y), inside or not; what it saw last
std::string point_at(trelk::Console& console, unsigned long window, int at_x, int at_y, int x,
                     int y, bool inside) {
    run("xdotool mousemove --sync --window " + std::to_string(window) + " " + std::to_string(at_x) +
        " " + std::to_string(at_y));
    trelk::Mouse seen;
    update_until(console, 10, [&] {
        seen = trelk::mouse(console);
        return seen.x == x && seen.y == y && seen.inside == inside;
    });
    return std::to_string(seen.x) + "," + std::to_string(seen.y) + (seen.inside ? " in" : " out");
}

std::string described(const trelk::MouseEvent& e) {
    const char* kinds[] = {"?", "press", "release", "wheel"};
    return std::string(kinds[e.kind >= 1 && e.kind <= 3 ? e.kind : 0]) + " " +
           std::to_string(e.button) + " " + std::to_string(e.x) + "," + std::to_string(e.y) +
           (e.inside ? " in" : " out") + " " + std::to_string(e.wheel_x) + "," +
           std::to_string(e.wheel_y);
}

}  // namespace

// The pointer lands on the console pixel under it at the first scale (3), after a resize to
// scale 2 with borders, and full screen (scale 4, borders above and below); over a border it
// is outside with the pixel it would be on. Clicks and wheel steps come in order with where
// they happened, and the buttons held are seen by polling too. Typed text comes with Shift
// applied and apart from the keys: reading one leaves the other.
TEST_F(DisplayWindow, ThePointerIsOnTheConsolePixelUnderItThroughScalesAndFullScreen) {
    trelk::Console console;
    console.open("mouse test", 0);
    console.update();
    const unsigned long window = window_titled("mouse test");
    ASSERT_NE(window, 0ul);
    const std::string id = std::to_string(window);
    EXPECT_TRUE(update_until(console, 10, [&] {
        return run("xwininfo -id " + id).find("Width: 960") != std::string::npos;
    })) << "not 3 times 320";
    EXPECT_EQ(point_at(console, window, 3 * 100 + 1, 3 * 50 + 2, 100, 50, true), "100,50 in");
    EXPECT_EQ(point_at(console, window, 959, 599, 319, 199, true), "319,199 in");

    // 700 x 450 takes the console twice (640 x 400), at (30, 25)
    run("xdotool windowsize --sync " + id + " 700 450");
    EXPECT_TRUE(update_until(console, 10, [&] { return console.entry76() == 2; }));
    EXPECT_EQ(point_at(console, window, 30 + 2 * 7, 25 + 2 * 9 + 1, 7, 9, true), "7,9 in");
    EXPECT_EQ(point_at(console, window, 30 + 639, 25 + 399, 319, 199, true), "319,199 in");
    EXPECT_EQ(point_at(console, window, 29, 100, -1, 37, false), "-1,37 out") << "left border";
    EXPECT_EQ(point_at(console, window, 100, 449, 35, 212, false), "35,212 out") << "below";

    // Full screen: 1280 x 1024 takes it 4 times (1280 x 800), at (0, 112)
    WindowManager manager;
    ASSERT_TRUE(manager.ready()) << "matchbox-window-manager did not start";
    run("xdotool windowfocus --sync " + id + " key F11");
    EXPECT_TRUE(update_until(console, 10, [&] {
        return console.entry77() == 1 && console.entry76() == 4 &&
               run("xwininfo -id " + id).find("Width: 1280") != std::string::npos;
    })) << "not full screen at scale 4";
    EXPECT_EQ(point_at(console, window, 4 * 300 + 3, 112 + 4 * 190, 300, 190, true), "300,190 in");
    EXPECT_EQ(point_at(console, window, 640, 111, 160, -1, false), "160,-1 out");

    // Clicks and the wheel in order, each where the pointer was; a button held is seen held
    EXPECT_EQ(point_at(console, window, 4 * 20, 112 + 4 * 30, 20, 30, true), "20,30 in");
    trelk::MouseEvent event{};
    while (trelk::mouse_event(console, event)) {
    }
    run("xdotool click 1 click 3 click 4 click 5 click 5 click 2 mousedown 1");
    EXPECT_TRUE(update_until(console, 10, [&] { return trelk::mouse(console).left(); }));
    run("xdotool mousemove_relative --sync 8 4 mouseup 1");
    EXPECT_TRUE(update_until(console, 10, [&] { return trelk::mouse(console).buttons == 0; }));
    std::vector<std::string> events;
    while (trelk::mouse_event(console, event)) events.push_back(described(event));
    const std::vector<std::string> expected = {
        "press 1 20,30 in 0,0",   "release 1 20,30 in 0,0", "press 2 20,30 in 0,0",
        "release 2 20,30 in 0,0", "wheel 0 20,30 in 0,1",   "wheel 0 20,30 in 0,-1",
        "wheel 0 20,30 in 0,-1",  "press 4 20,30 in 0,0",   "release 4 20,30 in 0,0",
        "press 1 20,30 in 0,0",   "release 1 22,31 in 0,0"};
    EXPECT_EQ(events, expected);

    // Typed text, with Shift: apart from the keys, neither consuming the other
    run("xdotool key shift+h i shift+1 Return BackSpace");
    std::string text;
    EXPECT_TRUE(update_until(console, 10, [&] {
        text += trelk::typed(console);
        return text.size() >= 3;
    }));
    EXPECT_EQ(text, "Hi!") << "Return and BackSpace make no text";
    std::vector<int> codes;
    while (console.key()) codes.push_back(console.read().code());
    EXPECT_EQ(codes, (std::vector<int>{'H', 'I', '1', TRELK_KEY_ENTER, TRELK_KEY_BACKSPACE}));
    run("xdotool key a b");
    EXPECT_TRUE(update_until(console, 10, [&] { return console.entry67() == 2; }));
    while (console.key()) console.read();
    EXPECT_EQ(trelk::typed(console), "ab") << "reading the keys took the text";
    console.close();

    EXPECT_EQ(trelk::mouse(console).inside, false) << "a closed console has no pointer";
}
