// Sleeping in the browser. A running WebAssembly program cannot hand the browser its thread
// without giving up its stack (the web back end does that through Asyncify, only on the way to
// its own waits), so these wait by watching the clock. Only the headless back end can call
// them there, and it paces only for keys typed at a terminal, which a page has none of.
#include <chrono>
#include <cstdint>

#include "platform/os/clock.h"

namespace os {
namespace {

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool sleep_until(std::int64_t until) {
    while (now() < until) {
    }
    return true;
}

void sleep_for(int milliseconds) { sleep_until(now() + std::int64_t(milliseconds) * 1000000); }

}  // namespace os
