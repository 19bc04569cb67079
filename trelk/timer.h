// Timer: a timer of the display library. Owns one library timer handle; never copied.
#ifndef TRELK_TIMER_H
#define TRELK_TIMER_H

#include "library.h"

namespace trelk {

class Timer {
public:
    Timer();
    ~Timer();

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void start();
    double time() const;  // as the library measures it (our library: seconds since start())

    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
