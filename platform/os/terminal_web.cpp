// The terminal in the browser: there is none. No keys (the web back end takes the page's
// keyboard events), standard output is no terminal, nothing to write to or to give back.
#include "platform/os/terminal.h"

namespace os {

TerminalKeys::TerminalKeys(bool) {}
TerminalKeys::~TerminalKeys() {}
int TerminalKeys::read(unsigned char*, int) { return 0; }
void TerminalKeys::wait(int) {}  // nothing can be typed: the caller polls its own input

bool output_is_terminal() { return false; }

const char* terminal_type() { return nullptr; }
bool terminal_takes_utf8(const char**) { return true; }
int open_terminal_output() { return 1; }
void close_terminal_output(int) {}
bool terminal_size(int, int*, int*) { return false; }
TerminalRoom terminal_room(int) { return TerminalRoom::gone; }
TerminalWrite terminal_write(int, const char*, std::size_t, int) { return TerminalWrite::gone; }

void terminal_restore_output(int, const char*) {}
void terminal_resume_output(int, const char*) {}
int terminal_resumes() { return 0; }
void terminal_restore_now() {}

void watch_terminal_changes() {}
void unwatch_terminal_changes() {}
bool terminal_resized() { return false; }
bool terminal_hung_up() { return false; }

}  // namespace os
