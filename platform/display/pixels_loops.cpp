// The pixel engine's loops with a processor-specific form, each chosen at run time: on x86
// processors with SSSE3 the 24-bit to 32-bit loop moves sixteen pixels at a time with byte
// shuffles, and with AVX2 the masked 32-bit copies move eight at a time; the portable masked
// loops do the rest and every other machine. A scaled masked copy (the demo's picture) is one
// call for all its rows and runs.
#include "platform/display/pixels_loops.h"

#include "platform/display/pixels.h"

// The vector loops need GCC's or clang's target attribute and processor check; other compilers
// and processors take the portable loops
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define DISPLAY_PIXELS_X86 1
#endif

namespace display {
namespace {

// ---- the processor's vector extensions ----

bool vector_loops_allowed = true;

#ifdef DISPLAY_PIXELS_X86
bool have_ssse3() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return have;
}

// 24-bit BGR to 32-bit XRGB, sixteen pixels (48 bytes in, 64 out) per step, reading and writing
// only whole groups of sixteen. Returns how many pixels it converted; the caller does the rest.
__attribute__((target("ssse3"))) int bgr24_to_xrgb32_ssse3(const std::uint8_t* src, int count,
                                                           std::uint8_t* dst) {
    // Bytes b g r of four pixels into b g r 0: index -128 (top bit set) writes a zero byte
    const __m128i order =
        _mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const std::uint8_t* p = src + 3 * std::size_t(i);
        std::uint8_t* q = dst + 4 * std::size_t(i);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));       // 0..15
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));  // 16..31
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));  // 32..47
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_shuffle_epi8(a, order));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16),
                         _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), order));  // bytes 12..27
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 32),
                         _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), order));  // bytes 24..39
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 48),
                         _mm_shuffle_epi8(_mm_srli_si128(c, 4), order));  // bytes 36..47
    }
    return i;
}
#endif

// Four contiguous 32-bit pixels with the bits outside mask cleared: one vector operation
inline void masked_copy4(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t mask) {
    std::uint32_t v[4];
    std::memcpy(v, src, sizeof v);
    for (std::uint32_t& pixel : v) pixel &= mask;
    std::memcpy(dst, v, sizeof v);
}

// count contiguous 32-bit pixels with the bits outside mask cleared, source and destination
// apart. Four pixels a step, eight a loop; the last step of a span of four or more ends at its
// last pixel, overlapping the one before rather than finishing pixel by pixel, which matters
// for the short runs of a scaled row.
inline void masked_span32(const std::uint8_t* src, int count, std::uint8_t* dst,
                          std::uint32_t mask) {
    if (count < 4) {
        for (int i = 0; i < count; ++i)
            store32(dst + 4 * std::size_t(i), load32(src + 4 * std::size_t(i)) & mask);
        return;
    }
    // A first step, then stores aligned to 16 bytes (one across two cache lines costs two),
    // in whole pixels from the first: the mask works on 4-byte lanes
    const std::size_t bytes = 4 * std::size_t(count);
    masked_copy4(src, dst, mask);
    std::size_t at = (16 - (reinterpret_cast<std::uintptr_t>(dst) & 15)) & ~std::size_t(3);
    for (; at + 32 <= bytes; at += 32) {
        masked_copy4(src + at, dst + at, mask);
        masked_copy4(src + at + 16, dst + at + 16, mask);
    }
    if (at + 16 <= bytes) {
        masked_copy4(src + at, dst + at, mask);
        at += 16;
    }
    if (at < bytes) masked_copy4(src + bytes - 16, dst + bytes - 16, mask);
}

// Calls row(source row, destination row) for each row made from its source, and copies the
// repeated ones. The job's fields are read once: a pixel store may alias them.
template <class Row>
inline void each_masked_row(const MaskedRows& job, Row row) {
    const std::uint8_t* const src = job.src;
    const std::size_t src_pitch = job.src_pitch, dst_pitch = job.dst_pitch;
    const std::size_t row_bytes = job.row_bytes();
    const std::int32_t* const rows = job.rows;
    const int row_count = job.row_count;
    std::uint8_t* d = job.dst;
    for (int j = 0; j < row_count; ++j, d += dst_pitch) {
        if (j > 0 && rows[j] == rows[j - 1]) {
            std::memcpy(d, d - dst_pitch, row_bytes);
            continue;
        }
        row(src + std::size_t(rows[j]) * src_pitch, d);
    }
}

void masked_rows32_portable(const MaskedRows& job) {
    const Run* const runs = job.runs;
    const int run_count = job.run_count;
    const std::uint32_t mask = job.mask;
    each_masked_row(job, [=](const std::uint8_t* s, std::uint8_t* d) {
        for (int r = 0; r < run_count; ++r) {
            const Run run = runs[r];
            masked_span32(s + 4 * std::size_t(run.from), run.count, d + 4 * std::size_t(run.at),
                          mask);
        }
    });
}

