// Sleeping on Windows. See clock.h.
//
// Sleep() counts in ticks of the system timer, 15.6 ms unless some program asked for finer
// ones, which would make a 60 Hz pace uneven. A high-resolution waitable timer (Windows 10
// 1803 and later) wakes within about a millisecond of its time; before that, Sleep() rounded up
// to whole milliseconds is what there is. One timer per thread, since threads may each pace
// their own console. A console control event (Ctrl-C) does not end a sleep early here: the
// pacing loops sleep at most a frame, so the quit request is seen a frame later at worst.
#include <windows.h>

#include <chrono>
#include <cstdint>

#include "platform/os/clock.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace os {
namespace {

struct Timer {
    HANDLE handle = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                           TIMER_ALL_ACCESS);
    ~Timer() {
        if (handle) CloseHandle(handle);
    }
};

std::int64_t now_nanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool sleep_until(std::int64_t until) {
    const std::int64_t left = until - now_nanoseconds();
    if (left <= 0) return true;
    thread_local Timer timer;
    if (timer.handle) {
        LARGE_INTEGER due;
        due.QuadPart = -((left + 99) / 100);  // relative, in 100 ns
        if (SetWaitableTimer(timer.handle, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(timer.handle, INFINITE);
            return true;
        }
    }
    const std::int64_t milliseconds = (left + 999999) / 1000000;
    Sleep(static_cast<DWORD>(milliseconds > 0x7fffffff ? 0x7fffffff : milliseconds));
    return true;
}

void sleep_for(int milliseconds) { Sleep(milliseconds > 0 ? DWORD(milliseconds) : 0); }

}  // namespace os
