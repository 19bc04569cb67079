/// @file
/// Color: a colour of the display library, for the clear operations.
#ifndef TRELK_COLOR_H
#define TRELK_COLOR_H

#include <cstdint>

#include "library.h"

namespace trelk {

/// A colour of the display library, used as the argument of the clear operations. Owns one
/// library colour handle; never copied or assigned.
class Color {
public:
    /// A colour 0xAARRGGBB; the library converts it into the format of the target it clears
    /// (an indexed target takes the nearest colour of its palette)
    explicit Color(std::uint32_t argb = 0);
    /// A colour from its channels, each 0 to 255 (masked to 8 bits); alpha 0 by default
    Color(int red, int green, int blue, int alpha = 0);
    /// Destroys the library colour
    ~Color();

    Color(const Color&) = delete;
    Color& operator=(const Color&) = delete;

    /// The library colour this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