#ifdef DISPLAY_PIXELS_X86
bool have_avx2() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return have;
}

__attribute__((target("avx2"), always_inline)) inline void masked_move32_avx2(
    const std::uint8_t* src, std::uint8_t* dst, __m256i mask) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_and_si256(v, mask));
}

// One row with 32-byte moves. A run of eight pixels or more: a first move, then stores aligned
// to 32 bytes (a store across two cache lines costs two), the last one ending at the run's last
// pixel; four to seven pixels: two overlapping 16-byte moves.
__attribute__((target("avx2"), always_inline)) inline void masked_row32_avx2(
    const std::uint8_t* src, const Run* runs, int run_count, std::uint8_t* dst, __m256i wide,
    __m128i narrow, std::uint32_t mask) {
    for (int r = 0; r < run_count; ++r) {
        const Run run = runs[r];
        const std::uint8_t* s = src + 4 * std::size_t(run.from);
        std::uint8_t* d = dst + 4 * std::size_t(run.at);
        const std::size_t bytes = 4 * std::size_t(run.count);
        if (bytes >= 32) {
            // (whole pixels on from there: the mask works on 4-byte lanes, and a caller's
            // buffer need not be aligned to 4)
            masked_move32_avx2(s, d, wide);
            std::size_t at = (32 - (reinterpret_cast<std::uintptr_t>(d) & 31)) & ~std::size_t(3);
            for (; at + 128 <= bytes; at += 128) {
                masked_move32_avx2(s + at, d + at, wide);
                masked_move32_avx2(s + at + 32, d + at + 32, wide);
                masked_move32_avx2(s + at + 64, d + at + 64, wide);
                masked_move32_avx2(s + at + 96, d + at + 96, wide);
            }
            for (; at + 32 <= bytes; at += 32) masked_move32_avx2(s + at, d + at, wide);
            if (at < bytes) masked_move32_avx2(s + bytes - 32, d + bytes - 32, wide);
        } else if (bytes >= 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + bytes - 16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_and_si128(a, narrow));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + bytes - 16), _mm_and_si128(b, narrow));
        } else {
            for (std::size_t at = 0; at < bytes; at += 4) store32(d + at, load32(s + at) & mask);
        }
    }
}

// each_masked_row() written out: its lambda would not take this function's target
__attribute__((target("avx2"))) void masked_rows32_avx2(const MaskedRows& job) {
    const __m256i wide = _mm256_set1_epi32(int(job.mask));
    const __m128i narrow = _mm_set1_epi32(int(job.mask));
    const std::uint8_t* const src = job.src;
    const std::size_t src_pitch = job.src_pitch, dst_pitch = job.dst_pitch;
    const std::size_t row_bytes = job.row_bytes();
    const std::int32_t* const rows = job.rows;
    const int row_count = job.row_count;
    const Run* const runs = job.runs;
    const int run_count = job.run_count;
    const std::uint32_t mask = job.mask;
    std::uint8_t* d = job.dst;
    for (int j = 0; j < row_count; ++j, d += dst_pitch) {
        if (j > 0 && rows[j] == rows[j - 1]) {
            std::memcpy(d, d - dst_pitch, row_bytes);
            continue;
        }
        masked_row32_avx2(src + std::size_t(rows[j]) * src_pitch, runs, run_count, d, wide, narrow,
                          mask);
    }
}
#endif

}  // namespace

void allow_vector_loops(bool allowed) { vector_loops_allowed = allowed; }

void masked_rows32(const MaskedRows& job) {
#ifdef DISPLAY_PIXELS_X86
    if (vector_loops_allowed && have_avx2()) return masked_rows32_avx2(job);
#endif
    masked_rows32_portable(job);
}

void masked_copy32(const std::uint8_t* src, int count, std::uint8_t* dst, std::uint32_t mask) {
    if (count <= 0) return;
    const std::size_t bytes = 4 * std::size_t(count);
    if (overlap(src, bytes, dst, bytes)) {
        for (int i = 0; i < count; ++i)
            store32(dst + 4 * std::size_t(i), load32(src + 4 * std::size_t(i)) & mask);
        return;
    }
    const std::int32_t row = 0;
    const Run whole{0, 0, count};
    MaskedRows job;
    job.src = src;
    job.rows = &row;
    job.row_count = 1;
    job.runs = &whole;
    job.run_count = 1;
    job.dst = dst;
    job.mask = mask;
    masked_rows32(job);
}

int bgr24_to_xrgb32_vector(const std::uint8_t* src, int count, std::uint8_t* dst) {
#ifdef DISPLAY_PIXELS_X86
    if (vector_loops_allowed && have_ssse3()) return bgr24_to_xrgb32_ssse3(src, count, dst);
#endif
    (void)src;
    (void)count;
    (void)dst;
    return 0;
}

}  // namespace display
