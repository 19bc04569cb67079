/// @file
/// The display library's C entries: the only way the object layer reaches windows, pixels,
/// keyboard and timers. Every entry carries its export number (the number tells the entries
/// apart; our library exports them by name) and its role. Every library object is an opaque
/// pointer-sized handle made by a create entry and ended by a destroy entry. A boolean comes
/// back as int: 1 is true, every other value false (the mode-validity entry alone means "valid"
/// for any non-zero value). An entry reports a failure by throwing trelk::DynamicError
/// (trelk/error.h); the layer tests no result.
///
/// The header is valid C as well as C++.
///
/// Errors in C: no exception ever reaches a C program. Compiled as C, this header sends every
/// call of an entry (and of trelk/display.h's functions) to a twin (trelk/c_entries.h) that
/// catches the failure instead. The entry then has changed nothing; its message is kept for
/// trelk_last_error() on the calling thread and passed to the error handler that
/// trelk_set_error_handler() installed. If that handler returns, the entry returns a neutral
/// value: a null handle or pointer, 0, or 0.0. Without a handler, the message is written to
/// standard error as one line and the program ends with exit status 1 (atexit functions run, the
/// terminal is restored). So a C program either lets any misuse end it with a reason, or installs
/// a handler and checks trelk_last_error() after the calls it cares about:
///
///     static void note(const char* message, void* context) { (void)message; (void)context; }
///     ...
///     trelk_set_error_handler(note, NULL);
///     trelk_clear_error();
///     trelk_handle surface = trelk_surface_create(width, height, format);
///     if (trelk_last_error()) fprintf(stderr, "no surface: %s\n", trelk_last_error());
///
/// A handler may also end the program or jump away with longjmp(); it is called outside any C++
/// exception handling. C++ code calls the entries themselves, which throw trelk::DynamicError.
///
/// Pixels: the default format (entry 94) is 32 bits a pixel, red mask 0xff0000, green 0xff00,
/// blue 0xff, alpha 0: read as a native 32-bit word (uint32_t, little-endian on every machine we
/// build for), a pixel is 0x00RRGGBB, so its bytes in memory are blue, green, red, unused. Rows
/// are pitch bytes apart (entries 63 and 152); the pixel (x, y) of a locked console or surface
/// is at byte y * pitch + x * 4. A 24-bit format with the same masks is three bytes a pixel,
/// blue, green, red. Colours (the colour entries and trelk/display.h) are 0xAARRGGBB.
///
/// Threads: any thread may create, use and destroy objects, each thread its own at the same
/// time as the others; creating and destroying take a lock inside the library, the other
/// entries none (lock, width and unlock cost a few instructions, as on one thread). One object
/// is used by one thread at a time: a program that hands an object to another thread orders
/// the two itself (a mutex, a join). The library catches what it can of two threads on one
/// object: while one thread holds a surface's or console's pixels locked, the others' lock,
/// unlock, copy onto it, load, clear, close and destroy are refused with "...: the pixels are
/// locked by another thread". Other uses of one object from two threads at once are the
/// program's error; destroying an object that another thread is using is undefined, as for any
/// C++ object. Consoles are opened, updated, read and closed on one thread, the same for every
/// console of the program (the window, the keyboard and Ctrl-C are the program's, not a
/// console's); their pixels, like a surface's, may be drawn by any thread that locks them.
#ifndef TRELK_LIBRARY_H
#define TRELK_LIBRARY_H

#include <stdint.h>

/// Opaque library object; null is never a live object
typedef struct trelk_object* trelk_handle;

/// A C program's error handler: the failed entry's message (valid until the thread's next
/// failure or trelk_clear_error()) and the context given with the handler
typedef void (*trelk_error_handler)(const char* message, void* context);

#include "c_entries.h"

// The shared display library shows these functions and hides everything else
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// One entry a line, its number and role aligned in a column
// clang-format off

// Areas: four signed ints, left, top, right, bottom
trelk_handle trelk_area_create(int left, int top, int right, int bottom);  ///< 1 create area
void trelk_area_destroy(trelk_handle area);                                 ///< 2 destroy area
void trelk_area_copy(trelk_handle destination, trelk_handle source);        ///< 9 copy area into area

