// Quit signals in the browser: a page has no Ctrl-C, termination request or hang-up to
// deliver to the program (closing the tab just ends it), so there is nothing to watch.
#include "platform/os/signals.h"

namespace os {

void watch_quit_signals() {}
void unwatch_quit_signals() {}
bool quit_signalled() { return false; }

}  // namespace os
