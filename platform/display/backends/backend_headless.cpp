// The headless back end: the console's pixels stay in memory, update() counts the frame, and
// keys come from the terminal when standard input is one. Its display modes are a fixed list
// of common sizes in the default format.
//
// Pacing: a run that waits for a key typed at the terminal, with no TRELK_FRAMES to end it,
// keeps step with a display of 60 frames a second, as a person watching would see it, rather
// than spinning a whole core; TRELK_VSYNC=0 turns that off. Every other run (tests, benchmarks,
// captures, anything counting frames) returns from update() at once.
//
// Keys: a run with no terminal on standard input has nothing that could press one, and a run
// counting frames (TRELK_FRAMES) cannot count any while the program waits; in both, a read()
// that finds no key waiting gives the quit key at once instead of waiting for ever.
#include "platform/display/backends/terminal_input.h"
#include "platform/os/clock.h"
#include "platform/os/signals.h"

namespace display {
namespace {

constexpr std::int64_t frame_period = 1000000000LL / 60;  // nanoseconds

class Headless : public Backend {
public:
    explicit Headless(const OpenRequest& request)
        : pace_(request.pace && !request.counted && terminal_.active()),
          keys_may_come_(!request.counted && terminal_.active()) {}

    void present(const Image&, const Rect&) override {
        if (pace_) wait_for_refresh();
    }
    void poll(KeyQueue& keys) override { terminal_.poll(keys); }
    void wait(KeyQueue& keys, int milliseconds) override { terminal_.wait(keys, milliseconds); }
    bool keys_may_come() const override { return keys_may_come_; }
    bool paced() const override { return pace_; }

private:
    // Sleeps until one period after the last frame, on absolute time; a late frame starts the
    // count again from now. A quit or a key ends the wait at once.
    void wait_for_refresh() {
        const std::int64_t target = next_frame_time(last_refresh_, frame_period, now_nanoseconds());
        while (!terminal_.sleep_until(target)) {
            if (os::quit_signalled()) break;
        }
    }

    TerminalInput terminal_;  // before pace_, which asks it
    bool pace_ = false;
    bool keys_may_come_ = true;
    std::int64_t last_refresh_ = 0;
};

std::unique_ptr<Backend> open_headless(const OpenRequest& request) {
    return std::make_unique<Headless>(request);
}

int headless_modes(ModeValue* modes, int max) {
    return list_modes(modes, max, common_mode_sizes, 0);
}

}  // namespace

extern const BackendEntry headless_backend = {"headless", true, open_headless, headless_modes};

}  // namespace display
