/// @file
/// Lines, shapes, text in the library's own 8 x 8 font, and image files, on any surface or
/// open console (the handle of a trelk::Surface or trelk::Console, or one made by
/// trelk_surface_create() and trelk_console_create()). Valid C and C++. trelk/draw.h has the
/// same functions for C++ over the layer's objects: trelk::line(), trelk::text() and so on.
///
/// Drawing: colours are 0xAARRGGBB whatever the target's format, converted as trelk::put()
/// converts them (on an indexed target the colour's low byte is the colour number), and
/// written as they are, without mixing. Every function draws only inside the target's clip
/// area; clipping never changes which pixels of a shape are drawn, only which of them are
/// left out. Coordinates may lie anywhere, far outside the target too.
///
/// Errors are those of the entries: a null, destroyed or wrong-kind handle, a closed console,
/// a null text or file name, or pixels that another thread holds locked throw
/// trelk::DynamicError in C++ and report in C (c_entries.h), having changed nothing.
#ifndef TRELK_GRAPHICS_H
#define TRELK_GRAPHICS_H

#include <stdint.h>

#include "library.h"

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// Draws the line from (x0, y0) to (x1, y1), both end points included: one pixel for each
/// step along its longer axis, the other coordinate rounded to the nearest pixel (halves away
/// from the end with the smaller long-axis coordinate). A line drawn the other way round has
/// the same pixels; a line whose ends are the same point is that one pixel.
void trelk_draw_line(trelk_handle target, int x0, int y0, int x1, int y1, uint32_t argb);
/// Draws the outline of the rectangle from (left, top) to (right, bottom), right and bottom
/// exclusive as in an area: the border pixels of what trelk::fill() would fill. An empty
/// rectangle (right <= left or bottom <= top) draws nothing.
void trelk_draw_rect(trelk_handle target, int left, int top, int right, int bottom, uint32_t argb);
/// Draws the outline of the circle around (x, y): the pixels of trelk_draw_fill_circle()'s
/// disc that have a neighbour above, below, left or right outside it, an unbroken ring one
/// pixel thin. A radius of 0 is the centre pixel alone; a negative radius draws nothing.
void trelk_draw_circle(trelk_handle target, int x, int y, int radius, uint32_t argb);
/// Fills the disc around (x, y): every pixel whose distance from the centre, dx * dx +
/// dy * dy, is at most radius * (radius + 1) (the circle of radius + 1/2 through the pixel
/// centres). A radius of 0 is the centre pixel alone; a negative radius draws nothing.
void trelk_draw_fill_circle(trelk_handle target, int x, int y, int radius, uint32_t argb);

/// Writes text in the built-in 8 x 8 font, the top-left corner of its first character at
/// (x, y): the set pixels of each glyph in colour foreground, the others left as they are.
/// Each byte is one character; '\\n' starts a new line 8 pixels lower at x again. Printable
/// ASCII (32 to 126) has its glyphs; any other byte shows as an empty box.
void trelk_draw_text(trelk_handle target, int x, int y, const char* text, uint32_t foreground);
/// Writes text as trelk_draw_text() does, on cells of colour background: each character's
/// whole 8 x 8 cell is painted
void trelk_draw_text_on(trelk_handle target, int x, int y, const char* text, uint32_t foreground,
                        uint32_t background);
/// The size in pixels of the text as trelk_draw_text() draws it: 8 times the characters of its
/// longest line wide, 8 times its lines high (a '\\n' at the end starts one more, empty, line).
/// The empty text is 0 x 0. A text whose size does not fit an int is an error.
void trelk_text_size(const char* text, int* width, int* height);

/// Reads an image file, PNG (any kind libpng reads: grey, palette, colour, with or without
/// alpha, 1 to 16 bits, interlaced or not) or TGA (24- or 32-bit colour, uncompressed or
/// run-length), into a new surface of the file's size in format, its colours converted as a
/// load converts them (a format without alpha drops it; an indexed format takes the nearest
/// colours of the default grey palette). The caller destroys the surface with
/// trelk_surface_destroy(). A file that is missing, not a file, larger than 256 MiB, cut
/// short, corrupt, of a kind we do not read, or larger than 16384 pixels either way is an
/// error saying which, and makes nothing. Not in the browser build.
trelk_handle trelk_image_load(const char* file, trelk_handle format);
/// Writes the pixels of a surface or an open console to a PNG file: 8-bit colour, with alpha
/// when the format has it (an indexed one through its palette). The file is written beside
/// its place and put there whole, so a failure (a folder that is missing, a device in its
/// place, a full disk) leaves what was there. Not in the browser build.
void trelk_image_save(trelk_handle source, const char* file);

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#endif
