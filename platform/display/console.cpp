// The console entries: a drawing target like a surface, shown by one of the back ends of
// backend.h, with the keyboard, the settings of trelk/display.h, Ctrl-C and SIGTERM.
//
// Decisions:
// - A console is made closed. open(title, extra) and open(title, format, extra) give 320 x 200
//   pixels, the size the program is laid out for; the sized and mode forms give that size.
//   The openAlternate forms do the same full screen (headless: the same as open). The
//   trailing integer of every open is ignored. Opening an open console is an error; closing
//   a closed one does nothing; destroying an open console closes it.
// - While closed: width, height and pitch are 0, area and clip (0, 0, 0, 0), key() is 0,
//   format and palette those of the last open (the default ones before); every pixel
//   operation, update and read throw "the console is not open".
// - key() is 1 while a key waits to be read or a quit was asked for: by the window's close
//   button, Ctrl-C (SIGINT), SIGTERM, or TRELK_FRAMES frames presented. It consumes nothing.
//   read() gives the oldest waiting key, else TRELK_KEY_QUIT when a quit was asked for, else
//   waits for a key; where no key can come (headless without a terminal, or counting
//   TRELK_FRAMES) it asks to quit instead of waiting. A quit stays asked for until the console
//   closes.
// - The first Ctrl-C or SIGTERM while a console is open asks to quit; a second one ends the
//   program as it would have without us (after putting the terminal back).
// - update() presents the whole console, update(area) the pixels of that area (the rest shows
//   what was presented before); both count one frame.
// - Library-defined entries answer questions and change nothing; see each below.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/capture.h"
#include "platform/display/recorder.h"
#include "platform/display/settings.h"
#include "platform/display/test_counters.h"
#include "platform/os/report.h"
#include "platform/os/signals.h"

