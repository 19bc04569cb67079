// Sleeping on Windows. See clock.h. A console control event (Ctrl-C) does not end a sleep
// early here; the pacing loops sleep at most a frame, so the quit request is seen a frame later
// at worst. Sleep() is rounded up to whole milliseconds so that a sleep never ends before its
// time (the callers sleep again on an early wake-up, which would only cost a spin).
#include <windows.h>

#include <chrono>
#include <cstdint>

#include "platform/os/clock.h"

namespace os {

bool sleep_until(std::int64_t until) {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    if (until <= now) return true;
    const std::int64_t milliseconds = (until - now + 999999) / 1000000;
    Sleep(static_cast<DWORD>(milliseconds > 0x7fffffff ? 0x7fffffff : milliseconds));
    return true;
}

void sleep_for(int milliseconds) { Sleep(milliseconds > 0 ? DWORD(milliseconds) : 0); }

}  // namespace os
