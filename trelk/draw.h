/// @file
/// Drawing without pointer arithmetic: free functions over any surface or console that put and
/// read single pixels, fill rectangles, and copy sprites with a transparent colour or with
/// their alpha; and whether a key is held down. Colours are 0xAARRGGBB whatever the surface's
/// format; each function converts. Everything stays inside the target and its clip area, so no
/// coordinate can write outside the pixels. On an indexed (8-bit) surface a colour's low byte is
/// the colour number.
///
/// Each call locks and unlocks the pixels and asks the surface its format: fine for a few
/// thousand pixels a frame; for every pixel of a large surface, write through lock() instead.
#ifndef TRELK_DRAW_H
#define TRELK_DRAW_H

#include <cstdint>

#include "console.h"
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

}  // namespace trelk

#endif
