// Keys typed at the terminal that runs the program, for back ends without a window of their own
// (headless, and one that draws in the terminal). While a TerminalInput lives and standard input
// is a terminal, that terminal is in raw mode: no line editing and no echo, each key read as it
// is typed; Ctrl-C still sends SIGINT. Its settings come back when the object is destroyed, at
// exit, and before a second Ctrl-C or SIGTERM ends the program by default.
// Ctrl-Z (SIGTSTP) gives the shell its terminal back as it was (settings, and the bytes of
// terminal_restore_output) before the program stops; when the shell continues it, raw mode and
// the bytes of terminal_resume_output come back, and terminal_resumes() counts one more.
#ifndef PLATFORM_DISPLAY_TERMINAL_INPUT_H
#define PLATFORM_DISPLAY_TERMINAL_INPUT_H

#include "platform/display/backend.h"

namespace display {

class TerminalInput {
public:
    TerminalInput();   // raw mode when standard input is a terminal; otherwise nothing
    ~TerminalInput();  // the terminal's own settings again

    TerminalInput(const TerminalInput&) = delete;
    TerminalInput& operator=(const TerminalInput&) = delete;

    bool active() const { return active_; }       // standard input is a terminal in raw mode
    void poll(KeyQueue& keys);                    // the keys typed so far, without waiting
    void wait(KeyQueue& keys, int milliseconds);  // waits for typing, at most this long

private:
    bool active_ = false;
};

// Puts the terminal's settings back; safe inside a signal handler
void terminal_restore_now();

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
