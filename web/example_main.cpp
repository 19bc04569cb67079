// The entry point of an example program in its page. The example's own main is compiled under
// the name example_main (web/CMakeLists.txt); its loop suspends in update() and resumes from the
// browser's event loop (Asyncify), so by the time it returns, main's caller has long gone.
// example_exit ends the program as returning from main does on the desktop: the exit hooks run
// and the page learns the status (Module.onExit).
#include <emscripten.h>

int example_main();

// The runtime's exit() ends by throwing its ExitStatus to unwind its caller; here that caller
// is this function, which has nothing to unwind, so the throw stops here
// clang-format off
EM_JS(void, example_exit, (int status), {
    try {
        exit(status);
    } catch (thrown) {
        if (!(thrown instanceof ExitStatus)) throw thrown;
    }
});
// clang-format on

int main() {
    const int status = example_main();
    example_exit(status);
    return status;
}
