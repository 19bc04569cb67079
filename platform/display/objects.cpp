// The value objects' entries (areas, colours, errors, formats, keys, modes, palettes, timers),
// the preparation entry, the object tables and the counters of test_counters.h.
//
// The default format is 32-bit XRGB (masks 0xff0000, 0xff00, 0xff, alpha 0); 8 bits with every
// mask 0 is the indexed format. The default palette is the opaque grey ramp. A key keeps the
// integers it was made with. A timer's time is seconds from a monotonic clock since start(),
// 0 before the first start(). An error's report is its message on standard error, one line.
#include "platform/display/objects.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "platform/display/test_counters.h"
#include "platform/os/report.h"
#include "trelk/error.h"

namespace display {

int live_by_caller = 0;
int live_by_library = 0;
std::mutex registry_lock;

Pool<Rect> areas(Kind::area);
Pool<std::uint32_t> colors(Kind::color);
Pool<ErrorObject*, true> errors(Kind::error);
Pool<PixelFormat> formats(Kind::format);
Pool<KeyValue> keys(Kind::key);
Pool<ModeValue> modes(Kind::mode);
Pool<Palette> palettes(Kind::palette);
Pool<TimerValue> timers(Kind::timer);
Pool<Canvas*> surfaces(Kind::surface);
Pool<ConsoleCanvas*> consoles(Kind::console);

const char* kind_name(Kind kind) {
    switch (kind) {
        case Kind::area:
            return "area";
        case Kind::color:
            return "colour";
        case Kind::error:
            return "error";
        case Kind::format:
            return "format";
        case Kind::key:
            return "key";
        case Kind::mode:
            return "mode";
        case Kind::palette:
            return "palette";
        case Kind::timer:
            return "timer";
        case Kind::surface:
            return "surface";
        case Kind::console:
            return "console";
        case Kind::none:
            break;
    }
    return "unknown";
}

// The whole message, however long (a long path must not lose the reason after it); only when
// there is no memory for a long one is it cut to what fits the buffer on the stack
void fail(const char* format, ...) {
    char message[512];
    va_list arguments, again;
    va_start(arguments, format);
    va_copy(again, arguments);
    const int length = std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    if (length >= int(sizeof message)) {
        std::string whole;
        try {
            whole.resize(std::size_t(length) + 1);
        } catch (const std::bad_alloc&) {
            whole.clear();
        }
        if (!whole.empty()) {
            std::vsnprintf(&whole[0], whole.size(), format, again);
            va_end(again);
            throw trelk::DynamicError(whole.c_str());
        }
    }
    va_end(again);
    throw trelk::DynamicError(message);
}

void invalid_handle(trelk_handle handle, Kind expected) {
    const HandleValue bits = handle_bits(handle);
    const char* name = kind_name(expected);
    if (bits == 0) fail("invalid %s handle: null", name);
    if (!Handles::tagged(bits)) {
        fail("invalid %s handle: %p was not made by the display library", name, (void*)handle);
    }
    const Kind kind = Handles::kind(bits);
    if (kind != expected) {
        fail("invalid %s handle: %p is a %s handle", name, (void*)handle, kind_name(kind));
    }
    fail("invalid %s handle: %p was destroyed", name, (void*)handle);
}

void invalid_handle_of_either(trelk_handle handle, Kind expected, Kind other) {
    invalid_handle(handle, Handles::kind(handle_bits(handle)) == other ? other : expected);
}

Canvas& copy_target(trelk_handle target) {
    if (Canvas** surface = surfaces.find(target)) return **surface;
    if (ConsoleCanvas** console = consoles.find(target)) {
        if (!(*console)->open) fail("copy: the target console is not open");
        return (*console)->canvas;
    }
    invalid_handle_of_either(target, Kind::surface, Kind::console);
}

Image caller_image(const char* what, const void* pixels, int width, int height, int pitch,
                   trelk_handle format, trelk_handle palette) {
    const PixelFormat& f = formats.get(format);
    const Palette& p = palettes.get(palette);
    if (!pixels) fail("%s: null pixel buffer", what);
    if (width < 0 || height < 0 || width > max_dimension || height > max_dimension) {
        fail("%s: buffer size %dx%d is out of range (0 to %d pixels each way)", what, width, height,
             max_dimension);
    }
    if (pitch < width * f.bytes) {
        fail("%s: pitch %d is smaller than a row of %d pixels of %d bytes", what, pitch, width,
             f.bytes);
    }
    return Image{
        static_cast<std::uint8_t*>(const_cast<void*>(pixels)), width, height, pitch, &f, p.colors};
}

std::int64_t now_nanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void refuse_library_object(trelk_handle handle, Kind kind) {
    fail("cannot destroy %s %p: it belongs to the display library", kind_name(kind), (void*)handle);
}

// A DynamicError that nothing catches ends the program through std::terminate, whose own
// message names only the type. This handler writes the error's message first, as report()
// does, then hands over to the handler it replaced.
std::terminate_handler terminate_before_ours = nullptr;

[[noreturn]] void report_uncaught_error() {
    if (const std::exception_ptr pending = std::current_exception()) {
        try {
            std::rethrow_exception(pending);
        } catch (const trelk::DynamicError& error) {
            os::prepare_error_output();
            std::fputs("uncaught trelk::DynamicError: ", stderr);
            error.report();
        } catch (...) {
        }
    }
    if (terminate_before_ours) terminate_before_ours();
    std::abort();
}

}  // namespace display

