// The terminal that runs the program, for the display library's back ends without a window of
// their own: keys in raw mode, writing to the screen, its size, and giving it all back.
// POSIX: terminal_posix.cpp. A platform without terminals implements every function as "there
// is none": no keys, output_is_terminal() false, nothing to restore.
//
// While the terminal is changed (raw mode, or restoring bytes set), the implementation watches
// the signals that would leave it changed: Ctrl-Z gives the shell its terminal back while
// stopped, continuing sets raw mode and the resume bytes again, and every signal whose default
// action ends the program restores the terminal first. All functions are for the program's one
// thread unless they say otherwise.
#ifndef PLATFORM_OS_TERMINAL_H
#define PLATFORM_OS_TERMINAL_H

#include <cstddef>

namespace os {

// ---- keys ----

// Raw mode while an object lives (one raw mode at a time, shared): no line editing and no
// echo, Ctrl-C still a signal. On the terminal of standard input; with controlling_terminal
// also on the controlling terminal when standard input is none. Reading never waits, and raw
// mode changed under the program (by another program, by a shell continuing it) is set again
// at the next read and on every continue. The terminal's own settings come back when the last
// object is destroyed, at exit, and through terminal_restore_now().
class TerminalKeys {
public:
    explicit TerminalKeys(bool controlling_terminal);
    ~TerminalKeys();
    TerminalKeys(const TerminalKeys&) = delete;
    TerminalKeys& operator=(const TerminalKeys&) = delete;

    bool active() const { return active_; }  // keys come from a terminal in raw mode
    // The bytes typed so far, at most max; 0 when none. Never waits.
    int read(unsigned char* bytes, int max);
    // Waits until something is typed or a signal arrives, at most milliseconds
    void wait(int milliseconds);

private:
    bool active_ = false;
};

// ---- the screen ----

// Standard output is a terminal
bool output_is_terminal();

// The kind of terminal, as TERM names it; null when nothing names one. A console that takes
// escape sequences but has no TERM (Windows) gives the kind whose sequences it understands.
const char* terminal_type();

// Whether text for the terminal is taken as UTF-8: false, with the character set that is
// (a text that lives as long as the program), when the locale the environment names (LC_ALL,
// LC_CTYPE or LANG, the first set) has another. With no locale named, as in many containers and
// services, true: terminals are UTF-8 nowadays.
bool terminal_takes_utf8(const char** character_set);

// A descriptor for writing to the terminal of standard output without changing the one the
// shell shares with us (non-blocking where the platform allows); standard output itself when
// none can be opened. close_terminal_output() closes what this opened.
int open_terminal_output();
void close_terminal_output(int fd);

// The terminal's size in cells; false when it does not say
bool terminal_size(int fd, int* columns, int* rows);

enum class TerminalRoom {
    ready,  // a write would take some bytes now
    busy,   // still taking the last ones
    gone,   // hung up or failed
};
TerminalRoom terminal_room(int fd);

// How a write to the terminal ended
enum class TerminalWrite {
    done,   // every byte taken
    stuck,  // the terminal took nothing for the patience given: the rest is given up
    gone,   // an error no retry mends (the terminal was hung up)
};

// Writes bytes to the terminal, continuing partial writes and waiting for room, at most
// patience milliseconds without progress. Output never ends inside an escape sequence or a
// UTF-8 character: when stuck, the rest of the one cut short is kept and written before
// anything else (the next write, and the restoring bytes of terminal_restore_now and Ctrl-Z).
TerminalWrite terminal_write(int fd, const char* data, std::size_t length, int patience);

// Bytes that terminal_restore_now() writes to fd, once: what a back end drawing in the
// terminal must undo when the program ends without closing it (at most 63 bytes; null: none)
void terminal_restore_output(int fd, const char* bytes);

// Bytes written to fd when the program continues after Ctrl-Z or a stop: what a back end
// drawing in the terminal must do again (at most 63 bytes; null: none)
void terminal_resume_output(int fd, const char* bytes);

// How many times the program has continued after a stop: a back end drawing in the terminal
// redraws everything when it changes
int terminal_resumes();

// Puts the terminal back: the rest of a sequence cut short, the restoring bytes, the settings,
// waiting at most about a second for a terminal that takes nothing. Safe in a signal handler.
void terminal_restore_now();

// ---- size changes and hang-ups, for a back end drawing in the terminal ----

// While watched, a change of the terminal's size and a hang-up are noted (a program started
// to ignore hang-ups keeps ignoring them)
void watch_terminal_changes();
void unwatch_terminal_changes();
bool terminal_resized();  // the size changed since the last call (clears the note)
bool terminal_hung_up();  // a hang-up arrived since watching began

}  // namespace os

#endif
