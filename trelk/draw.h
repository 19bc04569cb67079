/// @file
/// Drawing without pointer arithmetic: free functions over any surface or console that put and
/// read single pixels, fill rectangles, and copy sprites with a transparent colour or with
/// their alpha; and whether a key is held down. Then lines, rectangle outlines, circles, text
/// in the built-in 8 x 8 font, and image files (PNG and TGA), which draw through the display
/// library (trelk/graphics.h has them for C). Colours are 0xAARRGGBB whatever the surface's
/// format; each function converts. Everything stays inside the target and its clip area, so no
/// coordinate can write outside the pixels. On an indexed (8-bit) surface a colour's low byte is
/// the colour number.
///
/// Each call locks and unlocks the pixels and asks the surface its format: fine for a few
/// thousand pixels a frame; for every pixel of a large surface, write through lock() instead.
#ifndef TRELK_DRAW_H
#define TRELK_DRAW_H

#include <cstdint>
#include <memory>

#include "console.h"
#include "graphics.h"
#include "surface.h"

namespace trelk {

/// Sets the pixel at (x, y) to colour argb; nothing happens outside the target's clip area
void put(BaseSurface& target, int x, int y, std::uint32_t argb);

/// The colour of the pixel at (x, y) as 0xAARRGGBB (alpha 0xff for a format without alpha); 0
/// outside the surface. An indexed surface gives the colour number.
std::uint32_t get(BaseSurface& source, int x, int y);

/// Fills the rectangle from (left, top) to (right, bottom), right and bottom exclusive, with
/// colour argb, inside the target's clip area (clear() with a Color and an Area, in one call)
void fill(BaseSurface& target, int left, int top, int right, int bottom, std::uint32_t argb);

/// Copies all of source onto target, its top-left corner at (x, y), unscaled, leaving out every
/// pixel whose colour is key (alpha aside): a sprite on a background of the key colour
void copy_keyed(BaseSurface& source, BaseSurface& target, int x, int y, std::uint32_t key);

/// Copies all of source onto target, its top-left corner at (x, y), unscaled, mixing each pixel
/// with the one under it by the source's alpha: 0xff covers it, 0 leaves it as it was. A source
/// format without alpha covers everything, as copy() does.
void copy_blended(BaseSurface& source, BaseSurface& target, int x, int y);

/// Whether the key with this code (trelk/keys.h, such as TRELK_KEY_LEFT) is held down now, for
/// movement that lasts as long as the key: see trelk_display_key_held() in display.h for how a
/// terminal tells it. Consumes no key.
bool held(BaseConsole& console, int code);

// ---- Lines, shapes, text and image files ----
//
// These work on the library's own surfaces and consoles (a Surface, a Console): they name
// their target by its handle(). Every pixel they draw lies inside the target's clip area, and
// clipping never changes which pixels a shape has. A failure throws DynamicError having
// changed nothing.

/// Draws the line from (x0, y0) to (x1, y1), both ends included, in colour argb: one pixel a
/// step along its longer axis. Drawn the other way round it has the same pixels.
void line(BaseSurface& target, int x0, int y0, int x1, int y1, std::uint32_t argb);

/// Draws the outline of the rectangle from (left, top) to (right, bottom), right and bottom
/// exclusive: the border of what fill() with the same corners fills
void rect(BaseSurface& target, int left, int top, int right, int bottom, std::uint32_t argb);

/// Draws the one-pixel ring around (x, y) at distance radius; a radius of 0 is the centre
/// pixel, a negative one draws nothing
void circle(BaseSurface& target, int x, int y, int radius, std::uint32_t argb);

/// Fills the disc around (x, y): the pixels with dx * dx + dy * dy <= radius * (radius + 1),
/// whose border is what circle() draws
void fill_circle(BaseSurface& target, int x, int y, int radius, std::uint32_t argb);

/// Writes text in the built-in 8 x 8 font with its first character's top-left corner at
/// (x, y), the glyphs' pixels in colour foreground; '\\n' starts a line 8 pixels lower.
/// Printable ASCII has glyphs; other bytes show as an empty box.
void text(BaseSurface& target, int x, int y, const char* text, std::uint32_t foreground);
/// The same on a background: every character's whole 8 x 8 cell is painted first
void text(BaseSurface& target, int x, int y, const char* text, std::uint32_t foreground,
          std::uint32_t background);

/// A text's size in pixels, as text() draws it
struct TextSize {
    int width = 0;   ///< 8 times the characters of the longest line
    int height = 0;  ///< 8 times the lines (a final '\\n' begins one more)
};
/// How wide and high text() draws this text
TextSize text_size(const char* text);

/// Reads a PNG or TGA file (24- or 32-bit, uncompressed or run-length) into a new surface of
/// its size in format, converting its colours; see trelk_image_load() for what is refused
std::unique_ptr<Surface> load_image(const char* file, const Format& format);

/// Writes the pixels of a surface or an open console to a PNG file (with alpha when the
/// format has it), put in place whole: a failure leaves what was there
void save_image(BaseSurface& source, const char* file);

}  // namespace trelk

#endif
