// Asking the program to quit from outside: Ctrl-C, a termination request, a hang-up.
// POSIX: signals_posix.cpp (SIGINT, SIGTERM, SIGHUP). A platform without such signals
// implements watching as nothing and quit_signalled() as false.
#ifndef PLATFORM_OS_SIGNALS_H
#define PLATFORM_OS_SIGNALS_H

namespace os {

// Counted: one watch per open console. While watched, the first Ctrl-C, SIGTERM or hang-up
// asks to quit (quit_signalled() turns true); a second one puts the terminal back
// (terminal_restore_now) and ends the program as it would have without us. A signal the
// program was started to ignore stays ignored; a hang-up somebody else already handles (the
// terminal back end) is left to them. The request stays until the last watch ends.
void watch_quit_signals();
void unwatch_quit_signals();
bool quit_signalled();  // safe to call at any time, also from a signal handler

}  // namespace os

#endif
