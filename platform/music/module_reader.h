// Bounded reads over a module file's bytes, shared by the structure checks of the formats we
// play (xm_check.cpp, module_check.cpp).
#ifndef PLATFORM_MUSIC_MODULE_READER_H
#define PLATFORM_MUSIC_MODULE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace midas {

// Reads that never look past the end: `ok` turns false instead. Offsets are 64-bit so that
// sums of 32-bit sizes cannot wrap.
struct Reader {
    const uint8_t* data;
    size_t size;
    bool ok = true;

    uint32_t u8(uint64_t at) {
        if (at + 1 > size) return ok = false, 0;
        return data[at];
    }
    uint32_t u16(uint64_t at) {  // little-endian
        if (at + 2 > size) return ok = false, 0;
        return std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8;
    }
    uint32_t u32(uint64_t at) {
        if (at + 4 > size) return ok = false, 0;
        return u16(at) | (u16(at + 2) << 16);
    }
    uint32_t u16_big(uint64_t at) {
        if (at + 2 > size) return ok = false, 0;
        return std::uint32_t(data[at]) << 8 | std::uint32_t(data[at + 1]);
    }
    bool text(uint64_t at, const char* expected) {
        const size_t n = std::strlen(expected);
        return at + n <= size && std::memcmp(data + at, expected, n) == 0;
    }
};

}  // namespace midas

#endif
