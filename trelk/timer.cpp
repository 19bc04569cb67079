#include "timer.h"

namespace trelk {

Timer::Timer() {
    trelk_prepare();
    handle_ = trelk_timer_create();
}

Timer::~Timer() { trelk_timer_destroy(handle_); }

void Timer::start() { trelk_timer_start(handle_); }

double Timer::time() const { return trelk_timer_time(handle_); }

}  // namespace trelk
