// Keys typed at the terminal that runs the program, for back ends without a window of their own
// (headless, and one that draws in the terminal), and the bytes such a back end writes to it.
// While a TerminalInput lives and standard input is a terminal (for the terminal back end: else
// the controlling terminal), that terminal is in raw mode: no line editing and no echo, each key
// read as it is typed; Ctrl-C still sends SIGINT. Its settings come back when the object is
// destroyed, at exit, before a second Ctrl-C or SIGTERM ends the program by default, and before
// any other signal whose default action ends the program does so (see watch_ending_signals in
// the source).
// Keys are read from a non-blocking descriptor of our own and never wait: settings changed
// under the program (stty sane from another terminal, a shell that puts its own back when it
// continues a stopped job) are noticed at the next poll and raw mode is set again, as it is on
// every SIGCONT.
// Ctrl-Z (SIGTSTP) gives the shell its terminal back as it was (settings, and the bytes of
// terminal_restore_output) before the program stops; when the shell continues it, raw mode and
// the bytes of terminal_resume_output come back, and terminal_resumes() counts one more.
#ifndef PLATFORM_DISPLAY_TERMINAL_INPUT_H
#define PLATFORM_DISPLAY_TERMINAL_INPUT_H

#include <cstddef>

#include "platform/display/backend.h"

namespace display {

class TerminalInput {
public:
    // Raw mode when standard input is a terminal; with controlling_terminal, also when only the
    // controlling terminal (/dev/tty) is one; otherwise nothing
    explicit TerminalInput(bool controlling_terminal = false);
    ~TerminalInput();  // the terminal's own settings again

    TerminalInput(const TerminalInput&) = delete;
    TerminalInput& operator=(const TerminalInput&) = delete;

    bool active() const { return active_; }       // keys come from a terminal in raw mode
    void poll(KeyQueue& keys);                    // the keys typed so far, without waiting
    void wait(KeyQueue& keys, int milliseconds);  // waits for typing, at most this long

private:
    bool active_ = false;
};

// Puts the terminal's settings back, after the rest of a sequence cut short and the bytes of
// terminal_restore_output, waiting at most about a second for a terminal that takes nothing;
// safe inside a signal handler
void terminal_restore_now();

// How a write to the terminal ended
enum class TerminalWrite {
    done,   // every byte taken
    stuck,  // the terminal took nothing for the patience given: the rest is given up
    gone,   // an error no retry mends (the terminal was hung up)
};

// Writes bytes to the terminal's descriptor fd (non-blocking or not), continuing partial
// writes and waiting for room, at most patience milliseconds without progress. Output never
// ends inside an escape sequence or a UTF-8 character: when stuck, the rest of the one cut
// short is kept and written before anything else (the next write, the restoring bytes of
// terminal_restore_now and of Ctrl-Z). A signal handler that writes to the terminal while this
// runs finds the output at the end of a whole write() (see the source).
TerminalWrite terminal_write(int fd, const char* data, std::size_t length, int patience);

// The end of the escape sequence (ESC [ ... final byte, or ESC and one byte) or UTF-8
// character that byte `at` of data is in, as data is written from its start; `at` itself when
// a new one starts there. Never more than length.
std::size_t terminal_sequence_end(const char* data, std::size_t length, std::size_t at);

// Bytes that terminal_restore_now() writes to fd first, once: what a back end drawing in the
// terminal must undo when the program ends without closing it (at most 63 bytes; null: none)
void terminal_restore_output(int fd, const char* bytes);

// Bytes written to fd when the program continues after Ctrl-Z: what a back end drawing in the
// terminal must do again (at most 63 bytes; null: none)
void terminal_resume_output(int fd, const char* bytes);

// How many times the program has continued after Ctrl-Z: a back end drawing in the terminal
// redraws everything when it changes
int terminal_resumes();

// Decodes bytes typed at a terminal (UTF-8 text, control characters and the escape sequences of
// xterm-like terminals) into at most max keys; returns how many. Letters give their key with
// shift for capitals, control characters the letter with control, ESC before a character alt.
int decode_terminal_keys(const unsigned char* bytes, int count, KeyValue* keys, int max);

}  // namespace display

#endif