namespace display {

struct ConsoleObject : ConsoleCanvas {
    int backend_index = -1;  // in backend_list
    std::unique_ptr<Backend> backend;
    KeyQueue keys;
    long long frames = 0;        // presented since open
    long long frame_limit = -1;  // TRELK_FRAMES; -1 when unset
    bool fullscreen = false;
    std::string capture_path;            // TRELK_CAPTURE; empty when unset
    std::vector<std::uint8_t> captured;  // the last presented frame, kept when capturing or
                                         // recording
    std::unique_ptr<Recorder> recorder;  // TRELK_RECORD
    bool mouse_wanted = false;           // the program has asked for the mouse since open
    trelk_handle mode_handle = nullptr;  // what mode(i) hands out
    std::vector<ModeValue> mode_list;
    bool modes_listed = false;
};

namespace {

#define TRELK_DISPLAY_LIST_BACKEND(name) &name##_backend,
const BackendEntry* const backend_list[] = {TRELK_DISPLAY_BACKENDS(TRELK_DISPLAY_LIST_BACKEND)};
#undef TRELK_DISPLAY_LIST_BACKEND
constexpr int backend_count = int(sizeof backend_list / sizeof backend_list[0]);

constexpr int default_width = 320, default_height = 200;
constexpr int max_modes = 255;  // the object layer's list holds 256 with its end marker

std::atomic<long long> presented_total{0};  // consoles on any thread

// ---- settings ----

struct Settings {
    int backend = -1;  // forced by TRELK_DISPLAY; -1: the automatic choice
    long long frames = -1;
    std::string capture;
    bool pace = true;
    bool fullscreen = false;  // TRELK_FULLSCREEN=1: every open is full screen
    RecordSettings record;    // TRELK_RECORD, TRELK_RECORD_FPS, TRELK_RECORD_SCALE
};

// A count that must lie from low to high, or a failure naming the setting
int in_range(const char* name, long long value, int low, int high) {
    if (value < low || value > high)
        fail("%s=%lld: out of range; use a whole number from %d to %d", name, value, low, high);
    return int(value);
}

Settings read_settings() {
    check_settings();
    Settings s;
    s.backend = setting_choice(Setting::display);
    s.frames = setting_count(Setting::frames);
    if (const char* capture = setting_text(Setting::capture)) s.capture = capture;
    if (const char* record = setting_text(Setting::record)) s.record.path = record;
    const long long fps = setting_count(Setting::record_fps);
    if (fps >= 0) s.record.fps = in_range("TRELK_RECORD_FPS", fps, 1, 1000);
    const long long scale = setting_count(Setting::record_scale);
    if (scale >= 0) s.record.scale = in_range("TRELK_RECORD_SCALE", scale, 1, 64);
    s.record.frames = s.frames;
    s.pace = setting_choice(Setting::vsync) == 1;
    s.fullscreen = setting_choice(Setting::fullscreen) == 1;
    return s;
}

// ---- opening and closing ----

// Every console in the table is one of ours
ConsoleObject& console_of(trelk_handle handle) {
    return static_cast<ConsoleObject&>(*consoles.get(handle));
}

ConsoleObject& open_console_of(trelk_handle handle, const char* what) {
    ConsoleObject& console = console_of(handle);
    if (!console.open) fail("%s: the console is not open", what);
    return console;
}

// Full screen as opened, or as the window has been switched since
int shown_fullscreen(const ConsoleObject& c) {
    const int now = c.open ? c.backend->fullscreen() : -1;
    return now >= 0 ? now : c.fullscreen ? 1 : 0;
}

bool quit_asked(const ConsoleObject& c) {
    return c.keys.quit() || os::quit_signalled() ||
           (c.frame_limit >= 0 && c.frames >= c.frame_limit) ||
           (c.recorder && c.recorder->complete());
}

int headless_index() {
    for (int i = 0; i < backend_count; ++i) {
        if (backend_list[i] == &headless_backend) return i;
    }
    return -1;
}

void open_console_watched(ConsoleObject& c, const char* title, int width, int height,
                          const PixelFormat& format, bool fullscreen, const char* what);

void open_console_unguarded(trelk_handle handle, const char* title, int width, int height,
                            const PixelFormat& format, bool fullscreen, const char* what) {
    ConsoleObject& c = console_of(handle);
    if (!title) fail("%s: null title", what);
    os::note_program_title(title);  // what an error's report is shown under
    if (c.open) fail("%s: the console is already open", what);
    // Watched from here on, so that a Ctrl-C while the console opens (a recording's file
    // already made, say) is a request to quit like any other rather than the end of the
    // program with that file left; an open that fails stops watching
    os::watch_quit_signals();
    try {
        open_console_watched(c, title, width, height, format, fullscreen, what);
    } catch (...) {
        os::unwatch_quit_signals();
        throw;
    }
}

// Whether two paths name one file: the same after links and "." and ".." are resolved (as far
// as the path exists), or two links to one file
bool same_file(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::equivalent(a, b, error) && !error) return true;
    std::error_code error_a, error_b;
    const fs::path full_a = fs::weakly_canonical(fs::absolute(a, error_a), error_a);
    const fs::path full_b = fs::weakly_canonical(fs::absolute(b, error_b), error_b);
    return error_a || error_b ? a == b : full_a == full_b;
}

void open_console_watched(ConsoleObject& c, const char* title, int width, int height,
                          const PixelFormat& format, bool fullscreen, const char* what) {
    const Settings settings = read_settings();
    // The video would be renamed over the picture at the end
    if (!settings.capture.empty() && !settings.record.path.empty() &&
        same_file(settings.capture, settings.record.path))
        fail("TRELK_CAPTURE=%s and TRELK_RECORD=%s name the same file: give them different names",
             settings.capture.c_str(), settings.record.path.c_str());
    // Refused at once rather than after the whole run; closing checks again before writing
    std::string refused;
    if (!settings.capture.empty() && !capture_target_usable(settings.capture.c_str(), &refused))
        fail("TRELK_CAPTURE=%s: refused: %s", settings.capture.c_str(), refused.c_str());
    Canvas canvas = c.canvas;
    canvas_allocate(canvas, width, height, format, what);
    try {
        // A recording shows nothing and waits for nothing: every frame goes into the file
        std::unique_ptr<Recorder> recorder;
        if (!settings.record.path.empty())
            recorder = start_recording(settings.record, width, height);
        OpenRequest request;
        request.title = title;
        request.width = width;
        request.height = height;
        request.fullscreen = fullscreen || settings.fullscreen;
        request.pace = settings.pace;
        request.counted = settings.frames >= 0;
        std::unique_ptr<Backend> backend;
        int index = recorder ? headless_index() : settings.backend;
        if (recorder) {
            request.pace = false;
            request.counted = true;
        }
        if (index >= 0) {
            backend = backend_list[index]->open(request);
        } else {
            request.automatic = true;
            for (index = 0; index < backend_count && !backend; ++index) {
                if (backend_list[index]->automatic) backend = backend_list[index]->open(request);
            }
            --index;
        }
        if (!backend) fail("%s: no display can be opened here", what);
        std::vector<std::uint8_t> captured;
        if (!settings.capture.empty() || recorder)
            captured.resize(std::size_t(canvas.pitch) * std::size_t(height));
        std::string capture_path = settings.capture;
        // Nothing can fail from here on
        c.canvas = canvas;
        c.backend = std::move(backend);
        c.backend_index = index;
        c.captured.swap(captured);
        c.capture_path.swap(capture_path);
        c.recorder = std::move(recorder);
    } catch (const std::bad_alloc&) {
        canvas_free_pixels(canvas);
        fail("%s: out of memory", what);
    } catch (...) {
        canvas_free_pixels(canvas);
        throw;
    }
    c.open = true;
    c.fullscreen = fullscreen || settings.fullscreen;
    c.frames = 0;
    c.frame_limit = settings.frames;
    c.keys.reset();
    c.mouse_wanted = false;
}

// Memory running out while the settings are read or checked is an error like any other
void open_console(trelk_handle handle, const char* title, int width, int height,
                  const PixelFormat& format, bool fullscreen, const char* what) {
    try {
        open_console_unguarded(handle, title, width, height, format, fullscreen, what);
    } catch (const std::bad_alloc&) {
        fail("%s: out of memory", what);
    }
}

// Closes and frees; the capture is written first, and a failure to write it comes back as a
// message once everything is closed
std::string close_console(ConsoleObject& c) {
    if (!c.open) return "";
    std::string failure;
    if (!c.capture_path.empty() && c.frames > 0) {
        Image frame = canvas_image(c.canvas);
        frame.pixels = c.captured.data();
        std::string reason;
        if (!save_png(c.capture_path.c_str(), frame, &reason)) {
            try {
                failure = "TRELK_CAPTURE: cannot save " + c.capture_path + ": " + reason;
            } catch (const std::bad_alloc&) {
                failure = "out of memory";  // fits the string's own room: no allocation
            }
        }
    }
    if (c.recorder) {
        std::string reason;
        if (!c.recorder->finish(&reason) && failure.empty()) {
            try {
                failure = reason;
            } catch (const std::bad_alloc&) {
                failure = "out of memory";
            }
        }
        c.recorder.reset();
    }
    c.backend.reset();
    canvas_free_pixels(c.canvas);
    std::vector<std::uint8_t>().swap(c.captured);
    c.capture_path.clear();
    c.open = false;
    c.backend_index = -1;
    c.fullscreen = false;
    os::unwatch_quit_signals();
    return failure;
}

void present(ConsoleObject& c, Rect area) {
    Image frame = canvas_image(c.canvas);
    area = clip_to(normalise(area), frame.width, frame.height);
    if (!c.captured.empty() && area.left < area.right) {
        const Image kept{c.captured.data(), frame.width,  frame.height,
                         frame.pitch,       frame.format, frame.palette};
        try {
            blit(frame, area, kept, area, area);
        } catch (const std::bad_alloc&) {
            fail("update: out of memory for the capture");
        }
    }
    if (c.recorder) {
        const Image kept{c.captured.data(), frame.width,  frame.height,
                         frame.pitch,       frame.format, frame.palette};
        c.recorder->add(kept);
    }
    c.backend->present(frame, area);
    c.backend->poll(c.keys);
    ++c.frames;
    ++presented_total;
}

void list_modes(ConsoleObject& c) {
    if (c.modes_listed) return;
    ModeValue found[max_modes];
    int count = -1;
    const int forced = c.open ? c.backend_index : setting_choice(Setting::display);
    if (forced >= 0) {
        count = backend_list[forced]->modes(found, max_modes);
    } else {
        for (int i = 0; i < backend_count && count < 0; ++i) {
            if (backend_list[i]->automatic) count = backend_list[i]->modes(found, max_modes);
        }
    }
    try {
        c.mode_list.assign(found, found + (count > 0 ? count : 0));
    } catch (const std::bad_alloc&) {
        fail("modes: out of memory");
    }
    c.modes_listed = true;
}

// An open console's pixels
Canvas& open_canvas(trelk_handle handle, const char* what) {
    return open_console_of(handle, what).canvas;
}

}  // namespace

}  // namespace display

