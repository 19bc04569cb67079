// Color: a colour of the display library, used as the argument of the clear operations.
// Owns one library colour handle; never copied. The demo makes none.
#ifndef TRELK_COLOR_H
#define TRELK_COLOR_H

#include <cstdint>

#include "library.h"

namespace trelk {

class Color {
public:
    // 0xAARRGGBB; the library converts it into the format of the surface it clears
    explicit Color(std::uint32_t argb = 0);
    Color(int red, int green, int blue, int alpha = 0);  // each 0..255, masked to 8 bits
    ~Color();

    Color(const Color&) = delete;
    Color& operator=(const Color&) = delete;

    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
