// The template back end: the smallest complete one, to copy when adding a display (a KMS/DRM
// screen, a native window, a test double). It builds and passes the back-end contract tests
// (tests/display_backends.cpp) as it is; it shows nothing, keeping each presented frame in
// memory as 32-bit XRGB, which is what most screens take. Copy this file to backend_NAME.cpp,
// rename `template` below, and add NAME to the list of its platforms in
// platform/display/CMakeLists.txt (in the order the automatic choice should try it).
//
// The duties of a back end, all of them; the console (console.cpp) does everything else:
// - open: make everything, change nothing of the machine until nothing can fail, or throw
//   (display::fail) leaving nothing behind. With request.automatic, return null instead when
//   this display cannot run here (no device, no window system), so that the next is tried.
// - present(frame, area): show the frame's pixels, in any format of pixels.h (convert with
//   blit), at least those of `area`, the part that changed; then keep step with the display
//   when pacing. Called by update(), once per frame.
// - keys: poll() moves the keys that have arrived into the queue, never waiting; wait() waits
//   at most the given milliseconds for one, returning early when one comes, then polls. A
//   close button or a hang-up is a quit (keys.request_quit()), not a key. Key codes and
//   modifiers are those of trelk/keys.h; modifiers pressed alone are not keys.
//   keys_may_come() says false when nothing could press a key, so read() does not wait for
//   ever.
// - pacing: with request.pace (TRELK_VSYNC is not 0), present() keeps step with the display,
//   waiting for its refresh or sleeping to its rate on absolute time (next_frame_time), and
//   paced() says so. Runs counting frames (request.counted) need not be paced.
// - size: the console's size is request.width x request.height and never changes while open;
//   scale() gives screen pixels per console pixel, fullscreen() what the display shows now
//   (-1: as opened, request.fullscreen).
// - modes: the display modes it offers, from the entry's modes function (list_modes for a fixed
//   list), -1 when it cannot run here.
// - settings: those of every back end come in the request (pace, counted, fullscreen); one of
//   its own is a row of settings_table.h, read with setting_choice() and the like when it opens.
//   This one reads none.
// - closing: the destructor frees everything and puts back whatever open changed.
// A back end runs on the program's one thread. Ctrl-C and SIGTERM are the console's: a back end
// that waits ends its wait when os::quit_signalled() becomes true.
#include <vector>

#include "platform/display/backend.h"
#include "platform/os/clock.h"
#include "platform/os/signals.h"

namespace display {
namespace {

constexpr std::int64_t frame_period = 1000000000LL / 60;  // nanoseconds: a 60 Hz display

class Template : public Backend {
public:
    // Everything is made here, before anything of the machine is changed
    explicit Template(const OpenRequest& request)
        : shown_(std::size_t(request.width) * std::size_t(request.height) * 4),
          width_(request.width),
          height_(request.height),
          pace_(request.pace && !request.counted) {}

    void present(const Image& frame, const Rect& area) override {
        const Image screen{shown_.data(), width_, height_, width_ * 4, &default_format(), nullptr};
        blit(frame, area, screen, area, Rect{0, 0, width_, height_});
        if (pace_) wait_for_refresh();
    }

    // No input device: nothing arrives, and a wait is a sleep that a quit ends
    void poll(KeyQueue&) override {}
    void wait(KeyQueue& keys, int milliseconds) override {
        const std::int64_t until = now_nanoseconds() + std::int64_t(milliseconds) * 1000000;
        while (!os::sleep_until(until) && !os::quit_signalled()) {
        }
        poll(keys);
    }
    bool keys_may_come() const override { return false; }

    bool paced() const override { return pace_; }
    int scale() const override { return 1; }
    int fullscreen() const override { return -1; }

private:
    void wait_for_refresh() {
        const std::int64_t target = next_frame_time(last_refresh_, frame_period, now_nanoseconds());
        while (!os::sleep_until(target)) {
            if (os::quit_signalled()) break;
        }
    }

    std::vector<std::uint8_t> shown_;  // what the display shows, XRGB
    int width_, height_;
    bool pace_;
    std::int64_t last_refresh_ = 0;
};

std::unique_ptr<Backend> open_template(const OpenRequest& request) {
    // A display that may be missing is looked for here: with request.automatic, return nullptr
    // when it is not there; otherwise fail("cannot open ...: why")
    return std::make_unique<Template>(request);
}

int template_modes(ModeValue* modes, int max) {
    return list_modes(modes, max, common_mode_sizes, 60);
}

}  // namespace

// Not automatic: it shows nothing, so only TRELK_DISPLAY=template would choose it
extern const BackendEntry template_backend = {"template", false, open_template, template_modes};

}  // namespace display
