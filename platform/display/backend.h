// The console's back ends: what shows the console's pixels and where its keys come from.
//
// A back end is one file, backends/backend_NAME.cpp, that defines
//     extern const display::BackendEntry NAME_backend = {"NAME", automatic, open, modes};
// and its NAME in the list of its platforms in platform/display/CMakeLists.txt, which builds
// the file and makes TRELK_DISPLAY_BACKENDS below.
// TRELK_DISPLAY=NAME forces it; with TRELK_DISPLAY unset the console opens the first back end
// of the list that is marked automatic and can run here. backend_template.cpp is a complete
// one to copy, with every duty of a back end said in one place; tests/display_backends.cpp
// holds every back end of the build and the template to those duties.
//
// The console does everything else: pixels, copies, the key queue and its limit, the
// TRELK_FRAMES count, the PNG capture, and Ctrl-C and SIGTERM (they set the queue's quit).
// A back end is used from the program's one thread and throws trelk::DynamicError (through
// display::fail) when it fails, leaving nothing open behind it.
#ifndef PLATFORM_DISPLAY_BACKEND_H
#define PLATFORM_DISPLAY_BACKEND_H

#include <memory>

#include "platform/display/objects.h"
#include "trelk/input.h"

namespace display {

// The pointer in console pixels as the back end last reported it, the buttons held, and the
// presses, releases and wheel steps waiting for trelk_input_mouse_event(). The state follows
// every report, whether or not its event found room.
class MouseQueue {
public:
    static constexpr int capacity = 64;

    // Over console pixel (x, y); inside: over the picture (not its borders or beyond)
    void move(int x, int y, bool inside) { x_ = x, y_ = y, inside_ = inside; }
    void leave() { inside_ = false; }  // off the window: the last pixel stays
    void press(int button) {
        if (buttons_ & button) return;  // one press a button until its release
        buttons_ |= button;
        add(TRELK_MOUSE_PRESS, button, 0, 0);
    }
    void release(int button) {
        if (!(buttons_ & button)) return;  // never a release without its press
        buttons_ &= ~button;
        add(TRELK_MOUSE_RELEASE, button, 0, 0);
    }
    void release_all() {
        for (int button : {TRELK_MOUSE_LEFT, TRELK_MOUSE_RIGHT, TRELK_MOUSE_MIDDLE})
            release(button);
    }
    // Steps to the right and away from the person
    void wheel(int right, int away) {
        if (right || away) add(TRELK_MOUSE_WHEEL, 0, right, away);
    }
    bool pop(trelk_mouse_event* event) {
        if (count_ == 0) return false;
        *event = events_[head_];
        head_ = (head_ + 1) % capacity;
        --count_;
        return true;
    }
    int x() const { return x_; }
    int y() const { return y_; }
    bool inside() const { return inside_; }
    int buttons() const { return buttons_; }
    void reset() { *this = MouseQueue(); }

private:
    void add(int kind, int button, int right, int away) {
        if (count_ == capacity) return;
        events_[(head_ + count_) % capacity] =
            trelk_mouse_event{kind, button, x_, y_, inside_ ? 1 : 0, right, away};
        ++count_;
    }

    trelk_mouse_event events_[capacity] = {};
    int head_ = 0, count_ = 0;
    int x_ = 0, y_ = 0, buttons_ = 0;
    bool inside_ = false;
};

// Text typed and not read yet: whole UTF-8 characters, in order
class TextQueue {
public:
    static constexpr int capacity = 256;  // bytes

    // The valid UTF-8 characters of text (anything else is passed over); those that find no
    // room are dropped
    void push(const char* text, int length);
    // Whole characters, at most size - 1 bytes, then a 0 byte; returns the bytes given
    int pop(char* text, int size);
    // The bytes of the next character; 0 when none waits
    int next_length() const;
    void reset() { head_ = count_ = 0; }

private:
    char bytes_[capacity] = {};
    int head_ = 0, count_ = 0;
};

// The length of the UTF-8 character that starts text (at most length bytes): 1 to 4, or 0
// when no valid character starts there (a stray continuation, an overlong form, a surrogate,
// one cut short)
int utf8_length(const unsigned char* text, int length);

// Keys waiting for read(), and whether a quit was asked for (a quit is not a key: it stays);
// with them the mouse and the typed text, which the back ends report in the same polls
class KeyQueue {
public:
    static constexpr int capacity = 64;

    void push(const KeyValue& key) {  // a key beyond capacity is dropped
        if (key.code >= 0 && key.code < codes) pressed_at_[key.code] = now_nanoseconds();
        if (count_ == capacity) return;
        keys_[(head_ + count_) % capacity] = key;
        ++count_;
    }
    bool pop(KeyValue* key) {
        if (count_ == 0) return false;
        *key = keys_[head_];
        head_ = (head_ + 1) % capacity;
        --count_;
        return true;
    }
    int size() const { return count_; }
    void request_quit() { quit_ = true; }
    bool quit() const { return quit_; }
    void reset() {
        head_ = count_ = 0, quit_ = false;
        for (std::int64_t& at : pressed_at_) at = 0;
        mouse.reset();
        text.reset();
    }
    // When a key of this code was last pressed (steady-clock nanoseconds); 0: not since open
    std::int64_t pressed_at(int code) const {
        return code >= 0 && code < codes ? pressed_at_[code] : 0;
    }

