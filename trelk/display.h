/// @file
/// What our display library offers a program beyond the entries of trelk/library.h: the
/// contents of a palette (no entry of the object layer fills one), and the values of an area, a
/// format and a mode, which the layer has no entry to read. Each function checks its handle like
/// an entry and throws trelk::DynamicError for a null, destroyed or wrong-kind handle. The
/// handles are those of the layer's objects: palette.handle(), area.handle() and so on.
/// Valid C and C++.
///
/// Settings, read from the environment each time a console opens; a value a setting does not
/// take is an error that lists the ones it takes, and an empty one counts as unset (but for
/// TRELK_FRAMES, where it is an error):
///   - TRELK_DISPLAY=window|terminal|headless: forces a back end. Unset: a window when a
///     display is available, else the terminal when standard output is one, else headless
///     (pixels in memory only).
///   - TRELK_FRAMES=N: key() becomes true once N frames have been presented (a read then gives
///     TRELK_KEY_QUIT). Headless, a read() that finds no key waiting gives TRELK_KEY_QUIT at
///     once when TRELK_FRAMES is set or standard input is not a terminal: nothing could press
///     a key there.
///   - TRELK_CAPTURE=FILE.png: the last presented frame is saved as PNG when the console closes
///     (FILE absent, a regular file or a link to one; anything else is refused).
///   - TRELK_RECORD=FILE.mp4|.webm|.mkv: every presented frame and the music (when the music
///     library plays) are recorded into a video as fast as the program draws; no window opens
///     and no sound plays. Its length is TRELK_FRAMES frames, or one pass of the music.
///   - TRELK_RECORD_FPS=N: the video's frames a second, 1 to 1000 (unset: 60).
///   - TRELK_RECORD_SCALE=N: each pixel becomes N x N in the video, 1 to 64 (unset: the
///     smallest N giving at least 720 lines).
///   - TRELK_VSYNC=0|1: 0: update() does not keep step with the display (unset: 1).
///   - TRELK_FULLSCREEN=0|1: 1: every open is full screen (unset or 0: as the open asks).
///   - TRELK_SCALE=whole|fit: fit: a window's picture fills it by a fractional factor (unset or
///     whole: whole-number factors with black borders).
///   - TRELK_COLORS=24|256: the terminal's colours, 24-bit or the 256-colour palette (unset:
///     what the terminal says it has).
///   - TRELK_ERROR_BOX=0|1: 0: on Windows, an error's report() goes to standard error only,
///     without the message box that shows it otherwise (unset: 1).
#ifndef TRELK_DISPLAY_H
#define TRELK_DISPLAY_H

#include <stdint.h>

#include "library.h"

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// Sets the 256 colours of a palette, each 0xAARRGGBB. The default palette is the opaque grey
/// ramp: colour i is 0xff000000 + i * 0x010101. An 8-bit indexed console or surface (a format
/// of 8 bits with all four masks 0) shows pixel value i as colour i of its palette; give the
/// palette to it with palette(palette) after setting the colours.
void trelk_display_palette_set(trelk_handle palette, const uint32_t colors[256]);
/// Reads the 256 colours of a palette, each 0xAARRGGBB
void trelk_display_palette_get(trelk_handle palette, uint32_t colors[256]);

/// Reads an area's left, top, right and bottom into values[0] to values[3] (right and bottom
/// exclusive)
void trelk_display_area_values(trelk_handle area, int values[4]);
/// Gives a format's bits per pixel and reads its red, green, blue and alpha masks into
/// masks[0] to masks[3] (all 0 for an indexed format)
int trelk_display_format_values(trelk_handle format, uint32_t masks[4]);
/// Reads a mode's width and height in pixels (0 x 0 for the invalid mode that ends a mode list)
void trelk_display_mode_size(trelk_handle mode, int* width, int* height);

/// 1 while the key with this code (trelk/keys.h) is held down on an open console, else 0 (a
/// closed console: 0). In a window, as the keyboard is now. A terminal sends no key releases:
/// there (and headless, with keys typed at the terminal) a key counts as held for 0.6 s after
/// each press, which a key held down keeps renewing by repeating. Reads waiting keys into the
/// queue as key() does; consumes none.
int trelk_display_key_held(trelk_handle console, int code);

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#endif