// Console: the display window, a drawing target like a surface
trelk_handle trelk_console_create(void);                                            ///< 30 create console
void trelk_console_destroy(trelk_handle console);                                   ///< 31 destroy console
int trelk_console_entry32(trelk_handle console, int value);                        ///< 32 query: gives value back unchanged once the console is found live
int trelk_console_option(trelk_handle console, const char* option);                 ///< 33 console option, boolean
trelk_handle trelk_console_mode(trelk_handle console, int index);                   ///< 34 library's mode number index
void trelk_console_open(trelk_handle console, const char* title, int extra);        ///< 35 open the window
void trelk_console_open_format(trelk_handle console, const char* title,
                               trelk_handle format, int extra);                     ///< 36 open with a format
void trelk_console_open_size(trelk_handle console, const char* title, int width, int height,
                             trelk_handle format, int extra);                       ///< 37 open at a size with a format
void trelk_console_open_mode(trelk_handle console, const char* title, trelk_handle mode,
                             int extra);                                            ///< 38 open in a display mode
void trelk_console_close(trelk_handle console);                                     ///< 39 close the window
int trelk_console_entry40(trelk_handle console);                                    ///< 40 query: 1 while the console is open
int trelk_console_entry41(trelk_handle console);                                    ///< 41 query: frames presented since open (at most 2147483647)
void trelk_console_update(trelk_handle console);                                    ///< 42 present the console
void trelk_console_update_area(trelk_handle console, trelk_handle area);            ///< 43 present one area
int trelk_console_key(trelk_handle console);                                        ///< 44 has a key been pressed, boolean
void trelk_console_read(trelk_handle console, trelk_handle key);                    ///< 45 read a key into a key object
void trelk_console_copy(trelk_handle console, trelk_handle target);                 ///< 46 copy console pixels to a surface
void trelk_console_copy_area(trelk_handle console, trelk_handle target,
                             trelk_handle source, trelk_handle destination);        ///< 47 copy, source area scaled into destination area
void* trelk_console_lock(trelk_handle console);                                     ///< 48 lock pixels, gives the pixel address
void trelk_console_unlock(trelk_handle console);                                    ///< 49 unlock pixels
void trelk_console_load(trelk_handle console, const void* pixels, int width, int height,
                        int pitch, trelk_handle format, trelk_handle palette);      ///< 50 load caller's pixels
void trelk_console_load_area(trelk_handle console, const void* pixels, int width, int height,
                             int pitch, trelk_handle format, trelk_handle palette,
                             trelk_handle source, trelk_handle destination);        ///< 51 load caller's pixels, with areas
void trelk_console_save(trelk_handle console, void* pixels, int width, int height, int pitch,
                        trelk_handle format, trelk_handle palette);                 ///< 52 save into caller's pixels
void trelk_console_save_area(trelk_handle console, void* pixels, int width, int height,
                             int pitch, trelk_handle format, trelk_handle palette,
                             trelk_handle source, trelk_handle destination);        ///< 53 save, with areas
void trelk_console_clear(trelk_handle console);                                     ///< 54 clear to the default colour
void trelk_console_clear_color(trelk_handle console, trelk_handle color);           ///< 55 clear to a colour
void trelk_console_clear_color_area(trelk_handle console, trelk_handle color,
                                    trelk_handle area);                             ///< 56 clear an area to a colour