    MouseQueue mouse;
    TextQueue text;

private:
    static constexpr int codes = 256;  // key codes are below this
    KeyValue keys_[capacity];
    int head_ = 0, count_ = 0;
    bool quit_ = false;
    std::int64_t pressed_at_[codes] = {};
};

struct OpenRequest {
    const char* title = "";     // the window's title
    int width = 0, height = 0;  // the console's size in pixels
    bool fullscreen = false;    // the openAlternate forms
    bool pace = true;           // update() keeps step with the display (TRELK_VSYNC is not 0)
    bool automatic = false;     // chosen automatically: return null if this back end cannot run
    bool counted = false;       // TRELK_FRAMES is set: the run is measured in frames, not time
};

class Backend {
public:
    virtual ~Backend() = default;  // closes: frees everything and restores what open changed

    // Shows the console's pixels (any format; area is the part that changed), then waits for
    // the display if this back end paces. Called by update().
    virtual void present(const Image& frame, const Rect& area) = 0;
    // Moves input that has arrived into the queue, without waiting
    virtual void poll(KeyQueue& keys) = 0;
    // Waits at most milliseconds for input (returning early when some arrives), then polls
    virtual void wait(KeyQueue& keys, int milliseconds) = 0;

    // Whether a key may still come while the program waits in read(): false where nothing can
    // press one, and read() then gives the quit key instead of waiting for ever
    virtual bool keys_may_come() const { return true; }
    // 1 while the key of this code is down, 0 while it is up, where the back end can tell; -1
    // where it sees presses alone (a terminal sends no releases)
    virtual int held(int code) const {
        (void)code;
        return -1;
    }
    // The program has asked for the mouse (once a console is open): a back end that must switch
    // its reports on does so now (a terminal: they would take away its own selection)
    virtual void want_mouse() {}
    virtual bool paced() const { return false; }  // present() keeps step with the display
    virtual int scale() const { return 1; }       // screen pixels per console pixel
    // 1 or 0 when the back end knows whether it shows the console full screen now (a window
    // can be switched while open); -1: as the console was opened
    virtual int fullscreen() const { return -1; }
};

struct BackendEntry {
    const char* name;  // the value of TRELK_DISPLAY that forces this back end
    bool automatic;    // may be chosen when TRELK_DISPLAY is unset
    // Opens the display. With request.automatic it returns null when it cannot run here, so
    // that the next back end is tried; otherwise that is an error.
    std::unique_ptr<Backend> (*open)(const OpenRequest& request);
    // Fills up to max display modes and returns how many; -1 when it cannot run here
    int (*modes)(ModeValue* modes, int max);
};

// What a back end's modes function gives for a fixed list of sizes: the sizes that fit in max,
// each in the default format at the given refresh rate (0: unknown)
template <int N>
int list_modes(ModeValue* out, int max, const int (&sizes)[N][2], int refresh) {
    int n = 0;
    for (const auto& size : sizes) {
        if (n == max) break;
        out[n++] = ModeValue{size[0], size[1], refresh, default_format()};
    }
    return n;
}

// The sizes a back end that can show any size lists as its modes (headless, the web page)
constexpr int common_mode_sizes[][2] = {{320, 200},  {320, 240},   {640, 400},
                                        {640, 480},  {800, 600},   {1024, 768},
                                        {1280, 720}, {1280, 1024}, {1920, 1080}};

// When the next frame is due, for a back end that paces itself on the monotonic clock's
// absolute time: one period after the last one (`last`, updated), but a frame that comes late
// starts the count again from now, and none is ever set later than one period from now, so
// that signals cutting sleeps short (a storm of resizes) move nothing.
inline std::int64_t next_frame_time(std::int64_t& last, std::int64_t period, std::int64_t now) {
    std::int64_t target = last + period;
    if (target < now) target = now;
    if (target > now + period) target = now + period;
    last = target;
    return target;
}

// TRELK_DISPLAY_BACKENDS(X): X(NAME) for each back end of this build (window, terminal,
// headless on desktops), from platform/display/CMakeLists.txt
#include "platform/display/backends.h"

#define TRELK_DISPLAY_DECLARE_BACKEND(name) extern const BackendEntry name##_backend;
TRELK_DISPLAY_BACKENDS(TRELK_DISPLAY_DECLARE_BACKEND)
#undef TRELK_DISPLAY_DECLARE_BACKEND

}  // namespace display

#endif