using namespace display;

extern "C" {

trelk_handle trelk_console_create(void) {
    ConsoleObject* c = new (std::nothrow) ConsoleObject;
    if (!c) fail("console: out of memory");
    try {
        c->canvas.format = default_format();
        c->canvas.palette = default_palette();
        canvas_make_handles(c->canvas);
        c->mode_handle = modes.add(ModeValue{}, Owner::library);
        return create(consoles, static_cast<ConsoleCanvas*>(c));
    } catch (...) {
        if (c->mode_handle) modes.remove(c->mode_handle);
        if (c->canvas.area_handle) canvas_free_handles(c->canvas);
        delete c;
        throw;
    }
}

// Never throws for a live console that no other thread holds locked: a capture that cannot be
// written is reported on standard error here, since the object layer calls this from a destructor
void trelk_console_destroy(trelk_handle console) {
    canvas_check_holder(console_of(console).canvas, "destroy");
    ConsoleObject* c = static_cast<ConsoleObject*>(destroy(consoles, console, Kind::console));
    const std::string failure = close_console(*c);
    if (!failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
    modes.remove(c->mode_handle);
    canvas_free_handles(c->canvas);
    delete c;
}

// ---- opening and closing ----

void trelk_console_open(trelk_handle console, const char* title, int) {
    open_console(console, title, default_width, default_height, default_format(), false, "open");
}

void trelk_console_open_format(trelk_handle console, const char* title, trelk_handle format, int) {
    const PixelFormat f = formats.get(format);
    open_console(console, title, default_width, default_height, f, false, "open");
}

void trelk_console_open_size(trelk_handle console, const char* title, int width, int height,
                             trelk_handle format, int) {
    const PixelFormat f = formats.get(format);
    open_console(console, title, width, height, f, false, "open");
}

void trelk_console_open_mode(trelk_handle console, const char* title, trelk_handle mode, int) {
    const ModeValue m = modes.get(mode);
    if (!mode_valid(m)) fail("open: invalid display mode");
    open_console(console, title, m.width, m.height, m.format, false, "open");
}

// The alternate opens: the same, full screen
void trelk_console_open_alternate(trelk_handle console, const char* title, int) {
    open_console(console, title, default_width, default_height, default_format(), true,
                 "openAlternate");
}

void trelk_console_open_alternate_format(trelk_handle console, const char* title,
                                         trelk_handle format, int) {
    const PixelFormat f = formats.get(format);
    open_console(console, title, default_width, default_height, f, true, "openAlternate");
}

void trelk_console_open_alternate_size(trelk_handle console, const char* title, int width,
                                       int height, trelk_handle format, int) {
    const PixelFormat f = formats.get(format);
    open_console(console, title, width, height, f, true, "openAlternate");
}

void trelk_console_open_alternate_mode(trelk_handle console, const char* title, trelk_handle mode,
                                       int) {
    const ModeValue m = modes.get(mode);
    if (!mode_valid(m)) fail("openAlternate: invalid display mode");
    open_console(console, title, m.width, m.height, m.format, true, "openAlternate");
}

void trelk_console_close(trelk_handle console) {
    canvas_check_holder(console_of(console).canvas, "close");
    const std::string failure = close_console(console_of(console));
    if (!failure.empty()) fail("%s", failure.c_str());
}

// ---- presenting and keys ----

void trelk_console_update(trelk_handle console) {
    ConsoleObject& c = open_console_of(console, "update");
    present(c, Rect{0, 0, c.canvas.width, c.canvas.height});
}

void trelk_console_update_area(trelk_handle console, trelk_handle area) {
    ConsoleObject& c = open_console_of(console, "update");
    present(c, areas.get(area));
}

int trelk_console_key(trelk_handle console) {
    ConsoleObject& c = console_of(console);
    if (!c.open) return 0;
    c.backend->poll(c.keys);
    return c.keys.size() > 0 || quit_asked(c) ? 1 : 0;
}

// Where only presses are seen, a key counts as held this long after its last press: a
// terminal repeats a held key every 30 to 50 ms once it has waited its first 250 to 600 ms
constexpr std::int64_t held_after_press = 600000000;  // nanoseconds

int trelk_display_key_held(trelk_handle console, int code) {
    ConsoleObject& c = console_of(console);
    if (!c.open) return 0;
    c.backend->poll(c.keys);
    const int known = c.backend->held(code);
    if (known >= 0) return known;
    const std::int64_t at = c.keys.pressed_at(code);
    return at != 0 && now_nanoseconds() - at < held_after_press ? 1 : 0;
}

// ---- the mouse and typed text (trelk/input.h) ----

namespace {
// An open console whose back end has been asked for the mouse, with its input polled; null
// for a closed console
ConsoleObject* polled_for_mouse(trelk_handle handle) {
    ConsoleObject& c = console_of(handle);
    if (!c.open) return nullptr;
    if (!c.mouse_wanted) {
        c.mouse_wanted = true;
        c.backend->want_mouse();
    }
    c.backend->poll(c.keys);
    return &c;
}
}  // namespace

int trelk_input_mouse(trelk_handle console, int* x, int* y, int* buttons) {
    const ConsoleObject* c = polled_for_mouse(console);
    const MouseQueue none;
    const MouseQueue& mouse = c ? c->keys.mouse : none;
    if (x) *x = mouse.x();
    if (y) *y = mouse.y();
    if (buttons) *buttons = mouse.buttons();
    return mouse.inside() ? 1 : 0;
}

int trelk_input_mouse_event(trelk_handle console, trelk_mouse_event* event) {
    consoles.check(console);
    if (!event) fail("mouse_event: null event");
    ConsoleObject* c = polled_for_mouse(console);
    return c && c->keys.mouse.pop(event) ? 1 : 0;
}

int trelk_input_text(trelk_handle console, char* text, int size) {
    consoles.check(console);
    if (!text) fail("text: null buffer");
    if (size < 1) fail("text: a buffer of %d bytes; it takes at least 1 (the ending 0)", size);
    ConsoleObject& c = console_of(console);
    if (!c.open) {
        text[0] = '\0';
        return 0;
    }
    c.backend->poll(c.keys);
    const int next = c.keys.text.next_length();
    if (next > size - 1) {
        fail(
            "text: a buffer of %d bytes cannot hold the next character typed (%d bytes and the "
            "ending 0); 5 bytes hold any",
            size, next);
    }
    return c.keys.text.pop(text, size);
}

void trelk_console_read(trelk_handle console, trelk_handle key) {
    ConsoleObject& c = open_console_of(console, "read");
    keys.check(key);  // before waiting
    for (;;) {
        c.backend->poll(c.keys);
        KeyValue value;
        if (c.keys.pop(&value)) {
            keys.get(key) = value;
            return;
        }
        if (!quit_asked(c) && !c.backend->keys_may_come()) c.keys.request_quit();
        if (quit_asked(c)) {
            keys.get(key) = KeyValue{TRELK_KEY_QUIT, 0, 0, 0};
            return;
        }
        c.backend->wait(c.keys, 100);
    }
}

trelk_handle trelk_console_mode(trelk_handle console, int index) {
    ConsoleObject& c = console_of(console);
    list_modes(c);
    const bool listed = index >= 0 && index < int(c.mode_list.size());
    modes.get(c.mode_handle) = listed ? c.mode_list[std::size_t(index)] : ModeValue{};
    return c.mode_handle;
}

// ---- the surface operations ----

void trelk_console_copy(trelk_handle console, trelk_handle target) {
    Canvas& from = open_canvas(console, "copy");
    Canvas& to = copy_target(target);
    canvas_copy(from, whole(canvas_image(from)), to, whole(canvas_image(to)));
}

void trelk_console_copy_area(trelk_handle console, trelk_handle target, trelk_handle source,
                             trelk_handle destination) {
    Canvas& from = open_canvas(console, "copy");
    const Rect source_area = areas.get(source);
    const Rect destination_area = areas.get(destination);
    canvas_copy(from, source_area, copy_target(target), destination_area);
}

void* trelk_console_lock(trelk_handle console) { return canvas_lock(open_canvas(console, "lock")); }

void trelk_console_unlock(trelk_handle console) { canvas_unlock(open_canvas(console, "unlock")); }

void trelk_console_load(trelk_handle console, const void* pixels, int width, int height, int pitch,
                        trelk_handle format, trelk_handle palette) {
    Canvas& canvas = open_canvas(console, "load");
    const Image from = caller_image("load", pixels, width, height, pitch, format, palette);
    canvas_load(canvas, from, whole(from), whole(canvas_image(canvas)));
}

void trelk_console_load_area(trelk_handle console, const void* pixels, int width, int height,
                             int pitch, trelk_handle format, trelk_handle palette,
                             trelk_handle source, trelk_handle destination) {
    Canvas& canvas = open_canvas(console, "load");
    const Rect source_area = areas.get(source);
    const Rect destination_area = areas.get(destination);
    const Image from = caller_image("load", pixels, width, height, pitch, format, palette);
    canvas_load(canvas, from, source_area, destination_area);
}

void trelk_console_save(trelk_handle console, void* pixels, int width, int height, int pitch,
                        trelk_handle format, trelk_handle palette) {
    Canvas& canvas = open_canvas(console, "save");
    const Image to = caller_image("save", pixels, width, height, pitch, format, palette);
    canvas_save(canvas, to, whole(canvas_image(canvas)), whole(to));
}

void trelk_console_save_area(trelk_handle console, void* pixels, int width, int height, int pitch,
                             trelk_handle format, trelk_handle palette, trelk_handle source,
                             trelk_handle destination) {
    Canvas& canvas = open_canvas(console, "save");
    const Rect source_area = areas.get(source);
    const Rect destination_area = areas.get(destination);
    const Image to = caller_image("save", pixels, width, height, pitch, format, palette);
    canvas_save(canvas, to, source_area, destination_area);
}

void trelk_console_clear(trelk_handle console) {
    Canvas& canvas = open_canvas(console, "clear");
    canvas_clear(canvas, whole(canvas_image(canvas)), nullptr);
}

void trelk_console_clear_color(trelk_handle console, trelk_handle color) {
    Canvas& canvas = open_canvas(console, "clear");
    const std::uint32_t value = colors.get(color);
    canvas_clear(canvas, whole(canvas_image(canvas)), &value);
}

void trelk_console_clear_color_area(trelk_handle console, trelk_handle color, trelk_handle area) {
    Canvas& canvas = open_canvas(console, "clear");
    const std::uint32_t value = colors.get(color);
    canvas_clear(canvas, areas.get(area), &value);
}

void trelk_console_set_palette(trelk_handle console, trelk_handle palette) {
    Canvas& canvas = open_canvas(console, "palette");
    canvas_set_palette(canvas, palettes.get(palette));
}

void trelk_console_set_clip(trelk_handle console, trelk_handle area) {
    Canvas& canvas = open_canvas(console, "clip");
    canvas_set_clip(canvas, areas.get(area));
}

int trelk_console_width(trelk_handle console) { return int(console_of(console).canvas.row_width); }
int trelk_console_height(trelk_handle console) { return console_of(console).canvas.height; }
int trelk_console_pitch(trelk_handle console) { return console_of(console).canvas.pitch; }
trelk_handle trelk_console_area(trelk_handle console) {
    return canvas_area(console_of(console).canvas);
}
trelk_handle trelk_console_clip(trelk_handle console) {
    return canvas_clip(console_of(console).canvas);
}
trelk_handle trelk_console_format(trelk_handle console) {
    return canvas_format(console_of(console).canvas);
}
trelk_handle trelk_console_palette(trelk_handle console) {
    return canvas_palette(console_of(console).canvas);
}

// Questions, 1 or 0: those of a surface ("indexed", "alpha", "locked"), the name of the back
// end the console is open on ("window", "headless"), "paced" and "fullscreen"
int trelk_console_option(trelk_handle console, const char* option) {
    ConsoleObject& c = console_of(console);
    const int answer = canvas_option(c.canvas, option);
    if (answer >= 0) return answer;
    if (c.open && std::strcmp(option, backend_list[c.backend_index]->name) == 0) return 1;
    if (std::strcmp(option, "paced") == 0) return c.open && c.backend->paced() ? 1 : 0;
    if (std::strcmp(option, "fullscreen") == 0) return shown_fullscreen(c);
    return 0;
}

// ---- library-defined queries: each answers a question and changes nothing ----

int trelk_console_entry32(trelk_handle console, int value) {  // echoes value: a live-handle check
    consoles.check(console);
    return value;
}
int trelk_console_entry40(trelk_handle console) { return console_of(console).open ? 1 : 0; }
int trelk_console_entry41(trelk_handle console) {  // frames presented since open
    const long long frames = console_of(console).frames;
    return frames > 0x7fffffff ? 0x7fffffff : int(frames);
}
int trelk_console_entry62(trelk_handle console) {  // bits per pixel while open, else 0
    const ConsoleObject& c = console_of(console);
    return c.open ? c.canvas.format.bits : 0;
}
int trelk_console_entry67(trelk_handle console) { return console_of(console).keys.size(); }
int trelk_console_entry68(trelk_handle console) {  // 1 when a quit was asked for
    const ConsoleObject& c = console_of(console);
    return c.open && quit_asked(c) ? 1 : 0;
}
int trelk_console_entry69(trelk_handle console) {  // the number of valid display modes
    ConsoleObject& c = console_of(console);
    list_modes(c);
    return int(c.mode_list.size());
}
// The open back end's place in the list of backend.h (0: window); -1 when closed
int trelk_console_entry74(trelk_handle console) { return console_of(console).backend_index; }
int trelk_console_entry75(trelk_handle console) {  // 1 when update() keeps step with the display
    const ConsoleObject& c = console_of(console);
    return c.open && c.backend->paced() ? 1 : 0;
}
int trelk_console_entry76(trelk_handle console) {  // screen pixels per console pixel; 0 closed
    const ConsoleObject& c = console_of(console);
    return c.open ? c.backend->scale() : 0;
}
int trelk_console_entry77(trelk_handle console) {  // 1 when open and full screen now
    return shown_fullscreen(console_of(console));
}
int trelk_console_entry78(trelk_handle console) {  // reserved: 0
    consoles.check(console);
    return 0;
}
int trelk_console_entry79(trelk_handle console) {  // reserved: 0
    consoles.check(console);
    return 0;
}

long long trelk_display_presented_frames(void) { return presented_total; }

}  // extern "C"
