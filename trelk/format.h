// Format: a pixel format of the display library (bits per pixel and red, green, blue, alpha
// masks). Owns one library format handle; never copied.
#ifndef TRELK_FORMAT_H
#define TRELK_FORMAT_H

#include <cstdint>

#include "library.h"

namespace trelk {

class Format {
public:
    Format();  // the library's default format
    // Direct colour: bits per pixel, then the red, green, blue and alpha masks
    Format(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue,
           std::uint32_t alpha);
    ~Format();

    Format(const Format&) = delete;
    Format& operator=(const Format&) = delete;

    trelk_handle handle() const noexcept { return handle_; }  // what the library knows it by

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