void trelk_console_set_palette(trelk_handle console, trelk_handle palette);         ///< 57 set the palette
trelk_handle trelk_console_palette(trelk_handle console);                           ///< 58 get the palette (library-owned)
void trelk_console_set_clip(trelk_handle console, trelk_handle area);               ///< 59 set the clip area
int trelk_console_width(trelk_handle console);                                      ///< 60 width in pixels
int trelk_console_height(trelk_handle console);                                     ///< 61 height in pixels
int trelk_console_entry62(trelk_handle console);                                    ///< 62 query: bits per pixel while open, else 0
int trelk_console_pitch(trelk_handle console);                                      ///< 63 bytes per row
trelk_handle trelk_console_area(trelk_handle console);                              ///< 64 get the full area (library-owned)
trelk_handle trelk_console_clip(trelk_handle console);                              ///< 65 get the clip area (library-owned)
trelk_handle trelk_console_format(trelk_handle console);                            ///< 66 get the pixel format (library-owned)
int trelk_console_entry67(trelk_handle console);                                    ///< 67 query: keys waiting to be read
int trelk_console_entry68(trelk_handle console);                                    ///< 68 query: 1 when open and a quit was asked for
int trelk_console_entry69(trelk_handle console);                                    ///< 69 query: number of display modes
void trelk_console_open_alternate(trelk_handle console, const char* title, int extra);  ///< 70 alternate open
void trelk_console_open_alternate_format(trelk_handle console, const char* title,
                                         trelk_handle format, int extra);           ///< 71 alternate open with a format
void trelk_console_open_alternate_size(trelk_handle console, const char* title, int width,
                                       int height, trelk_handle format, int extra); ///< 72 alternate open at a size
void trelk_console_open_alternate_mode(trelk_handle console, const char* title,
                                       trelk_handle mode, int extra);               ///< 73 alternate open in a mode
int trelk_console_entry74(trelk_handle console);                                    ///< 74 query: the open back end's place in the build's list (0: window), -1 closed
int trelk_console_entry75(trelk_handle console);                                    ///< 75 query: 1 when open and update() keeps step with the display
int trelk_console_entry76(trelk_handle console);                                    ///< 76 query: screen pixels per console pixel, 0 closed
int trelk_console_entry77(trelk_handle console);                                    ///< 77 query: 1 when open and full screen now
int trelk_console_entry78(trelk_handle console);                                    ///< 78 reserved: 0
int trelk_console_entry79(trelk_handle console);                                    ///< 79 reserved: 0

// Errors: hold a message and report it to the user
trelk_handle trelk_error_create(const char* message);                    ///< 86 create error from a message
void trelk_error_destroy(trelk_handle error);                            ///< 88 destroy error
void trelk_error_report(trelk_handle error);                             ///< 89 report error to the user
void trelk_error_copy(trelk_handle destination, trelk_handle source);    ///< 91 copy error into error
const char* trelk_error_message(trelk_handle error);                     ///< ours: the message, owned by the error

// Pixel formats: bits per pixel and red, green, blue, alpha masks
trelk_handle trelk_format_create(void);                                              ///< 94 create default format
trelk_handle trelk_format_create_direct(int bits, uint32_t red, uint32_t green,
                                        uint32_t blue, uint32_t alpha);              ///< 96 create direct-colour format
void trelk_format_destroy(trelk_handle format);                                      ///< 97 destroy format
void trelk_format_copy(trelk_handle destination, trelk_handle source);               ///< 106 copy format into format

// Keys: a key code and three modifier flags
trelk_handle trelk_key_create(int code, int modifier1, int modifier2, int modifier3);  ///< 108 create key
void trelk_key_destroy(trelk_handle key);                                             ///< 109 destroy key
int trelk_key_code(trelk_handle key);                                                 ///< 110 key code
int trelk_key_modifier1(trelk_handle key);                                            ///< 111 first modifier, boolean
int trelk_key_modifier2(trelk_handle key);                                            ///< 112 second modifier, boolean
int trelk_key_modifier3(trelk_handle key);                                            ///< 113 third modifier, boolean

// Display modes
trelk_handle trelk_mode_create(void);                                  ///< 117 create mode
void trelk_mode_destroy(trelk_handle mode);                            ///< 118 destroy mode
int trelk_mode_valid(trelk_handle mode);                               ///< 119 mode is valid: non-zero means valid
void trelk_mode_copy(trelk_handle destination, trelk_handle source);   ///< 123 copy mode into mode

// Palettes: 256 colours
trelk_handle trelk_palette_create(void);                                  ///< 125 create palette
void trelk_palette_destroy(trelk_handle palette);                         ///< 126 destroy palette
void trelk_palette_copy(trelk_handle destination, trelk_handle source);   ///< 132 copy palette into palette

