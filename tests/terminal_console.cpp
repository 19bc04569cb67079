// The console on the terminal back end, with standard output on a pseudo-terminal of our own:
// when it is chosen, the bytes of a whole session, a resize, and a terminal that goes away.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "tests/display_support.h"
#include "trelk/console.h"
#include "trelk/format.h"
#include "trelk/key.h"

namespace {

const std::string enter = "\x1b[?1049h\x1b[?25l", leave = "\x1b[m\x1b[?25h\x1b[?1049l";
const std::string clear = "\x1b[m\x1b[2J";

// Standard output on the program's side of a new pseudo-terminal while this lives (or on
// /dev/null for columns 0); what reaches the terminal is read on the other side. Test
// results are checked after it is gone, where they can be seen.
class Redirect {
public:
    Redirect(int columns, int rows) {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        if (columns == 0) {
            slave_ = open("/dev/null", O_WRONLY);
        } else {
            struct winsize size = {std::uint16_t(rows), std::uint16_t(columns), 0, 0};
            if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) return;
            fcntl(master_, F_SETFL, O_NONBLOCK);
        }
        dup2(slave_, STDOUT_FILENO);
    }
    ~Redirect() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        close(slave_);
        if (master_ >= 0) close(master_);
    }
    std::string read_all() {
        std::string got;
        char bytes[4096];
        ssize_t n = 0;
        while ((n = read(master_, bytes, sizeof bytes)) > 0) got.append(bytes, std::size_t(n));
        return got;
    }
    void resize(int columns, int rows) {
        struct winsize size = {std::uint16_t(rows), std::uint16_t(columns), 0, 0};
        ioctl(master_, TIOCSWINSZ, &size);
        std::raise(SIGWINCH);  // not our controlling terminal: the kernel tells someone else
    }
    void hang_up() {
        close(master_);
        master_ = -1;
    }

private:
    int saved_ = -1, master_ = -1, slave_ = -1;
};

class TerminalConsole : public display_test::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        unsetenv("TRELK_DISPLAY");
        for (const char* name : {"TERM", "COLORTERM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            if (const char* value = getenv(name)) saved_.emplace_back(name, value);
            unsetenv(name);
        }
        setenv("TERM", "xterm-256color", 1);
        setenv("COLORTERM", "truecolor", 1);
    }
    void TearDown() override {
        for (const char* name : {"TERM", "COLORTERM"}) unsetenv(name);
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
        DisplayTest::TearDown();
    }

    // Every pixel of the console one colour
    static void fill(trelk::Console& console, std::uint32_t color) {
        auto* p = static_cast<std::uint32_t*>(console.lock());
        for (int i = 0; i < console.width() * console.height(); ++i) p[i] = color;
        console.unlock();
    }

    trelk::Format xrgb{32, 0xff0000, 0xff00, 0xff, 0};
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(TerminalConsole, ChosenOnlyForATerminalThatDraws) {
    trelk::Console console;
    std::string headless_choice, dumb_choice, terminal_choice, error_without_terminal;
    {
        Redirect null(0, 0);
        console.open("demo", xrgb, 0);
        headless_choice = console.option("headless") ? "headless" : "other";
        console.close();
        setenv("TRELK_DISPLAY", "terminal", 1);
        try {
            console.open("demo", xrgb, 0);
        } catch (const trelk::DynamicError& error) {
            error_without_terminal = display_test::message_of(error);
        }
        unsetenv("TRELK_DISPLAY");
    }
    {
        Redirect terminal(20, 10);
        setenv("TERM", "dumb", 1);
        console.open("demo", xrgb, 0);
        dumb_choice = console.option("headless") ? "headless" : "other";
        console.close();
        setenv("TERM", "xterm", 1);
        console.open("demo", xrgb, 0);
        terminal_choice = console.option("terminal") ? "terminal" : "other";
        console.close();
    }
    EXPECT_EQ(headless_choice, "headless") << "standard output is not a terminal";
    EXPECT_NE(error_without_terminal.find("standard output is not a terminal"), std::string::npos)
        << error_without_terminal;
    EXPECT_EQ(dumb_choice, "headless") << "TERM=dumb";
    EXPECT_EQ(terminal_choice, "terminal");
}

// A 20 x 5 terminal shows the picture 16 x 10 pixels: 16 cells by 5 rows from the third column
TEST_F(TerminalConsole, WholeSessionBytes) {
    std::string opened, first, unchanged, corner, closed;
    bool paced = false;
    {
        Redirect terminal(20, 5);
        trelk::Console console;
        console.open("demo", xrgb, 0);
        paced = console.option("paced");
        opened = terminal.read_all();
        fill(console, 0xff0000);
        console.update();
        first = terminal.read_all();
        console.update();
        unchanged = terminal.read_all();
        // Of this corner only pixel (310, 190) is sampled: the lower half of the last cell
        auto* p = static_cast<std::uint32_t*>(console.lock());
        for (int y = 180; y < 200; ++y) {
            for (int x = 300; x < 320; ++x) p[320 * y + x] = 0x0000ff;
        }
        console.unlock();
        console.update();
        corner = terminal.read_all();
        console.close();
        closed = terminal.read_all();
    }
    EXPECT_TRUE(paced) << "paced unless TRELK_VSYNC=0";
    EXPECT_EQ(opened, enter);
    std::string want = clear;
    for (int row = 0; row < 5; ++row) {
        want += "\x1b[" + std::to_string(1 + row) + ";3H";
        if (row == 0) want += "\x1b[48;2;255;0;0m";
        want += std::string(16, ' ');
    }
    EXPECT_EQ(first, want);
    EXPECT_EQ(unchanged, "");
    EXPECT_EQ(corner, "\x1b[5;18H\x1b[38;2;255;0;0;48;2;0;0;255m\xe2\x96\x80") << "one cell";
    EXPECT_EQ(closed, leave);
}

