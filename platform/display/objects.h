// The library's objects: the values its tables hold, the pixels of surfaces and consoles
// (Canvas), and the operations that surfaces and consoles share. Entries resolve and check all
// their handles first (with the tables here, copy_target and caller_image), then call the
// canvas operations, which take plain values and know no handles; nothing changes before
// every argument has been checked.
#ifndef PLATFORM_DISPLAY_OBJECTS_H
#define PLATFORM_DISPLAY_OBJECTS_H

#include <cstdint>
#include <string>

#include "platform/display/pixels.h"
#include "platform/display/registry.h"

namespace display {

struct KeyValue {
    int code = 0;                                     // see the key codes in trelk/keys.h
    int modifier1 = 0, modifier2 = 0, modifier3 = 0;  // alt, shift, control: 1 when held
};

// A display mode: a size, a refresh rate (0: unknown) and a format. The default one, of size
// 0 x 0, is invalid: it ends a mode list.
struct ModeValue {
    int width = 0, height = 0, refresh = 0;
    PixelFormat format;
};

inline bool mode_valid(const ModeValue& mode) {
    return mode.width > 0 && mode.height > 0 && mode.format.bits > 0;
}

struct TimerValue {
    std::int64_t start = 0;  // steady-clock nanoseconds at start()
    bool started = false;
};

struct ErrorObject {
    std::string message;
};

// Pixels that the library owns: a surface, or a console while it is open. Rows are exactly
// width * bytes apart; the address never changes while the pixels live. The four handles are
// what the getters hand out: library-owned objects made with the canvas and overwritten by
// each getter call, so no getter allocates.
struct Canvas {
    std::uint8_t* pixels = nullptr;
    int width = 0, height = 0, pitch = 0;
    PixelFormat format;
    Palette palette;
    Rect clip;  // normalised and inside the canvas; every copy, load and clear stays in it
    // What lock(), width() and unlock() read and change, in types that a program's pixel store
    // (an integer of 32 bits or fewer) cannot alias, nor the tables' slots (unsigned long long),
    // so a loop of lock, width, store, unlock keeps them and the slot in registers. A pointer
    // would not do: compilers let a store through any pointer type alias the tables' pointers.
    long locks = 0;
    long row_width = 0;         // width again, for width()
    std::uintptr_t holder = 0;  // the thread that holds the lock (this_thread()), while locks > 0
    trelk_handle area_handle = nullptr;
    trelk_handle clip_handle = nullptr;
    trelk_handle format_handle = nullptr;
    trelk_handle palette_handle = nullptr;
};

// A console as the rest of the library sees it, a drawing target while open; the console's
// own state (console.cpp) extends it
struct ConsoleCanvas {
    Canvas canvas;  // pixels while open; format and palette also while closed
    bool open = false;
};

extern Pool<Rect> areas;
extern Pool<std::uint32_t> colors;
// Errors are made also when memory has run out: the first of them need no memory for a slot
extern Pool<ErrorObject*, true> errors;
extern Pool<PixelFormat> formats;
extern Pool<KeyValue> keys;
extern Pool<ModeValue> modes;
extern Pool<Palette> palettes;
extern Pool<TimerValue> timers;
extern Pool<Canvas*> surfaces;
extern Pool<ConsoleCanvas*> consoles;

std::int64_t now_nanoseconds();  // steady clock

// A create entry's object: the caller's to destroy
template <class T, bool kept>
trelk_handle create(Pool<T, kept>& pool, const T& value) {
    return pool.add(value, Owner::caller);
}

// A destroy entry: frees the slot and gives back the value; the objects that getters hand out
// are the library's and cannot be destroyed by a caller
template <class T, bool kept>
T destroy(Pool<T, kept>& pool, trelk_handle handle, Kind kind) {
    static_cast<void>(kind);
    return pool.remove(handle, Owner::caller);
}

// ---- canvases (canvas.cpp) ----

// Makes the getter objects of a canvas; throws leaving nothing behind
void canvas_make_handles(Canvas& canvas);
void canvas_free_handles(Canvas& canvas);
// Allocates zeroed (black) pixels of a checked size; throws leaving the canvas as it was
void canvas_allocate(Canvas& canvas, int width, int height, const PixelFormat& format,
                     const char* what);
void canvas_free_pixels(Canvas& canvas);
Image canvas_image(Canvas& canvas);

// ---- an entry's handles, resolved and checked ----

// The target of a copy: a surface, or an open console
Canvas& copy_target(trelk_handle target);
// A caller's pixel buffer, checked: the only one of our images whose size we cannot see, so
// everything that can be checked is
Image caller_image(const char* what, const void* pixels, int width, int height, int pitch,
                   trelk_handle format, trelk_handle palette);

// ---- what surfaces and consoles share (canvas.cpp): plain values only ----

inline Rect whole(const Image& image) { return Rect{0, 0, image.width, image.height}; }
// Copies an area of one canvas onto an area of another (or the same), scaled when the sizes
// differ, within the target's clip
void canvas_copy(Canvas& from, Rect source, Canvas& to, Rect destination);
// From and into a caller's buffer; a load stays within the clip, a save writes all it is given
void canvas_load(Canvas& canvas, const Image& from, Rect source, Rect destination);
void canvas_save(Canvas& canvas, const Image& to, Rect source, Rect destination);
// Sets the pixels of an area within the clip: to 0, or to a colour 0xAARRGGBB when given
void canvas_clear(Canvas& canvas, Rect area, const std::uint32_t* color);
inline void canvas_set_palette(Canvas& canvas, const Palette& palette) { canvas.palette = palette; }
inline void canvas_set_clip(Canvas& canvas, Rect area) {
    canvas.clip = clip_to(normalise(area), canvas.width, canvas.height);
}

// This thread, as a value to compare: the address of a thread-local object
#if defined(__GNUC__) && !defined(__EMSCRIPTEN__)
#define DISPLAY_TLS_MODEL __attribute__((tls_model("initial-exec")))
#else
#define DISPLAY_TLS_MODEL
#endif
inline std::uintptr_t this_thread() {
    static thread_local char marker DISPLAY_TLS_MODEL;
    return reinterpret_cast<std::uintptr_t>(&marker);
}

// Any thread may lock pixels that no other thread holds locked; the lock may nest on its thread.
// The holder is checked without atomic operations (they would cost more than the pixel):
// pixels that two threads use at once without the program ordering them are the program's
// error, reported when one of them finds the other holding the lock.
[[noreturn]] DISPLAY_COLD void held_by_another_thread(const char* what);
inline std::uint8_t* canvas_lock(Canvas& canvas) {
    const std::uintptr_t self = this_thread();
    // The count never goes below 0 (an unlock at 0 is refused). Said to the compiler, an unlock
    // inlined after this lock knows the count is above 0 and drops its own check of it.
#if defined(__GNUC__)
    if (canvas.locks < 0) __builtin_unreachable();
#endif
    if (canvas.locks != 0 && canvas.holder != self) held_by_another_thread("lock");
    canvas.holder = self;
    ++canvas.locks;
    return canvas.pixels;
}
// Why an unlock is refused: the pixels are not locked, or another thread holds them (out of
// line, so that an unlock inlined into a per-pixel loop stays small enough to be inlined)
[[noreturn]] DISPLAY_COLD void unlock_refused(const Canvas& canvas);
inline void canvas_unlock(Canvas& canvas) {
    if (canvas.locks == 0 || canvas.holder != this_thread()) unlock_refused(canvas);
    --canvas.locks;
}
// For the operations that change or free the pixels: refused while another thread holds them
inline void canvas_check_holder(const Canvas& canvas, const char* what) {
    if (canvas.locks != 0 && canvas.holder != this_thread()) held_by_another_thread(what);
}
trelk_handle canvas_area(Canvas& canvas);
trelk_handle canvas_clip(Canvas& canvas);
trelk_handle canvas_format(Canvas& canvas);
trelk_handle canvas_palette(Canvas& canvas);
// The options both surfaces and consoles answer: "indexed", "alpha", "locked"; -1 for others
int canvas_option(const Canvas& canvas, const char* option);

}  // namespace display

#endif
