#include "format.h"

namespace trelk {

Format::Format() {
    trelk_prepare();
    handle_ = trelk_format_create();
}

Format::Format(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue,
               std::uint32_t alpha) {
    trelk_prepare();
    handle_ = trelk_format_create_direct(bits, red, green, blue, alpha);
}

Format::~Format() { trelk_format_destroy(handle_); }

}  // namespace trelk
