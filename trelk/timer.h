/// @file
/// Timer: a timer of the display library.
#ifndef TRELK_TIMER_H
#define TRELK_TIMER_H

#include "library.h"

namespace trelk {

/// A timer of the display library, on a monotonic clock. Owns one library timer handle; never
/// copied or assigned.
class Timer {
public:
    /// A timer not started: time() is 0
    Timer();
    /// Destroys the library timer
    ~Timer();

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    /// Starts (or restarts) the timer from now
    void start();
    /// Seconds since start(), 0 before it
    double time() const;

    /// The library timer this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
