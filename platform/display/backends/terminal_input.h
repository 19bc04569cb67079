// Keys typed at the terminal that runs the program, for back ends without a window of their own
// (headless, and one that draws in the terminal): raw mode and reading through
// os::TerminalKeys (platform/os/terminal.h), and the decoder of what terminals send.
// While a TerminalInput lives and standard input is a terminal (for the terminal back end: else
// the controlling terminal), that terminal is in raw mode: no line editing and no echo, each key
// read as it is typed; Ctrl-C still sends SIGINT. Its settings come back when the object is
// destroyed, at exit, before a second Ctrl-C or SIGTERM ends the program by default, and before
// any other signal whose default action ends the program does so. Reading never waits; raw
// mode changed under the program is set again.
#ifndef PLATFORM_DISPLAY_TERMINAL_INPUT_H
#define PLATFORM_DISPLAY_TERMINAL_INPUT_H

#include "platform/display/backend.h"
#include "platform/display/backends/terminal_cells.h"
#include "platform/os/terminal.h"

namespace display {

// A mouse report in xterm's SGR form, ESC [ < code ; column ; row, then M (a press, a motion or
// a wheel step) or m (a release). code: the button in its low two bits (0 left, 1 middle,
// 2 right, 3 none), +4 shift, +8 meta, +16 control, +32 a motion, +64 the wheel (64 up, 65
// down, 66 left, 67 right), +128 the buttons beyond.
struct TerminalMouse {
    int code = 0;
    int column = 0, row = 0;  // the cell, counted from 0
    bool release = false;
};

// One thing a terminal sent: a key, one typed character, or a mouse report
struct TerminalEvent {
    enum Kind { key, text, mouse } kind = key;
    KeyValue key_value;
    char character[4] = {};  // text: one UTF-8 character of length bytes
    int length = 0;
    TerminalMouse report;
};

class TerminalInput {
public:
    // Raw mode when standard input is a terminal; with controlling_terminal, also when only the
    // controlling terminal is one; otherwise nothing
    explicit TerminalInput(bool controlling_terminal = false) : keys_(controlling_terminal) {}

    bool active() const { return keys_.active(); }  // keys come from a terminal in raw mode
    // The keys, text and mouse reports typed so far, without waiting. With control_l, Ctrl-L is
    // taken out of the keys and sets *control_l instead.
    void poll(KeyQueue& queue, bool* control_l = nullptr);
    // Waits for typing, at most this long, then polls
    void wait(KeyQueue& queue, int milliseconds, bool* control_l = nullptr);
    // A back end's pacing sleep: until the steady clock reaches `until`, ended early by a key
    // (kept for the next poll, so the program sees it at once rather than a frame later) and
    // by a signal. False when a signal ended it, as os::sleep_until. Other input read meanwhile
    // (text, the mouse) is kept too, but ends no sleep.
    bool sleep_until(std::int64_t until);
    // Where the picture's cells are, for the mouse reports (each gives the console pixel under
    // its cell's centre): a layout that lives as long as this, the console's width and height.
    // Without one the reports are read and passed over.
    void place_mouse(const CellLayout* cells, int width, int height) {
        cells_ = cells, width_ = width, height_ = height;
    }

private:
    os::TerminalKeys keys_;
    const CellLayout* cells_ = nullptr;
    int width_ = 0, height_ = 0;
    // The start of a sequence that the last read cut short, read again before the next bytes
    unsigned char carried_[32];
    int carried_count_ = 0;
    // Input read while pacing and not yet polled, in order; whether a key is among it
    static constexpr int chunk = 64;                            // bytes a read
    static constexpr int most = 2 * (sizeof carried_ + chunk);  // events a read decodes to
    TerminalEvent early_[2 * most];
    int early_count_ = 0;
    bool early_key_ = false;

    // Reads what is there (a chunk) and decodes it with what was carried; *more when the read
    // was full. At most `most` events.
    int read_some(TerminalEvent* events, bool* more);
    void deliver(const TerminalEvent& event, KeyQueue& queue, bool* control_l);
};

// Decodes bytes typed at a terminal (UTF-8 text, control characters, the escape sequences of
// xterm-like terminals and their SGR mouse reports) into at most max events, in order; returns
// how many, with *used the bytes they took. Letters give their key with shift for capitals,
// control characters the letter with control, ESC before a character alt; a printable
// character (not after ESC) also gives itself as text. A malformed mouse report is passed
// over: whole when it ends in a final byte, else up to the byte that cut it short (a control
// character, ESC, DEL, a byte beyond ASCII), which is decoded anew. With
// more_to_come, bytes that end inside a sequence are left unused (for the next read to
// complete), as is an unfinished mouse report always; otherwise an unfinished sequence is
// Escape, then what followed it.
int decode_terminal_input(const unsigned char* bytes, int count, bool more_to_come,
                          TerminalEvent* events, int max, int* used);

// The keys alone of decode_terminal_input, at most max; returns how many
int decode_terminal_keys(const unsigned char* bytes, int count, KeyValue* keys, int max);

}  // namespace display

#endif
