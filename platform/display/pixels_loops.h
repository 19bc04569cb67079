// The pixel engine's inner loops that have a processor-specific form (pixels_loops.cpp): the
// masked 32-bit copies and the 24-bit BGR to 32-bit XRGB conversion. Private to the display
// library's pixel engine (pixels.cpp).
#ifndef PLATFORM_DISPLAY_PIXELS_LOOPS_H
#define PLATFORM_DISPLAY_PIXELS_LOOPS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace display {

// 32-bit pixels in one move: host order is the little-endian order of the formats
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixels are read as little-endian words");

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// Whether [a, a + a_bytes) and [b, b + b_bytes) share memory
inline bool overlap(const std::uint8_t* a, std::size_t a_bytes, const std::uint8_t* b,
                    std::size_t b_bytes) {
    const std::uintptr_t x = reinterpret_cast<std::uintptr_t>(a);
    const std::uintptr_t y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + b_bytes && y < x + a_bytes;
}

// Destination pixels [at, at + count) of a scaled row show source pixels [from, from + count)
struct Run {
    std::int32_t at, from, count;
};

// A copy between 32-bit formats that differ only in bits the destination does not use, by
// runs: destination row j shows source row rows[j], each run of it a contiguous piece. A row
// whose source row is its predecessor's is a copy of the row just made. One call does every
// row, with no call per run or per row; the sources and the destination never share memory.
struct MaskedRows {
    const std::uint8_t* src = nullptr;  // the source's first row
    std::size_t src_pitch = 0;
    const std::int32_t* rows = nullptr;
    int row_count = 0;
    const Run* runs = nullptr;  // in order, the first at 0: they cover the row
    int run_count = 0;
    std::uint8_t* dst = nullptr;  // the first destination row
    std::size_t dst_pitch = 0;
    std::uint32_t mask = 0;  // the bits the destination keeps

    std::size_t row_bytes() const {
        return 4 * std::size_t(runs[run_count - 1].at + runs[run_count - 1].count);
    }
};

// The job with the widest loop this processor offers, unless the vector loops are turned off
void masked_rows32(const MaskedRows& job);

// Contiguous 32-bit pixels with the bits outside mask cleared. Rows that share memory (a
// caller's buffer inside the pixels) go pixel by pixel.
void masked_copy32(const std::uint8_t* src, int count, std::uint8_t* dst, std::uint32_t mask);

// 24-bit BGR to 32-bit XRGB in whole groups of sixteen pixels where the processor has a vector
// loop for it and the vector loops are allowed. Returns how many pixels it converted (0 when
// none); the caller does the rest.
int bgr24_to_xrgb32_vector(const std::uint8_t* src, int count, std::uint8_t* dst);

}  // namespace display

#endif