using namespace display;

extern "C" {

namespace {
ErrorObject* spare_errors();  // with the errors, below
}  // namespace

// ---- preparation ----

// Called before every create entry; its one job is one-time set-up: the first call builds the
// default format and palette that every surface, console and palette starts from, and puts the
// handler of uncaught errors in place (every DynamicError's constructor comes here). Always 1.
int trelk_prepare(void) {
    // Once, whichever thread comes first; the others wait for it
    static const bool prepared = [] {
        default_format();
        default_palette();
        spare_errors();
        terminate_before_ours = std::set_terminate(report_uncaught_error);
        return true;
    }();
    static_cast<void>(prepared);
    return 1;
}

// ---- areas ----

trelk_handle trelk_area_create(int left, int top, int right, int bottom) {
    return create(areas, Rect{left, top, right, bottom});
}
void trelk_area_destroy(trelk_handle area) { destroy(areas, area, Kind::area); }
void trelk_area_copy(trelk_handle destination, trelk_handle source) {
    const Rect value = areas.get(source);
    areas.get(destination) = value;
}

// ---- colours ----

trelk_handle trelk_color_create(std::uint32_t argb) { return create(colors, argb); }
void trelk_color_destroy(trelk_handle color) { destroy(colors, color, Kind::color); }

// ---- errors ----
//
// An error must be made even when memory has run out, since that is often what it reports. A
// few error objects are kept aside for then, in static storage, the table of errors keeps its
// first 64 slots in itself, and a message that cannot be copied is cut to the room the object
// has or becomes "out of memory" (short enough to need no memory). What remains: with every
// spare in use, or with over 64 errors alive at once, no error can be made, and std::bad_alloc
// is all that can be thrown.

namespace {

constexpr int spare_error_count = 4;

constexpr std::size_t spare_message_room = 255;

// Made on first use (the preparation's) and never destroyed, so errors made during static
// destruction still work. Each has room for a message made while there was memory, so that
// what fails later is still told in full.
ErrorObject* spare_errors() {
    alignas(ErrorObject) static unsigned char storage[spare_error_count * sizeof(ErrorObject)];
    static ErrorObject* spares = [] {
        ErrorObject* made = new (storage) ErrorObject[spare_error_count];
        for (int i = 0; i < spare_error_count; ++i) {
            try {
                made[i].message.reserve(spare_message_room);
            } catch (const std::bad_alloc&) {
            }
        }
        return made;
    }();
    return spares;
}
std::atomic<bool> spare_in_use[spare_error_count];  // taken by any thread

ErrorObject* take_spare_error() {
    for (int i = 0; i < spare_error_count; ++i) {
        if (!spare_in_use[i].exchange(true)) return &spare_errors()[i];
    }
    return nullptr;
}

// Gives a spare back, or deletes an error made on the heap
void free_error(ErrorObject* error) {
    ErrorObject* spares = spare_errors();
    if (error >= spares && error < spares + spare_error_count) {
        error->message.clear();
        spare_in_use[error - spares] = false;
    } else {
        delete error;
    }
}

void set_message(ErrorObject* error, const char* message) {
    const char* text = message ? message : "";
    try {
        error->message = text;
    } catch (const std::bad_alloc&) {
        // As much as the room the object has (a spare's), else the reason alone: neither
        // allocates
        const std::size_t room = error->message.capacity();
        if (room >= 32)
            error->message.assign(text, std::min(room, std::strlen(text)));
        else
            error->message = "out of memory";
    }
}

// Above 1: the table of errors could not grow for the error saying so (on this thread)
thread_local int errors_being_made = 0;

}  // namespace

trelk_handle trelk_error_create(const char* message) {
    if (errors_being_made > 1) throw std::bad_alloc();
    ErrorObject* error = new (std::nothrow) ErrorObject;
    if (!error) error = take_spare_error();
    if (!error) throw std::bad_alloc();
    set_message(error, message);
    ++errors_being_made;
    try {
        const trelk_handle handle = create(errors, error);
        --errors_being_made;
        return handle;
    } catch (...) {
        --errors_being_made;
        free_error(error);
        throw;
    }
}
void trelk_error_destroy(trelk_handle error) { free_error(destroy(errors, error, Kind::error)); }

// The message on one line of standard error; line breaks inside it become spaces
void trelk_error_report(trelk_handle error) {
    const std::string& message = errors.get(error)->message;
    os::prepare_error_output();
    // Written piece by piece rather than from an edited copy: reporting must not need memory
    std::size_t start = 0;
    while (start < message.size()) {
        const std::size_t end = std::min(message.find_first_of("\n\r", start), message.size());
        std::fwrite(message.data() + start, 1, end - start, stderr);
        if (end < message.size()) std::fputc(' ', stderr);
        start = end + 1;
    }
    std::fputc('\n', stderr);
    std::fflush(stderr);
    os::show_error(message.c_str());  // where there may be no standard error to read
}

void trelk_error_copy(trelk_handle destination, trelk_handle source) {
    ErrorObject* from = errors.get(source);
    ErrorObject* to = errors.get(destination);
    if (from != to) set_message(to, from->message.c_str());
}

// The text lives in the error object, which does not move while the handle lives
const char* trelk_error_message(trelk_handle error) { return errors.get(error)->message.c_str(); }

// ---- formats ----

trelk_handle trelk_format_create(void) { return create(formats, default_format()); }

trelk_handle trelk_format_create_direct(int bits, std::uint32_t red, std::uint32_t green,
                                        std::uint32_t blue, std::uint32_t alpha) {
    PixelFormat format;
    const char* reason = "";
    if (!make_format(bits, red, green, blue, alpha, &format, &reason)) {
        fail("unknown pixel format (%d bits, masks %#x %#x %#x %#x): %s", bits, red, green, blue,
             alpha, reason);
    }
    return create(formats, format);
}
void trelk_format_destroy(trelk_handle format) { destroy(formats, format, Kind::format); }
void trelk_format_copy(trelk_handle destination, trelk_handle source) {
    const PixelFormat value = formats.get(source);
    formats.get(destination) = value;
}

// ---- keys: the integers as given; read() fills alt, shift, control as 0 or 1 ----

trelk_handle trelk_key_create(int code, int modifier1, int modifier2, int modifier3) {
    return create(keys, KeyValue{code, modifier1, modifier2, modifier3});
}
void trelk_key_destroy(trelk_handle key) { destroy(keys, key, Kind::key); }
int trelk_key_code(trelk_handle key) { return keys.get(key).code; }
int trelk_key_modifier1(trelk_handle key) { return keys.get(key).modifier1; }
int trelk_key_modifier2(trelk_handle key) { return keys.get(key).modifier2; }
int trelk_key_modifier3(trelk_handle key) { return keys.get(key).modifier3; }

// ---- modes: a new mode is the invalid one that ends a mode list ----

trelk_handle trelk_mode_create(void) { return create(modes, ModeValue{}); }
void trelk_mode_destroy(trelk_handle mode) { destroy(modes, mode, Kind::mode); }
int trelk_mode_valid(trelk_handle mode) { return mode_valid(modes.get(mode)) ? 1 : 0; }
void trelk_mode_copy(trelk_handle destination, trelk_handle source) {
    const ModeValue value = modes.get(source);
    modes.get(destination) = value;
}

// ---- palettes ----

trelk_handle trelk_palette_create(void) { return create(palettes, default_palette()); }
void trelk_palette_destroy(trelk_handle palette) { destroy(palettes, palette, Kind::palette); }
void trelk_palette_copy(trelk_handle destination, trelk_handle source) {
    const Palette& from = palettes.get(source);
    Palette& to = palettes.get(destination);
    if (&from != &to) to = from;
}

// ---- timers ----

trelk_handle trelk_timer_create(void) { return create(timers, TimerValue{}); }
void trelk_timer_destroy(trelk_handle timer) { destroy(timers, timer, Kind::timer); }
void trelk_timer_start(trelk_handle timer) {
    TimerValue& value = timers.get(timer);
    value.start = now_nanoseconds();
    value.started = true;
}
double trelk_timer_time(trelk_handle timer) {
    const TimerValue& value = timers.get(timer);
    if (!value.started) return 0.0;
    return double(now_nanoseconds() - value.start) * 1e-9;
}

// ---- trelk/display.h and test_counters.h ----

int trelk_display_live_objects(void) {
    std::lock_guard<std::mutex> hold(registry_lock);
    return live_by_caller;
}
int trelk_display_library_objects(void) {
    std::lock_guard<std::mutex> hold(registry_lock);
    return live_by_library;
}

void trelk_display_palette_set(trelk_handle palette, const std::uint32_t argb[256]) {
    Palette& to = palettes.get(palette);
    if (!argb) fail("palette colours: null buffer");
    std::memcpy(to.colors, argb, sizeof to.colors);
}

void trelk_display_palette_get(trelk_handle palette, std::uint32_t argb[256]) {
    const Palette& from = palettes.get(palette);
    if (!argb) fail("palette colours: null buffer");
    std::memcpy(argb, from.colors, sizeof from.colors);
}

void trelk_display_area_values(trelk_handle area, int values[4]) {
    const Rect& r = areas.get(area);
    if (!values) fail("area values: null buffer");
    values[0] = r.left;
    values[1] = r.top;
    values[2] = r.right;
    values[3] = r.bottom;
}

int trelk_display_format_values(trelk_handle format, std::uint32_t masks[4]) {
    const PixelFormat& f = formats.get(format);
    if (!masks) fail("format values: null buffer");
    for (int c = 0; c < 4; ++c) masks[c] = f.mask[c];
    return f.bits;
}

void trelk_display_mode_size(trelk_handle mode, int* width, int* height) {
    const ModeValue& m = modes.get(mode);
    if (!width || !height) fail("mode size: null buffer");
    *width = m.width;
    *height = m.height;
}

}  // extern "C"
