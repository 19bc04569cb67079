// Sleeping on POSIX systems. See clock.h. libstdc++'s steady_clock is CLOCK_MONOTONIC, so
// the times of std::chrono::steady_clock are the ones clock_nanosleep takes.
#include <time.h>

#include <cerrno>
#include <cstdint>

#include "platform/os/clock.h"

namespace os {

bool sleep_until(std::int64_t until) {
    const struct timespec when = {time_t(until / 1000000000LL), long(until % 1000000000LL)};
    return clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) != EINTR;
}

void sleep_for(int milliseconds) {
    const struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

}  // namespace os
