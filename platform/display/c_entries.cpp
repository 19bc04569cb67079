// The entries as a C program calls them (trelk/c_entries.h renames its calls to these): each
// runs the entry and, where it throws, keeps the message for trelk_last_error(), hands it to
// the program's error handler, and returns a neutral value (null, 0, 0.0, nothing), having
// changed nothing. No exception ever leaves these functions, so none unwinds through C frames.
// The default handler, when the program set none, writes the message on one line of standard
// error, as an error's report does, and ends the program with status 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>

#include "platform/os/report.h"
#include "trelk/display.h"
#include "trelk/error.h"
#include "trelk/graphics.h"
#include "trelk/input.h"
#include "trelk/library.h"

namespace {

std::mutex handler_lock;
trelk_error_handler handler = nullptr;
void* handler_context = nullptr;

// The latest failure of this thread: its text, or null when there is none. The room is fixed,
// so keeping a message never allocates: a thread-local string would make the C library
// allocate for its destructor on the thread's first failure, and end the process when memory
// has run out. A longer message is cut after its last whole UTF-8 character that fits.
constexpr std::size_t last_room = 1024;
thread_local char last_text[last_room];
thread_local const char* last = nullptr;

void keep(const char* message) noexcept {
    std::size_t length = std::strlen(message);
    if (length >= last_room) {
        length = last_room - 1;
        while (length > 0 && (static_cast<unsigned char>(message[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(last_text, message, length);
    last_text[length] = '\0';
    last = last_text;
}

// Called from a catch block: keeps the text of the exception being handled
void keep_current() noexcept {
    try {
        throw;
    } catch (const trelk::DynamicError& error) {
        keep(error.message());
    } catch (const std::bad_alloc&) {
        keep("out of memory");
    } catch (const std::exception& error) {
        keep(error.what());
    } catch (...) {
        keep("unknown error");
    }
}

// Outside any catch block, so that a handler that longjmps away leaves no exception behind
void report_kept() {
    trelk_error_handler call;
    void* context;
    {
        std::lock_guard<std::mutex> hold(handler_lock);
        call = handler;
        context = handler_context;
    }
    if (call) {
        call(last, context);
        return;
    }
    os::prepare_error_output();
    for (const char* c = last; *c; ++c) std::fputc(*c == '\n' || *c == '\r' ? ' ' : *c, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    os::show_error(last);  // where there may be no standard error to read
    std::exit(1);
}

template <class Result, class Entry>
Result guarded(Entry entry) noexcept {
    try {
        return entry();
    } catch (...) {
        keep_current();
    }
    report_kept();
    return Result();
}

}  // namespace

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

extern "C" {

void trelk_set_error_handler(trelk_error_handler function, void* context) {
    std::lock_guard<std::mutex> hold(handler_lock);
    handler = function;
    handler_context = context;
}

const char* trelk_last_error(void) { return last; }

void trelk_clear_error(void) { last = nullptr; }

#define C_ENTRY(result, name, params, args)                        \
    result trelk_c_##name params {                                 \
        return guarded<result>([&] { return trelk_##name args; }); \
    }

// clang-format off
C_ENTRY(trelk_handle, area_create, (int left, int top, int right, int bottom), (left, top, right, bottom))
C_ENTRY(void, area_destroy, (trelk_handle area), (area))
C_ENTRY(void, area_copy, (trelk_handle destination, trelk_handle source), (destination, source))
C_ENTRY(trelk_handle, console_create, (void), ())
C_ENTRY(void, console_destroy, (trelk_handle console), (console))
C_ENTRY(int, console_entry32, (trelk_handle console, int value), (console, value))
C_ENTRY(int, console_option, (trelk_handle console, const char* option), (console, option))
C_ENTRY(trelk_handle, console_mode, (trelk_handle console, int index), (console, index))
C_ENTRY(void, console_open, (trelk_handle console, const char* title, int extra), (console, title, extra))
C_ENTRY(void, console_open_format, (trelk_handle console, const char* title, trelk_handle format, int extra), (console, title, format, extra))
C_ENTRY(void, console_open_size, (trelk_handle console, const char* title, int width, int height, trelk_handle format, int extra), (console, title, width, height, format, extra))
C_ENTRY(void, console_open_mode, (trelk_handle console, const char* title, trelk_handle mode, int extra), (console, title, mode, extra))
C_ENTRY(void, console_close, (trelk_handle console), (console))
C_ENTRY(int, console_entry40, (trelk_handle console), (console))
C_ENTRY(int, console_entry41, (trelk_handle console), (console))
C_ENTRY(void, console_update, (trelk_handle console), (console))
C_ENTRY(void, console_update_area, (trelk_handle console, trelk_handle area), (console, area))
C_ENTRY(int, console_key, (trelk_handle console), (console))
C_ENTRY(void, console_read, (trelk_handle console, trelk_handle key), (console, key))
C_ENTRY(void, console_copy, (trelk_handle console, trelk_handle target), (console, target))
C_ENTRY(void, console_copy_area, (trelk_handle console, trelk_handle target, trelk_handle source, trelk_handle destination), (console, target, source, destination))
C_ENTRY(void*, console_lock, (trelk_handle console), (console))
C_ENTRY(void, console_unlock, (trelk_handle console), (console))
C_ENTRY(void, console_load, (trelk_handle console, const void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette), (console, pixels, width, height, pitch, format, palette))
C_ENTRY(void, console_load_area, (trelk_handle console, const void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette, trelk_handle source, trelk_handle destination), (console, pixels, width, height, pitch, format, palette, source, destination))
C_ENTRY(void, console_save, (trelk_handle console, void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette), (console, pixels, width, height, pitch, format, palette))
C_ENTRY(void, console_save_area, (trelk_handle console, void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette, trelk_handle source, trelk_handle destination), (console, pixels, width, height, pitch, format, palette, source, destination))
C_ENTRY(void, console_clear, (trelk_handle console), (console))
C_ENTRY(void, console_clear_color, (trelk_handle console, trelk_handle color), (console, color))
C_ENTRY(void, console_clear_color_area, (trelk_handle console, trelk_handle color, trelk_handle area), (console, color, area))
C_ENTRY(void, console_set_palette, (trelk_handle console, trelk_handle palette), (console, palette))
C_ENTRY(trelk_handle, console_palette, (trelk_handle console), (console))
C_ENTRY(void, console_set_clip, (trelk_handle console, trelk_handle area), (console, area))
C_ENTRY(int, console_width, (trelk_handle console), (console))
C_ENTRY(int, console_height, (trelk_handle console), (console))
C_ENTRY(int, console_entry62, (trelk_handle console), (console))
C_ENTRY(int, console_pitch, (trelk_handle console), (console))
C_ENTRY(trelk_handle, console_area, (trelk_handle console), (console))
C_ENTRY(trelk_handle, console_clip, (trelk_handle console), (console))
C_ENTRY(trelk_handle, console_format, (trelk_handle console), (console))
C_ENTRY(int, console_entry67, (trelk_handle console), (console))
C_ENTRY(int, console_entry68, (trelk_handle console), (console))
C_ENTRY(int, console_entry69, (trelk_handle console), (console))
C_ENTRY(void, console_open_alternate, (trelk_handle console, const char* title, int extra), (console, title, extra))
C_ENTRY(void, console_open_alternate_format, (trelk_handle console, const char* title, trelk_handle format, int extra), (console, title, format, extra))
C_ENTRY(void, console_open_alternate_size, (trelk_handle console, const char* title, int width, int height, trelk_handle format, int extra), (console, title, width, height, format, extra))
C_ENTRY(void, console_open_alternate_mode, (trelk_handle console, const char* title, trelk_handle mode, int extra), (console, title, mode, extra))
C_ENTRY(int, console_entry74, (trelk_handle console), (console))
C_ENTRY(int, console_entry75, (trelk_handle console), (console))
C_ENTRY(int, console_entry76, (trelk_handle console), (console))
C_ENTRY(int, console_entry77, (trelk_handle console), (console))
C_ENTRY(int, console_entry78, (trelk_handle console), (console))
C_ENTRY(int, console_entry79, (trelk_handle console), (console))
C_ENTRY(trelk_handle, error_create, (const char* message), (message))
C_ENTRY(void, error_destroy, (trelk_handle error), (error))
C_ENTRY(void, error_report, (trelk_handle error), (error))
C_ENTRY(void, error_copy, (trelk_handle destination, trelk_handle source), (destination, source))
C_ENTRY(const char*, error_message, (trelk_handle error), (error))
C_ENTRY(trelk_handle, format_create, (void), ())
C_ENTRY(trelk_handle, format_create_direct, (int bits, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha), (bits, red, green, blue, alpha))
C_ENTRY(void, format_destroy, (trelk_handle format), (format))
C_ENTRY(void, format_copy, (trelk_handle destination, trelk_handle source), (destination, source))
C_ENTRY(trelk_handle, key_create, (int code, int modifier1, int modifier2, int modifier3), (code, modifier1, modifier2, modifier3))
C_ENTRY(void, key_destroy, (trelk_handle key), (key))
C_ENTRY(int, key_code, (trelk_handle key), (key))
C_ENTRY(int, key_modifier1, (trelk_handle key), (key))
C_ENTRY(int, key_modifier2, (trelk_handle key), (key))
C_ENTRY(int, key_modifier3, (trelk_handle key), (key))
C_ENTRY(trelk_handle, mode_create, (void), ())
C_ENTRY(void, mode_destroy, (trelk_handle mode), (mode))
C_ENTRY(int, mode_valid, (trelk_handle mode), (mode))
C_ENTRY(void, mode_copy, (trelk_handle destination, trelk_handle source), (destination, source))
C_ENTRY(trelk_handle, palette_create, (void), ())
C_ENTRY(void, palette_destroy, (trelk_handle palette), (palette))
C_ENTRY(void, palette_copy, (trelk_handle destination, trelk_handle source), (destination, source))
C_ENTRY(trelk_handle, surface_create, (int width, int height, trelk_handle format), (width, height, format))
C_ENTRY(void, surface_destroy, (trelk_handle surface), (surface))
C_ENTRY(void, surface_copy, (trelk_handle surface, trelk_handle target), (surface, target))
C_ENTRY(void, surface_copy_area, (trelk_handle surface, trelk_handle target, trelk_handle source, trelk_handle destination), (surface, target, source, destination))
C_ENTRY(void*, surface_lock, (trelk_handle surface), (surface))
C_ENTRY(void, surface_unlock, (trelk_handle surface), (surface))
C_ENTRY(void, surface_load, (trelk_handle surface, const void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette), (surface, pixels, width, height, pitch, format, palette))
C_ENTRY(void, surface_load_area, (trelk_handle surface, const void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette, trelk_handle source, trelk_handle destination), (surface, pixels, width, height, pitch, format, palette, source, destination))
C_ENTRY(void, surface_save, (trelk_handle surface, void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette), (surface, pixels, width, height, pitch, format, palette))
C_ENTRY(void, surface_save_area, (trelk_handle surface, void* pixels, int width, int height, int pitch, trelk_handle format, trelk_handle palette, trelk_handle source, trelk_handle destination), (surface, pixels, width, height, pitch, format, palette, source, destination))
C_ENTRY(void, surface_clear, (trelk_handle surface), (surface))
C_ENTRY(void, surface_clear_color, (trelk_handle surface, trelk_handle color), (surface, color))
C_ENTRY(void, surface_clear_color_area, (trelk_handle surface, trelk_handle color, trelk_handle area), (surface, color, area))
C_ENTRY(void, surface_set_palette, (trelk_handle surface, trelk_handle palette), (surface, palette))
C_ENTRY(trelk_handle, surface_palette, (trelk_handle surface), (surface))
C_ENTRY(void, surface_set_clip, (trelk_handle surface, trelk_handle area), (surface, area))
C_ENTRY(int, surface_width, (trelk_handle surface), (surface))
C_ENTRY(int, surface_height, (trelk_handle surface), (surface))
C_ENTRY(int, surface_pitch, (trelk_handle surface), (surface))
C_ENTRY(trelk_handle, surface_area, (trelk_handle surface), (surface))
C_ENTRY(trelk_handle, surface_clip, (trelk_handle surface), (surface))
C_ENTRY(trelk_handle, surface_format, (trelk_handle surface), (surface))
C_ENTRY(int, surface_option, (trelk_handle surface, const char* option), (surface, option))
C_ENTRY(trelk_handle, timer_create, (void), ())
C_ENTRY(void, timer_destroy, (trelk_handle timer), (timer))
C_ENTRY(void, timer_start, (trelk_handle timer), (timer))
C_ENTRY(double, timer_time, (trelk_handle timer), (timer))
C_ENTRY(int, prepare, (void), ())
C_ENTRY(trelk_handle, color_create, (uint32_t argb), (argb))
C_ENTRY(void, color_destroy, (trelk_handle color), (color))
C_ENTRY(void, display_palette_set, (trelk_handle palette, const uint32_t colors[256]), (palette, colors))
C_ENTRY(void, display_palette_get, (trelk_handle palette, uint32_t colors[256]), (palette, colors))
C_ENTRY(void, display_area_values, (trelk_handle area, int values[4]), (area, values))
C_ENTRY(int, display_format_values, (trelk_handle format, uint32_t masks[4]), (format, masks))
C_ENTRY(void, display_mode_size, (trelk_handle mode, int* width, int* height), (mode, width, height))
C_ENTRY(int, display_key_held, (trelk_handle console, int code), (console, code))
C_ENTRY(void, draw_line, (trelk_handle target, int x0, int y0, int x1, int y1, uint32_t argb), (target, x0, y0, x1, y1, argb))
C_ENTRY(void, draw_rect, (trelk_handle target, int left, int top, int right, int bottom, uint32_t argb), (target, left, top, right, bottom, argb))
C_ENTRY(void, draw_circle, (trelk_handle target, int x, int y, int radius, uint32_t argb), (target, x, y, radius, argb))
C_ENTRY(void, draw_fill_circle, (trelk_handle target, int x, int y, int radius, uint32_t argb), (target, x, y, radius, argb))
C_ENTRY(void, draw_text, (trelk_handle target, int x, int y, const char* text, uint32_t foreground), (target, x, y, text, foreground))
C_ENTRY(void, draw_text_on, (trelk_handle target, int x, int y, const char* text, uint32_t foreground, uint32_t background), (target, x, y, text, foreground, background))
C_ENTRY(void, text_size, (const char* text, int* width, int* height), (text, width, height))
C_ENTRY(trelk_handle, image_load, (const char* file, trelk_handle format), (file, format))
C_ENTRY(void, image_save, (trelk_handle source, const char* file), (source, file))
C_ENTRY(int, input_mouse, (trelk_handle console, int* x, int* y, int* buttons), (console, x, y, buttons))
C_ENTRY(int, input_mouse_event, (trelk_handle console, trelk_mouse_event* event), (console, event))
C_ENTRY(int, input_text, (trelk_handle console, char* text, int size), (console, text, size))
// clang-format on

}  // extern "C"

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