TEST_F(TerminalConsole, PaletteColoursWithoutDirectColourAndResize) {
    unsetenv("COLORTERM");
    setenv("TRELK_VSYNC", "0", 1);
    std::string first, resized;
    bool paced = true;
    {
        Redirect terminal(20, 5);
        trelk::Console console;
        console.open("demo", xrgb, 0);
        paced = console.option("paced");
        fill(console, 0xff0000);
        console.update();
        first = terminal.read_all();
        terminal.resize(40, 10);  // the picture 32 x 20 pixels: 10 rows from the fifth column
        console.update();
        resized = terminal.read_all();
        console.close();
    }
    EXPECT_FALSE(paced);
    EXPECT_NE(first.find("\x1b[48;5;196m"), std::string::npos) << first;
    EXPECT_EQ(resized.substr(0, clear.size() + 6), clear + "\x1b[1;5H") << resized;
    EXPECT_NE(resized.find("\x1b[10;5H"), std::string::npos) << resized;
}

// 24-bit colour where the terminal says it has it, beyond COLORTERM; TRELK_COLORS decides
TEST_F(TerminalConsole, DirectColourWhereTheTerminalSaysSo) {
    setenv("TRELK_VSYNC", "0", 1);
    const char* const names[] = {
        "COLORTERM",       "TRELK_COLORS", "VTE_VERSION", "TERM_PROGRAM",        "KONSOLE_VERSION",
        "KITTY_WINDOW_ID", "WEZTERM_PANE", "WT_SESSION",  "ALACRITTY_WINDOW_ID", "TMUX"};
    struct Case {
        const char* term;
        const char* name;  // one more variable, or null
        const char* value;
        bool direct;
    };
    const Case cases[] = {
        {"xterm-256color", nullptr, nullptr, false},
        {"xterm-direct", nullptr, nullptr, true},
        {"xterm-kitty", nullptr, nullptr, true},
        {"xterm-256color", "VTE_VERSION", "7200", true},
        {"tmux-256color", "VTE_VERSION", "7200", false},
        {"xterm-256color", "COLORTERM", "24bit", true},
        {"xterm-direct", "TRELK_COLORS", "256", false},
        {"xterm-256color", "TRELK_COLORS", "24", true},
    };
    for (const Case& c : cases) {
        for (const char* name : names) unsetenv(name);
        setenv("TERM", c.term, 1);
        if (c.name) setenv(c.name, c.value, 1);
        std::string got;
        {
            Redirect terminal(20, 5);
            trelk::Console console;
            console.open("colours", xrgb, 0);
            fill(console, 0xff0000);
            console.update();
            got = terminal.read_all();
            console.close();
        }
        const std::string want = c.direct ? "8;2;255;0;0m" : "8;5;196m";
        EXPECT_NE(got.find(want), std::string::npos)
            << c.term << " " << (c.name ? c.name : "") << "=" << (c.value ? c.value : "");
    }
    for (const char* name : names) unsetenv(name);
    setenv("TRELK_COLORS", "16", 1);
    trelk::Console console;
    {
        Redirect terminal(20, 5);
        EXPECT_DISPLAY_ERROR(console.open("colours", xrgb, 0), "TRELK_COLORS=16");
    }
    unsetenv("TRELK_COLORS");
}

// A terminal that reads nothing: frames beyond what its buffer holds are skipped, not waited
// for (300 waits would outlast the test's timeout), and what it finally reads is whole frames
TEST_F(TerminalConsole, FramesTheTerminalCannotTakeAreSkipped) {
    setenv("TRELK_VSYNC", "0", 1);
    std::string got;
    {
        Redirect terminal(20, 5);
        trelk::Console console;
        console.open("demo", xrgb, 0);
        for (int frame = 0; frame < 300; ++frame) {
            fill(console, frame % 2 ? 0xff0000 : 0x0000ff);
            console.update();
        }
        got = terminal.read_all();
        console.close();
    }
    const std::size_t frame_bytes = std::string("\x1b[1;3H\x1b[48;2;255;0;0m").size() + 4 * 8 + 80;
    EXPECT_LT(got.size(), 150 * frame_bytes) << "most of the 300 frames were skipped";
    EXPECT_GT(got.size(), 10 * frame_bytes);
}

// Writes that fail mean the terminal is gone: key() is true, read() gives the quit, and
// closing writes nothing and returns
TEST_F(TerminalConsole, ATerminalThatGoesAwayAsksToQuit) {
    bool key_before = true, key_after = false;
    int code = 0;
    {
        Redirect terminal(20, 10);
        trelk::Console console;
        console.open("demo", xrgb, 0);
        key_before = console.key();
        terminal.hang_up();
        fill(console, 0x00ff00);
        console.update();
        key_after = console.key();
        code = console.read().code();
        console.close();
    }
    EXPECT_FALSE(key_before);
    EXPECT_TRUE(key_after);
    EXPECT_EQ(code, TRELK_KEY_QUIT);
}

}  // namespace
