// The terminal back end: the console drawn in the terminal that runs the program, for machines
// without a window system. Chosen automatically when standard output is a terminal that is not
// "dumb"; the cells, their scaling and their bytes are terminal_cells.h.
//
// - While open: the alternate screen, the cursor hidden, keys read in raw mode (TerminalInput).
//   Closing puts all three back; so do a normal exit and a second Ctrl-C or SIGTERM through
//   terminal_restore_now() (the first one asks to quit and the program closes the console).
// - update() keeps step with a fixed refresh of 30 frames a second. A frame is written only
//   when the terminal has taken the previous one: otherwise it is skipped and the next one
//   shows the pixels as they are then. TRELK_VSYNC=0 turns off the pacing, not the skipping.
// - Each written frame is one write() of the changed cells (more only when the terminal takes
//   it in parts); a terminal that takes nothing for a second cuts that frame short, and the
//   next rewrites every cell.
// - Other output reaching the terminal (a message, a program writing to it, lines scrolling
//   the picture up) is mended within a second: every second one frame writes every cell
//   again and erases around the picture. Ctrl-L clears the screen and draws it all at once;
//   it is taken here, not passed on as a key.
// - SIGWINCH: the picture is fitted to the new size at the next update() or key().
// - Ctrl-Z: the shell gets its screen back while the program is stopped (TerminalInput); when
//   continued, the alternate screen comes back and every cell is drawn again.
//   SIGHUP, or a write that fails: the terminal is gone. A quit is asked for, so key() is
//   true; no frame is written any more, and closing gives the restoring bytes one short try.
// Colours: 24-bit when the terminal says it has them (colors_offered() below), else the
// 256-colour palette. The characters are UTF-8.
// The mouse: the terminal's reports (any motion, SGR form) are switched on only when the
// program first asks for the mouse, so that a program that never does leaves the terminal's
// own selection with the mouse alone. Once on, they go off with everything else on each way out
// (closing, exit, the signals, Ctrl-Z) and come back on a continue. A cell reports the console
// pixel under its centre (cell_pixel), a margin cell one outside the console.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/display/backends/terminal_cells.h"
#include "platform/display/backends/terminal_input.h"
#include "platform/display/settings.h"
#include "platform/os/clock.h"
#include "platform/os/signals.h"
#include "platform/os/terminal.h"
#include "trelk/keys.h"

