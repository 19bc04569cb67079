#include "color.h"

namespace trelk {

Color::Color(std::uint32_t argb) {
    trelk_prepare();
    handle_ = trelk_color_create(argb);
}

Color::Color(int red, int green, int blue, int alpha)
    : Color((std::uint32_t(alpha) & 0xffu) << 24 | (std::uint32_t(red) & 0xffu) << 16 |
            (std::uint32_t(green) & 0xffu) << 8 | (std::uint32_t(blue) & 0xffu)) {}

Color::~Color() { trelk_color_destroy(handle_); }

}  // namespace trelk
