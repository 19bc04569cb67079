/// @file
/// Palette: 256 colours of the display library.
#ifndef TRELK_PALETTE_H
#define TRELK_PALETTE_H

#include "library.h"

namespace trelk {

/// 256 colours of the display library, each 0xAARRGGBB, for indexed (8-bit) formats: pixel
/// value i shows colour i. Set and read the colours with trelk_display_palette_set() and
/// trelk_display_palette_get() (trelk/display.h). Owns one library palette handle; never
/// copied or assigned.
class Palette {
public:
    /// The default palette: the opaque grey ramp, colour i is 0xff000000 + i * 0x010101
    Palette();
    /// Destroys the library palette
    ~Palette();

    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    /// The library palette this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
