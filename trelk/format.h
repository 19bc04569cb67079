/// @file
/// Format: a pixel format of the display library.
#ifndef TRELK_FORMAT_H
#define TRELK_FORMAT_H

#include <cstdint>

#include "library.h"

namespace trelk {

/// A pixel format of the display library: bits per pixel and the red, green, blue and alpha
/// masks. Direct colour has 8, 16, 24 or 32 bits and contiguous masks; 8 bits with all four
/// masks 0 is indexed, each pixel a number into a palette of 256 colours. Pixels the library
/// writes have every bit outside the masks 0; a format without alpha reads as opaque. Owns one
/// library format handle; never copied or assigned. Read its values with
/// trelk_display_format_values() (trelk/display.h).
class Format {
public:
    /// The library's default format: 32 bits, red 0xff0000, green 0xff00, blue 0xff, alpha 0.
    /// A pixel read as a native 32-bit word is 0x00RRGGBB (bytes blue, green, red, unused on
    /// a little-endian machine).
    Format();
    /// Direct colour: bits per pixel, then the red, green, blue and alpha masks; or indexed:
    /// Format(8, 0, 0, 0, 0). A format the library cannot use throws DynamicError.
    Format(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue,
           std::uint32_t alpha);
    /// Destroys the library format
    ~Format();

    Format(const Format&) = delete;
    Format& operator=(const Format&) = delete;

    /// The library format this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
