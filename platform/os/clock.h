// Sleeping. POSIX: clock_posix.cpp. Times are those of std::chrono::steady_clock, in
// nanoseconds since its epoch (display::now_nanoseconds()).
#ifndef PLATFORM_OS_CLOCK_H
#define PLATFORM_OS_CLOCK_H

#include <cstdint>

namespace os {

// Sleeps until the steady clock reaches `until`; false when a signal ended the sleep early
// (the caller decides whether to sleep on: the target stays where it was)
bool sleep_until(std::int64_t until);

// Sleeps about milliseconds; a signal may end it early
void sleep_for(int milliseconds);

}  // namespace os

#endif
