// The terminal in the browser: there is none. No keys (the web back end takes the page's
// keyboard events), standard output is no terminal, nothing to write to or to give back.
#include <algorithm>

#include "platform/os/terminal.h"

namespace os {

TerminalKeys::TerminalKeys(bool) {}
TerminalKeys::~TerminalKeys() {}
int TerminalKeys::read(unsigned char*, int) { return 0; }
void TerminalKeys::wait(int) {}  // nothing can be typed: the caller polls its own input

bool output_is_terminal() { return false; }
int open_terminal_output() { return 1; }
void close_terminal_output(int) {}
bool terminal_size(int, int*, int*) { return false; }
TerminalRoom terminal_room(int) { return TerminalRoom::gone; }
TerminalWrite terminal_write(int, const char*, std::size_t, int) { return TerminalWrite::gone; }

// The same walk as on POSIX systems: it is about the bytes, not the terminal
std::size_t terminal_sequence_end(const char* data, std::size_t length, std::size_t at) {
    std::size_t i = 0;
    while (i < at && i < length) {
        const unsigned char b = static_cast<unsigned char>(data[i++]);
        if (b == 0x1b && i < length && data[i] == '[') {  // ESC [ parameters final
            ++i;
            while (i < length && (data[i] < 0x40 || data[i] > 0x7e)) ++i;
            if (i < length) ++i;
        } else if (b == 0x1b) {
            if (i < length) ++i;
        } else if (b >= 0xc0) {
            while (i < length && (static_cast<unsigned char>(data[i]) & 0xc0) == 0x80) ++i;
        }
    }
    return std::max(i, std::min(at, length));
}

void terminal_restore_output(int, const char*) {}
void terminal_resume_output(int, const char*) {}
int terminal_resumes() { return 0; }
void terminal_restore_now() {}

void watch_terminal_changes() {}
void unwatch_terminal_changes() {}
bool terminal_resized() { return false; }
bool terminal_hung_up() { return false; }

}  // namespace os
