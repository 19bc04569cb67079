// Ctrl-C, Ctrl-Break and closing the console window on Windows: console control events, which
// arrive on a thread of their own. See signals.h. A program started with Ctrl-C ignored (the
// flag a parent passes with CREATE_NEW_PROCESS_GROUP) keeps ignoring it: Windows does not
// deliver the event then.
#include <windows.h>

#include <atomic>

#include "platform/os/signals.h"
#include "platform/os/terminal.h"

namespace os {
namespace {

std::atomic<bool> quit_asked{false};
int watches = 0;

BOOL WINAPI on_control_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (quit_asked.exchange(true)) {  // the second one: end as without us
                terminal_restore_now();
                return FALSE;  // the next handler, at last the system's, ends the process
            }
            return TRUE;
        case CTRL_CLOSE_EVENT:
            // The console goes away: the system ends the process once this returns, so there is
            // only time to put the console's modes back
            quit_asked = true;
            terminal_restore_now();
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void watch_quit_signals() {
    if (watches++ > 0) return;
    quit_asked = false;
    SetConsoleCtrlHandler(on_control_event, TRUE);
}

void unwatch_quit_signals() {
    if (watches == 0 || --watches > 0) return;
    SetConsoleCtrlHandler(on_control_event, FALSE);
}

bool quit_signalled() { return quit_asked; }

}  // namespace os