// Surfaces: off-screen pixel buffers owned by the library
trelk_handle trelk_surface_create(int width, int height, trelk_handle format);  ///< 134 create surface
void trelk_surface_destroy(trelk_handle surface);                              ///< 135 destroy surface
void trelk_surface_copy(trelk_handle surface, trelk_handle target);            ///< 136 copy surface onto a target
void trelk_surface_copy_area(trelk_handle surface, trelk_handle target, trelk_handle source,
                             trelk_handle destination);                        ///< 137 copy, source area scaled into destination area
void* trelk_surface_lock(trelk_handle surface);                                ///< 138 lock pixels, gives the pixel address
void trelk_surface_unlock(trelk_handle surface);                               ///< 139 unlock pixels
void trelk_surface_load(trelk_handle surface, const void* pixels, int width, int height,
                        int pitch, trelk_handle format, trelk_handle palette);  ///< 140 load caller's pixels
void trelk_surface_load_area(trelk_handle surface, const void* pixels, int width, int height,
                             int pitch, trelk_handle format, trelk_handle palette,
                             trelk_handle source, trelk_handle destination);    ///< 141 load caller's pixels, with areas
void trelk_surface_save(trelk_handle surface, void* pixels, int width, int height, int pitch,
                        trelk_handle format, trelk_handle palette);             ///< 142 save into caller's pixels
void trelk_surface_save_area(trelk_handle surface, void* pixels, int width, int height,
                             int pitch, trelk_handle format, trelk_handle palette,
                             trelk_handle source, trelk_handle destination);    ///< 143 save, with areas
void trelk_surface_clear(trelk_handle surface);                                ///< 144 clear to the default colour
void trelk_surface_clear_color(trelk_handle surface, trelk_handle color);      ///< 145 clear to a colour
void trelk_surface_clear_color_area(trelk_handle surface, trelk_handle color,
                                    trelk_handle area);                        ///< 146 clear an area to a colour
void trelk_surface_set_palette(trelk_handle surface, trelk_handle palette);    ///< 147 set the palette
trelk_handle trelk_surface_palette(trelk_handle surface);                      ///< 148 get the palette (library-owned)
void trelk_surface_set_clip(trelk_handle surface, trelk_handle area);          ///< 149 set the clip area
int trelk_surface_width(trelk_handle surface);                                 ///< 150 width in pixels
int trelk_surface_height(trelk_handle surface);                                ///< 151 height in pixels
int trelk_surface_pitch(trelk_handle surface);                                 ///< 152 bytes per row
trelk_handle trelk_surface_area(trelk_handle surface);                         ///< 153 get the full area (library-owned)
trelk_handle trelk_surface_clip(trelk_handle surface);                         ///< 154 get the clip area (library-owned)
trelk_handle trelk_surface_format(trelk_handle surface);                       ///< 155 get the pixel format (library-owned)
int trelk_surface_option(trelk_handle surface, const char* option);            ///< 156 surface option, boolean

// Timers: seconds as a double
trelk_handle trelk_timer_create(void);          ///< 157 create timer
void trelk_timer_destroy(trelk_handle timer);   ///< 158 destroy timer
void trelk_timer_start(trelk_handle timer);     ///< 160 start timer
double trelk_timer_time(trelk_handle timer);    ///< 162 time since start

// Preparation: called before every create entry; its result is ignored
int trelk_prepare(void);  ///< 167 preparation

// Colours: ours, outside the numbered entries (no numbered entry makes a colour)
trelk_handle trelk_color_create(uint32_t argb);       ///< ours: create colour, 0xAARRGGBB
void trelk_color_destroy(trelk_handle color);         ///< ours: destroy colour

// clang-format on

// Errors in C (see the file comment); for C++ callers too, but only the entries' twins use them

/// Installs the handler that a failing entry called from C reports to, for every thread;
/// null restores the default (message on standard error, exit status 1)
void trelk_set_error_handler(trelk_error_handler handler, void* context);
/// The message of this thread's latest failure in an entry called from C; null when there has
/// been none since the thread began or since trelk_clear_error()
const char* trelk_last_error(void);
/// Forgets this thread's latest failure: trelk_last_error() gives null until the next one
void trelk_clear_error(void);

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#endif
