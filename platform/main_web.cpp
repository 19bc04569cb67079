// The process entry point in the browser. The demo's loop suspends in update() and resumes
// from the browser's event loop (Asyncify), so by the time WinMain returns, main's caller has
// long gone and would not see the status. web_exit ends the program as returning from main
// does on the desktop: the exit hooks run and the page learns the status (Module.onExit).
#include <emscripten.h>

#include "platform/winmain.h"

// The runtime's exit() ends by throwing its ExitStatus to unwind its caller; here that caller
// is this function, which has nothing to unwind, so the throw stops here
// clang-format off
EM_JS(void, web_exit, (int status), {
    try {
        exit(status);
    } catch (thrown) {
        if (!(thrown instanceof ExitStatus)) throw thrown;
    }
});
// clang-format on

int main() {
    char command_line[] = "";
    const int status = WinMain(nullptr, nullptr, command_line, 0);
    web_exit(status);
    return status;
}
