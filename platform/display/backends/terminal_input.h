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
#include "platform/os/terminal.h"

namespace display {

class TerminalInput {
public:
    // Raw mode when standard input is a terminal; with controlling_terminal, also when only the
    // controlling terminal is one; otherwise nothing
    explicit TerminalInput(bool controlling_terminal = false) : keys_(controlling_terminal) {}

    bool active() const { return keys_.active(); }  // keys come from a terminal in raw mode
    void poll(KeyQueue& keys);                      // the keys typed so far, without waiting
    void wait(KeyQueue& keys, int milliseconds);    // waits for typing, at most this long
    // A back end's pacing sleep: until the steady clock reaches `until`, ended early by a key
    // (kept for the next poll, so the program sees it at once rather than a frame later) and
    // by a signal. False when a signal ended it, as os::sleep_until.
    bool sleep_until(std::int64_t until);

private:
    os::TerminalKeys keys_;
    KeyQueue typed_;  // keys read while pacing, not yet polled
};

// Decodes bytes typed at a terminal (UTF-8 text, control characters and the escape sequences of
// xterm-like terminals) into at most max keys; returns how many. Letters give their key with
// shift for capitals, control characters the letter with control, ESC before a character alt.
int decode_terminal_keys(const unsigned char* bytes, int count, KeyValue* keys, int max);

}  // namespace display

#endif