namespace display {

extern const BackendEntry terminal_backend;

namespace {

constexpr std::int64_t frame_period = 1000000000LL / 30;  // nanoseconds
constexpr std::int64_t repaint_period = 1000000000LL;     // every cell written again
constexpr int stuck_milliseconds = 1000;  // a terminal taking nothing this long cuts a frame short

// The alternate screen (which saves the cursor) and the cursor hidden; and back
const char enter_sequence[] = "\x1b[?1049h\x1b[?25l";
const char leave_sequence[] = "\x1b[m\x1b[?25h\x1b[?1049l";
// The same with the mouse's reports (button presses, any motion, in SGR form)
const char enter_with_mouse[] = "\x1b[?1049h\x1b[?25l\x1b[?1000h\x1b[?1003h\x1b[?1006h";
const char leave_with_mouse[] = "\x1b[?1006l\x1b[?1003l\x1b[?1000l\x1b[m\x1b[?25h\x1b[?1049l";
const char mouse_on[] = "\x1b[?1000h\x1b[?1003h\x1b[?1006h";

bool terminal_open = false;  // one console in the terminal at a time: it has one screen

// Standard output is a terminal that understands escape sequences
bool can_run(const char** reason) {
    if (!os::output_is_terminal()) {
        *reason = "standard output is not a terminal";
        return false;
    }
    const char* term = os::terminal_type();
    if (!term || !*term || std::strcmp(term, "dumb") == 0) {
        *reason = "TERM names no terminal that can draw (unset or dumb)";
        return false;
    }
    return true;
}

bool same_letters(const char* a, const char* b) {  // ASCII, ignoring case
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool ends_with(const char* text, const char* end) {
    const std::size_t n = std::strlen(text), m = std::strlen(end);
    return n >= m && std::strcmp(text + n - m, end) == 0;
}

// 24-bit colour where the terminal says it has it: TRELK_COLORS=24|256 first, then COLORTERM,
// a TERM of a direct-colour entry (ending in -direct) or of a terminal that always has it, then
// the variables terminals set to name themselves. Inside tmux or screen those variables come
// from the terminal outside it and say nothing of the multiplexer: only COLORTERM counts there.
TerminalColors colors_offered() {
    switch (setting_choice(Setting::terminal_colors)) {
        case 0:
            return TerminalColors::direct;
        case 1:
            return TerminalColors::indexed;
        default:
            break;
    }
    const char* colorterm = std::getenv("COLORTERM");
    if (colorterm && (same_letters(colorterm, "truecolor") || same_letters(colorterm, "24bit"))) {
        return TerminalColors::direct;
    }
    const char* term = os::terminal_type();
    if (!term) term = "";
    if (ends_with(term, "-direct")) return TerminalColors::direct;
    for (const char* always : {"xterm-kitty", "alacritty", "foot", "foot-extra", "wezterm",
                               "xterm-ghostty", "contour"}) {
        if (std::strcmp(term, always) == 0) return TerminalColors::direct;
    }
    if (std::strncmp(term, "screen", 6) == 0 || std::strncmp(term, "tmux", 4) == 0 || set("TMUX")) {
        return TerminalColors::indexed;
    }
    const char* program = std::getenv("TERM_PROGRAM");
    for (const char* direct : {"iTerm.app", "WezTerm", "vscode", "Hyper", "ghostty"}) {
        if (program && std::strcmp(program, direct) == 0) return TerminalColors::direct;
    }
    const char* vte = std::getenv("VTE_VERSION");  // 24-bit colour since 0.36
    if (vte && std::atoi(vte) >= 3600) return TerminalColors::direct;
    for (const char* name : {"KONSOLE_VERSION", "KITTY_WINDOW_ID", "ALACRITTY_WINDOW_ID",
                             "WEZTERM_PANE", "WT_SESSION"}) {
        if (set(name)) return TerminalColors::direct;
    }
    return TerminalColors::indexed;
}

class Terminal : public Backend {
public:
    // Allocates everything first; the terminal is changed only once nothing can fail
    explicit Terminal(const OpenRequest& request)
        : width_(request.width),
          height_(request.height),
          pace_(request.pace),
          colors_(colors_offered()) {
        presented_.assign(std::size_t(width_) * std::size_t(height_), 0);
        // A descriptor of our own for the terminal: non-blocking writes without changing the
        // descriptor that the shell shares with us
        fd_ = os::open_terminal_output();
        try {
            fit();
        } catch (...) {
            os::close_terminal_output(fd_);
            throw;
        }

        os::watch_terminal_changes();  // SIGWINCH and SIGHUP (a hang-up ignored stays so)
        os::terminal_restore_output(fd_, leave_sequence);
        os::terminal_resume_output(fd_, enter_sequence);
        resumes_ = os::terminal_resumes();
        terminal_open = true;
        write_all(enter_sequence, sizeof enter_sequence - 1);
    }

    ~Terminal() override {
        // The rest of a frame cut short, then the restoring bytes, waiting as long as for a
        // frame: a terminal stalled just as the program ends still gets them. After a hang-up
        // the terminal may still be there (a signal sent by hand), and a dead one fails the
        // write at once.
        if (!gone_) {
            if (mouse_) {
                write_all(leave_with_mouse, sizeof leave_with_mouse - 1);
            } else {
                write_all(leave_sequence, sizeof leave_sequence - 1);
            }
        }
        os::terminal_restore_output(-1, nullptr);
        os::terminal_resume_output(-1, nullptr);
        os::unwatch_terminal_changes();
        os::close_terminal_output(fd_);
        terminal_open = false;
    }

    void present(const Image& frame, const Rect& area) override {
        if (area.left < area.right && area.top < area.bottom) {
            const Image kept{reinterpret_cast<std::uint8_t*>(presented_.data()),
                             width_,
                             height_,
                             width_ * 4,
                             &default_format(),
                             nullptr};
            blit(frame, area, kept, area, area);
        }
        if (pace_) wait_for_refresh();
        draw();
    }

    void poll(KeyQueue& keys) override {
        if (gone_ || os::terminal_hung_up()) {
            keys.request_quit();
            return;
        }
        // Ctrl-L draws everything again, as in most programs that fill a terminal: it is
        // taken here and is no key for the program
        bool redraw = false;
        terminal_.poll(keys, &redraw);
        if (redraw) cells_.forget();
        if (os::terminal_resized()) resized_ = true;
        if (redraw || resized_ || resumes_ != os::terminal_resumes()) draw();
    }

    void wait(KeyQueue& keys, int milliseconds) override {
        bool redraw = false;
        if (!gone_ && !os::terminal_hung_up()) terminal_.wait(keys, milliseconds, &redraw);
        if (redraw) cells_.forget();
        poll(keys);
    }

    // The terminal's mouse reports on, now and after every continue, and off on every way out
    void want_mouse() override {
        if (mouse_ || gone_) return;
        mouse_ = true;
        os::terminal_restore_output(fd_, leave_with_mouse);
        os::terminal_resume_output(fd_, enter_with_mouse);
        write_all(mouse_on, sizeof mouse_on - 1);
    }

    bool paced() const override { return pace_; }

private:
    // The picture fitted to the terminal's size, when that changed
    void fit() {
        resized_ = false;
        int columns = 80, rows = 24;  // what a terminal that does not say is taken to be
        os::terminal_size(fd_, &columns, &rows);
        const CellLayout& now = cells_.current();
        if (laid_out_ && now.columns == std::min(columns, max_terminal_side) &&
            now.rows == std::min(rows, max_terminal_side)) {
            return;
        }
        try {
            cells_.layout(fit_picture(width_, height_, columns, rows), width_, height_, colors_);
            terminal_.place_mouse(&cells_.current(), width_, height_);
        } catch (const std::bad_alloc&) {
            fail("terminal: out of memory for a terminal of %d x %d", columns, rows);
        }
        laid_out_ = true;
    }

    // Sleeps until one period after the last refresh, on the monotonic clock's absolute time,
    // so that signals cutting the sleep short (a storm of resizes) move nothing; a frame that
    // comes late starts the count again from now, and none is ever set later than one period
    // from now. A quit, a hang-up or a key ends the wait at once.
    void wait_for_refresh() {
        const std::int64_t target = next_frame_time(last_refresh_, frame_period, now_nanoseconds());
        while (!terminal_.sleep_until(target)) {
            if (os::quit_signalled() || os::terminal_hung_up()) break;
        }
    }

    // Writes the cells that changed, unless the terminal has not taken the last frame yet
    void draw() {
        if (gone_ || os::terminal_hung_up()) return;
        if (resumes_ != os::terminal_resumes()) {
            // Back from Ctrl-Z: the shell has drawn over the screen, and its size may be new
            resumes_ = os::terminal_resumes();
            cells_.forget();
            resized_ = true;
        }
        if (os::terminal_resized()) resized_ = true;
        if (resized_) fit();
        const os::TerminalRoom room = os::terminal_room(fd_);
        if (room == os::TerminalRoom::busy) return;  // skipped: still busy with the last frame
        if (room == os::TerminalRoom::gone) {
            gone_ = true;
            return;
        }
        // Once a second every cell is written again and the margins erased: what other
        // programs wrote over the picture (or scrolled it by) lasts no longer than that
        const std::int64_t now = now_nanoseconds();
        if (now - last_repaint_ >= repaint_period) {
            cells_.repaint();
            last_repaint_ = now;
        }
        cells_.sample(presented_.data(), width_);
        const std::size_t length = cells_.encode();
        if (length > 0 && !write_all(cells_.buffer(), length)) cells_.forget();
    }

    // The whole of data, in as few writes as the terminal allows (terminal_write). False when
    // cut short: the terminal took nothing for a second (this frame is given up, not the
    // terminal), or it is gone
    bool write_all(const char* data, std::size_t length) {
        const os::TerminalWrite result = os::terminal_write(fd_, data, length, stuck_milliseconds);
        if (result == os::TerminalWrite::gone) gone_ = true;
        return result == os::TerminalWrite::done;
    }

    TerminalInput terminal_{true};  // standard input, else the controlling terminal
    int width_ = 0, height_ = 0;
    bool pace_ = true;
    TerminalColors colors_ = TerminalColors::direct;
    std::vector<std::uint32_t> presented_;  // the console as last presented, in XRGB
    TerminalCells cells_;
    bool laid_out_ = false;
    int fd_ = -1;          // our own descriptor for the terminal (os::open_terminal_output)
    bool resized_ = true;  // the terminal's size may have changed since the last fit
    bool gone_ = false;    // a write failed: nothing more can be written to the terminal
    bool mouse_ = false;   // the mouse's reports are on
    std::int64_t last_refresh_ = 0;
    std::int64_t last_repaint_ = now_nanoseconds();
    int resumes_ = 0;  // terminal_resumes() when the screen was last redrawn whole
};

std::unique_ptr<Backend> open_terminal(const OpenRequest& request) {
    const char* reason = nullptr;
    if (!can_run(&reason)) {
        if (request.automatic) return nullptr;
        fail("cannot draw in the terminal: %s", reason);
    }
    // Each cell is a UTF-8 half block: in another character set it would be garbage
    const char* character_set = nullptr;
    if (!os::terminal_takes_utf8(&character_set)) {
        if (!request.automatic) {
            fail(
                "cannot draw in the terminal: its character set is %s, not UTF-8 (LC_ALL, "
                "LC_CTYPE or LANG names it)",
                character_set);
        }
        static bool said = false;  // once: the automatic choice may come here at every open
        if (!said) {
            said = true;
            std::fprintf(stderr,
                         "not drawing in the terminal: its character set is %s, not UTF-8 "
                         "(set LANG to a UTF-8 locale to see the picture)\n",
                         character_set);
        }
        return nullptr;
    }
    if (terminal_open) {
        if (request.automatic) return nullptr;
        fail("cannot draw in the terminal: it already shows a console");
    }
    return std::make_unique<Terminal>(request);
}

int terminal_modes(ModeValue* modes, int max) {
    const char* reason = nullptr;
    if (!can_run(&reason)) return -1;
    static const int sizes[][2] = {{320, 200}, {320, 240}, {640, 400}, {640, 480}};
    return list_modes(modes, max, sizes, 30);
}

}  // namespace

extern const BackendEntry terminal_backend = {"terminal", true, open_terminal, terminal_modes};

}  // namespace display
