// The pixel engine: formats, colour conversion, fill and the nearest-neighbour scaled copy.
//
// Every copy (surface to surface, caller's buffer to surface, surface to caller's buffer) runs
// through blit(): areas are normalised and clipped once, a column map and a row map are built
// with exact integer steps (no division per pixel), and then each destination row is one call
// of convert_row(), whose methods are chosen once per copy: a plain or masked copy for equal
// formats, the 24-bit BGR to 32-bit XRGB loop and its reverse, a 256-entry table for indexed
// sources, and a generic decode-encode path for every other pair. Nothing here allocates per
// call: the maps, the run list and the copy-onto-itself buffer are kept and only grow.
//
// A scaled row is mostly runs where the source advances by exactly one pixel per destination
// pixel (320 -> 330 repeats ten pixels); such runs convert like unscaled rows, so the column map
// is turned into a run list once per copy when its runs are long enough to pay.
//
// On x86 processors with SSSE3 the 24-bit to 32-bit loop moves sixteen pixels at a time with
// byte shuffles, and with AVX2 the masked 32-bit copies move eight at a time, both chosen at
// run time; the portable loops do the rest and every other machine. A scaled masked copy (the
// demo's picture) is one call for all its rows and runs.
#include "platform/display/pixels.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

// The SSSE3 loop needs GCC's or clang's target attribute and processor check; other compilers
// and processors take the portable loops
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define DISPLAY_PIXELS_X86 1
#endif

namespace display {
namespace {

// ---- reading and writing one pixel of 1 to 4 bytes, little-endian, at any alignment ----

inline std::uint32_t load_pixel(const std::uint8_t* p, int bytes) {
    switch (bytes) {
        case 1:
            return p[0];
        case 2:
            return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
        case 3:
            return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
        default:
            return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                   std::uint32_t(p[3]) << 24;
    }
}

inline void store_pixel(std::uint8_t* p, int bytes, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    if (bytes > 1) p[1] = std::uint8_t(v >> 8);
    if (bytes > 2) p[2] = std::uint8_t(v >> 16);
    if (bytes > 3) p[3] = std::uint8_t(v >> 24);
}

// 32-bit pixels in one move: host order is the little-endian order of the formats
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixels are read as little-endian words");

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// ---- channels: a channel of w bits to 8 bits and back ----

// Bit replication: 5 bits 10000 become 10000100, so 0 stays 0 and the maximum becomes 255
inline std::uint32_t expand(std::uint32_t v, int w) {
    if (w == 0) return 0;
    if (w >= 8) return (v >> (w - 8)) & 0xff;
    std::uint32_t r = v << (8 - w);
    for (int k = w; k < 8; k *= 2) r |= r >> k;
    return r & 0xff;
}

inline std::uint32_t reduce(std::uint32_t c, int w) {
    if (w <= 8) return c >> (8 - w);
    return std::uint32_t(std::uint64_t(c) * ((std::uint64_t(1) << w) - 1) / 255);
}

std::uint32_t nearest_index(const std::uint32_t* palette, std::uint32_t argb) {
    const int r = (argb >> 16) & 0xff, g = (argb >> 8) & 0xff, b = argb & 0xff;
    int best = 0;
    long best_distance = 1L << 30;
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t c = palette[i];
        const int dr = int((c >> 16) & 0xff) - r, dg = int((c >> 8) & 0xff) - g,
                  db = int(c & 0xff) - b;
        const long distance = long(dr) * dr + long(dg) * dg + long(db) * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
            if (distance == 0) break;
        }
    }
    return std::uint32_t(best);
}

bool is_rgb(const PixelFormat& f, int bits) {
    return f.bits == bits && !f.indexed && f.mask[0] == 0xff0000 && f.mask[1] == 0xff00 &&
           f.mask[2] == 0xff;
}

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

// ---- one row of pixels from a source row into a destination row ----

enum class Method { copy, masked, bgr24_to_xrgb32, xrgb32_to_bgr24, lookup8, generic };

struct Conversion {
    Method method = Method::generic;
    const PixelFormat* from = nullptr;
    const PixelFormat* to = nullptr;
    const std::uint32_t* from_palette = nullptr;
    const std::uint32_t* to_palette = nullptr;
    std::uint32_t mask = 0;         // masked: the bits the destination keeps
    std::uint32_t table[256] = {};  // lookup8: destination pixel of each source index
};

void prepare(Conversion& c, const Image& from, const Image& to) {
    const PixelFormat& f = *from.format;
    const PixelFormat& t = *to.format;
    c.from = &f;
    c.to = &t;
    c.from_palette = from.palette;
    c.to_palette = to.palette;
    if (f.indexed) {
        if (t.indexed && std::memcmp(from.palette, to.palette, sizeof(Palette)) == 0) {
            c.method = Method::copy;
        } else {
            c.method = Method::lookup8;
            for (int i = 0; i < 256; ++i)
                c.table[i] = color_to_pixel(t, to.palette, from.palette[i]);
        }
    } else if (same_format(f, t)) {
        const std::uint32_t all = t.bytes == 4 ? 0xffffffffu : (1u << t.bits) - 1;
        c.method = t.used == all ? Method::copy : Method::masked;
        c.mask = t.used;
    } else if (is_rgb(f, 24) && f.mask[3] == 0 && is_rgb(t, 32) && t.mask[3] == 0) {
        c.method = Method::bgr24_to_xrgb32;
    } else if (is_rgb(f, 32) && (f.mask[3] == 0 || f.mask[3] == 0xff000000u) && is_rgb(t, 24) &&
               t.mask[3] == 0) {
        c.method = Method::xrgb32_to_bgr24;
    } else {
        c.method = Method::generic;
    }
}

// Destination pixels [at, at + count) of a scaled row show source pixels [from, from + count)
struct Run {
    std::int32_t at, from, count;
};

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

// The widest loop this processor offers, unless the vector loops are turned off
void masked_rows32(const MaskedRows& job) {
#ifdef DISPLAY_PIXELS_X86
    if (vector_loops_allowed && have_avx2()) return masked_rows32_avx2(job);
#endif
    masked_rows32_portable(job);
}

// Whether [a, a + a_bytes) and [b, b + b_bytes) share memory
inline bool overlap(const std::uint8_t* a, std::size_t a_bytes, const std::uint8_t* b,
                    std::size_t b_bytes) {
    const std::uintptr_t x = reinterpret_cast<std::uintptr_t>(a);
    const std::uintptr_t y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + b_bytes && y < x + a_bytes;
}

// Contiguous 32-bit pixels with the bits outside mask cleared. Rows that share memory (a
// caller's buffer inside the pixels) go pixel by pixel.
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

// Calls f(destination index, source index) for count pixels; the source index is i itself for
// a contiguous row, columns[i] for a scaled one. Two loops, so the contiguous one vectorises.
template <class F>
inline void each_pixel(const std::int32_t* columns, int count, F f) {
    if (columns) {
        for (int i = 0; i < count; ++i) f(i, columns[i]);
    } else {
        for (int i = 0; i < count; ++i) f(i, i);
    }
}

void convert_row(const Conversion& c, const std::uint8_t* src, const std::int32_t* columns,
                 int count, std::uint8_t* dst) {
    const int sb = c.from->bytes, db = c.to->bytes;
    switch (c.method) {
        case Method::copy:
            if (!columns) {
                std::memcpy(dst, src, std::size_t(count) * std::size_t(db));
            } else if (db == 4) {
                for (int i = 0; i < count; ++i) std::memcpy(dst + 4 * i, src + 4 * columns[i], 4);
            } else {
                for (int i = 0; i < count; ++i)
                    std::memcpy(dst + db * i, src + db * columns[i], std::size_t(db));
            }
            return;
        case Method::masked: {
            const std::uint32_t mask = c.mask;
            if (db == 4 && columns) {
                // The demo's scaled picture: a gather, unrolled by four
                int i = 0;
                for (; i + 4 <= count; i += 4) {
                    const std::uint32_t a = load32(src + 4 * columns[i]);
                    const std::uint32_t b = load32(src + 4 * columns[i + 1]);
                    const std::uint32_t c2 = load32(src + 4 * columns[i + 2]);
                    const std::uint32_t d = load32(src + 4 * columns[i + 3]);
                    store32(dst + 4 * i, a & mask);
                    store32(dst + 4 * i + 4, b & mask);
                    store32(dst + 4 * i + 8, c2 & mask);
                    store32(dst + 4 * i + 12, d & mask);
                }
                for (; i < count; ++i) store32(dst + 4 * i, load32(src + 4 * columns[i]) & mask);
            } else if (db == 4) {
                masked_copy32(src, count, dst, mask);
            } else {
                each_pixel(columns, count, [&](int i, int s) {
                    store_pixel(dst + db * i, db, load_pixel(src + db * s, db) & mask);
                });
            }
            return;
        }
        case Method::bgr24_to_xrgb32:
            if (!columns) {
                int i = 0;
#ifdef DISPLAY_PIXELS_X86
                if (vector_loops_allowed && have_ssse3())
                    i = bgr24_to_xrgb32_ssse3(src, count, dst);
#endif
                // Four pixels from three 32-bit words: twelve bytes b g r b | g r b g | r b g r
                for (; i + 4 <= count; i += 4) {
                    const std::uint32_t w0 = load32(src + 3 * i), w1 = load32(src + 3 * i + 4),
                                        w2 = load32(src + 3 * i + 8);
                    store32(dst + 4 * i, w0 & 0xffffff);
                    store32(dst + 4 * i + 4, (w0 >> 24) | (w1 & 0xffff) << 8);
                    store32(dst + 4 * i + 8, (w1 >> 16) | (w2 & 0xff) << 16);
                    store32(dst + 4 * i + 12, w2 >> 8);
                }
                for (; i < count; ++i) {
                    const std::uint8_t* p = src + 3 * i;
                    store32(dst + 4 * i, std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                             std::uint32_t(p[2]) << 16);
                }
                return;
            }
            each_pixel(columns, count, [&](int i, int s) {
                const std::uint8_t* p = src + 3 * s;
                store32(dst + 4 * i,
                        std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16);
            });
            return;
        case Method::xrgb32_to_bgr24:
            each_pixel(columns, count, [&](int i, int s) {
                const std::uint8_t* p = src + 4 * s;
                std::uint8_t* q = dst + 3 * i;
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
            });
            return;
        case Method::lookup8:
            each_pixel(columns, count,
                       [&](int i, int s) { store_pixel(dst + db * i, db, c.table[src[s]]); });
            return;
        case Method::generic: {
            // The last colour is remembered: runs of one colour convert once
            std::uint32_t last_in = 0, last_out = 0;
            bool have_last = false;
            each_pixel(columns, count, [&](int i, int s) {
                const std::uint32_t in = load_pixel(src + sb * s, sb);
                if (!have_last || in != last_in) {
                    last_in = in;
                    last_out = color_to_pixel(*c.to, c.to_palette,
                                              pixel_to_color(*c.from, c.from_palette, in));
                    have_last = true;
                }
                store_pixel(dst + db * i, db, last_out);
            });
            return;
        }
    }
}

// One scaled row from its run list: each run converts like a piece of an unscaled row. Copies
// between equal formats (the demo's picture) choose their loop once per row, not once per run.
void convert_runs(const Conversion& c, const std::uint8_t* src, const Run* runs, int run_count,
                  std::uint8_t* dst) {
    const int sb = c.from->bytes, db = c.to->bytes;
    if (c.method == Method::masked && db == 4) {
        const std::uint32_t mask = c.mask;
        for (int r = 0; r < run_count; ++r) {
            const Run run = runs[r];
            masked_copy32(src + 4 * std::size_t(run.from), run.count, dst + 4 * std::size_t(run.at),
                          mask);
        }
    } else if (c.method == Method::copy) {
        for (int r = 0; r < run_count; ++r) {
            const Run run = runs[r];
            std::memcpy(dst + std::size_t(run.at) * std::size_t(db),
                        src + std::size_t(run.from) * std::size_t(sb),
                        std::size_t(run.count) * std::size_t(db));
        }
    } else {
        for (int r = 0; r < run_count; ++r) {
            const Run run = runs[r];
            convert_row(c, src + std::size_t(run.from) * std::size_t(sb), nullptr, run.count,
                        dst + std::size_t(run.at) * std::size_t(db));
        }
    }
}

// ---- the destination-to-source map of a scaled copy ----

// Gives, for destination offsets u0, u0 + 1, ..., the source offset floor((2u + 1) s / 2d):
// the source pixel under the centre of destination pixel u when d pixels show s. One 128-bit
// division at the start (multiply_divide), then whole-number steps.
struct Sampler {
    std::int64_t q = 0, qs = 0;
    std::uint64_t rem = 0, rs = 0, den = 1;

    Sampler(std::int64_t u0, std::int64_t s, std::int64_t d) {
        den = std::uint64_t(2 * d);
        std::uint64_t quotient = 0;
        multiply_divide(std::uint64_t(2 * u0 + 1), std::uint64_t(s), den, &quotient, &rem);
        q = std::int64_t(quotient);
        const std::uint64_t step = std::uint64_t(2 * s);
        qs = std::int64_t(step / den);
        rs = step % den;
    }
    void next() {
        q += qs;
        rem += rs;
        if (rem >= den) {
            rem -= den;
            ++q;
        }
    }
};

// A buffer that only grows
struct Scratch {
    void* data = nullptr;
    std::size_t size = 0;

    void* reserve(std::size_t bytes) {
        if (bytes > size) {
            void* grown = std::realloc(data, bytes);
            if (!grown) throw std::bad_alloc();
            data = grown;
            size = bytes;
        }
        return data;
    }
    void release() {
        std::free(data);
        data = nullptr;
        size = 0;
    }
};

// The buffers of one thread, so that threads copying at once never share one
struct ScratchSet {
    Scratch column, row, run, self_copy;

    constexpr ScratchSet() = default;
    ScratchSet(const ScratchSet&) = delete;
    ScratchSet& operator=(const ScratchSet&) = delete;
    ~ScratchSet() {
        column.release();
        row.release();
        run.release();
        self_copy.release();
    }
};

// The first thread that copies (the program's own, as a rule) uses a set in static storage,
// freed at exit; any other thread a set of its own, freed when it ends. A thread's own set
// registers its destructor with the C library at its first use, which takes memory, and the C
// library ends the program when it cannot get it: the first thread never needs that, so it
// copies on, or reports the memory it lacks, however little is left.
ScratchSet first_set;
std::atomic<bool> first_set_taken{false};
thread_local signed char uses_first_set = -1;  // -1: not asked yet

ScratchSet& scratch() {
    if (uses_first_set < 0) {
        bool taken = false;
        uses_first_set = first_set_taken.compare_exchange_strong(taken, true) ? 1 : 0;
    }
    if (uses_first_set) return first_set;
    thread_local ScratchSet own;
    return own;
}

// Splits a column map into runs where the source advances by one per destination pixel.
// Returns how many runs; runs has room for count of them.
int build_runs(const std::int32_t* columns, int count, Run* runs) {
    int n = 0;
    for (int i = 0; i < count;) {
        int j = i + 1;
        while (j < count && columns[j] == columns[j - 1] + 1) ++j;
        runs[n++] = Run{i, columns[i], j - i};
        i = j;
    }
    return n;
}

// Runs shorter than this on average are gathered pixel by pixel: a call per run would cost more
constexpr int min_average_run = 8;

// The destination positions in [first, last) whose sample lies inside [0, limit), written to
// map as source positions. Returns how many; *start is the first destination position kept.
// The mapping never decreases, so the positions kept are one run.
int build_map(std::int64_t first, std::int64_t last, std::int64_t area_start,
              std::int64_t area_source_start, std::int64_t s, std::int64_t d, int limit,
              std::int32_t* map, std::int64_t* start) {
    Sampler sampler(first - area_start, s, d);
    int count = 0;
    *start = first;
    for (std::int64_t x = first; x < last; ++x, sampler.next()) {
        const std::int64_t source = area_source_start + sampler.q;
        if (source < 0) {
            *start = x + 1;
            continue;
        }
        if (source >= limit) break;
        map[count++] = std::int32_t(source);
    }
    return count;
}

}  // namespace

void allow_vector_loops(bool allowed) { vector_loops_allowed = allowed; }

// ---- formats and colours ----

bool make_format(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue,
                 std::uint32_t alpha, PixelFormat* format, const char** reason) {
    PixelFormat f;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        *reason = "bits per pixel must be 8, 16, 24 or 32";
        return false;
    }
    f.bits = bits;
    f.bytes = bits / 8;
    const std::uint32_t masks[4] = {red, green, blue, alpha};
    if (bits == 8 && (red | green | blue | alpha) == 0) {
        f.indexed = true;
        f.used = 0xff;
        *format = f;
        return true;
    }
    if ((red | green | blue) == 0) {
        *reason = "a direct-colour format needs at least one colour mask";
        return false;
    }
    const std::uint64_t room = std::uint64_t(1) << bits;
    for (int c = 0; c < 4; ++c) {
        const std::uint32_t m = masks[c];
        if (m >= room) {
            *reason = "a mask has bits beyond the pixel's size";
            return false;
        }
        if (f.used & m) {
            *reason = "masks overlap";
            return false;
        }
        f.used |= m;
        f.mask[c] = m;
        if (m == 0) continue;
        int shift = 0;
        while (!((m >> shift) & 1)) ++shift;
        int width = 0;
        while (shift + width < 32 && ((m >> (shift + width)) & 1)) ++width;
        if (shift + width < 32 && (m >> (shift + width)) != 0) {
            *reason = "a mask is not one run of bits";
            return false;
        }
        f.shift[c] = std::uint8_t(shift);
        f.width[c] = std::uint8_t(width);
    }
    *format = f;
    return true;
}

const PixelFormat& default_format() {
    static const PixelFormat format = [] {
        PixelFormat f;
        const char* reason = nullptr;
        make_format(32, 0xff0000, 0xff00, 0xff, 0, &f, &reason);
        return f;
    }();
    return format;
}

const Palette& default_palette() {
    static const Palette palette = [] {
        Palette p;
        for (std::uint32_t i = 0; i < 256; ++i) p.colors[i] = 0xff000000u | i * 0x010101u;
        return p;
    }();
    return palette;
}

bool same_format(const PixelFormat& a, const PixelFormat& b) {
    return a.bits == b.bits && a.indexed == b.indexed && a.mask[0] == b.mask[0] &&
           a.mask[1] == b.mask[1] && a.mask[2] == b.mask[2] && a.mask[3] == b.mask[3];
}

std::uint32_t color_to_pixel(const PixelFormat& f, const std::uint32_t* palette,
                             std::uint32_t argb) {
    if (f.indexed) return nearest_index(palette, argb);
    std::uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) {
        if (f.width[c] == 0) continue;
        const std::uint32_t channel = (argb >> (c == 3 ? 24 : 16 - 8 * c)) & 0xff;
        pixel |= (reduce(channel, f.width[c]) << f.shift[c]) & f.mask[c];
    }
    return pixel;
}

// A format without alpha gives opaque colours (alpha 0xff)
std::uint32_t pixel_to_color(const PixelFormat& f, const std::uint32_t* palette,
                             std::uint32_t pixel) {
    if (f.indexed) return palette[pixel & 0xff];
    std::uint32_t argb = f.width[3] ? 0 : 0xff000000u;
    for (int c = 0; c < 4; ++c) {
        if (f.width[c] == 0) continue;
        const std::uint32_t v = expand((pixel & f.mask[c]) >> f.shift[c], f.width[c]);
        argb |= v << (c == 3 ? 24 : 16 - 8 * c);
    }
    return argb;
}

// ---- rectangles ----

Rect normalise(Rect a) {
    if (a.left > a.right) std::swap(a.left, a.right);
    if (a.top > a.bottom) std::swap(a.top, a.bottom);
    return a;
}

Rect intersect(Rect a, Rect b) {
    a.left = std::max(a.left, b.left);
    a.top = std::max(a.top, b.top);
    a.right = std::min(a.right, b.right);
    a.bottom = std::min(a.bottom, b.bottom);
    if (a.left >= a.right || a.top >= a.bottom) return Rect{};
    return a;
}

Rect clip_to(Rect a, int width, int height) { return intersect(a, Rect{0, 0, width, height}); }

// ---- fill ----

void fill(const Image& image, Rect area, Rect clip, std::uint32_t pixel) {
    const Rect r = intersect(clip_to(normalise(area), image.width, image.height), clip);
    if (r.left >= r.right) return;
    const int bytes = image.format->bytes;
    const int count = r.right - r.left;
    std::uint8_t* row = image.pixels + std::size_t(r.top) * std::size_t(image.pitch) +
                        std::size_t(r.left) * std::size_t(bytes);
    const int rows = r.bottom - r.top;
    // Whole rows of an image without padding are one run
    if (count == image.width && image.pitch == image.width * bytes) {
        std::size_t total = std::size_t(count) * std::size_t(rows);
        const std::uint8_t low = std::uint8_t(pixel);
        bool bytes_equal = true;
        for (int b = 1; b < bytes; ++b) bytes_equal &= std::uint8_t(pixel >> (8 * b)) == low;
        if (bytes_equal) {
            std::memset(row, low, total * std::size_t(bytes));
            return;
        }
        for (std::size_t i = 0; i < total; ++i)
            store_pixel(row + i * std::size_t(bytes), bytes, pixel);
        return;
    }
    for (int y = 0; y < rows; ++y, row += image.pitch) {
        switch (bytes) {
            case 1:
                std::memset(row, int(pixel & 0xff), std::size_t(count));
                break;
            case 4:
                for (int i = 0; i < count; ++i) store_pixel(row + 4 * i, 4, pixel);
                break;
            default:
                for (int i = 0; i < count; ++i) store_pixel(row + bytes * i, bytes, pixel);
                break;
        }
    }
}

// ---- the scaled copy ----

void blit(const Image& source, Rect source_area, const Image& destination, Rect destination_area,
          Rect clip) {
    const Rect sa = normalise(source_area);
    const Rect da = normalise(destination_area);
    const std::int64_t sw = std::int64_t(sa.right) - sa.left, sh = std::int64_t(sa.bottom) - sa.top;
    const std::int64_t dw = std::int64_t(da.right) - da.left, dh = std::int64_t(da.bottom) - da.top;
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;

    // The destination window: the destination area within the image and the clip area
    const Rect window = intersect(clip_to(da, destination.width, destination.height), clip);
    if (window.left >= window.right) return;

    // A copy onto itself reads from a copy of the source, so overlapping areas come out right
    Image src = source;
    if (source.pixels == destination.pixels) {
        const std::size_t bytes = std::size_t(source.pitch) * std::size_t(source.height);
        src.pixels = static_cast<std::uint8_t*>(scratch().self_copy.reserve(bytes));
        std::memcpy(src.pixels, source.pixels, bytes);
    }

    Conversion conversion;
    prepare(conversion, src, destination);
    const int db = destination.format->bytes, sb = src.format->bytes;

    if (sw == dw && sh == dh) {
        // Same size: the sample of destination x is sa.left + (x - da.left)
        const std::int64_t dx = std::int64_t(sa.left) - da.left, dy = std::int64_t(sa.top) - da.top;
        const std::int64_t x0 = std::max<std::int64_t>(window.left, -dx);
        const std::int64_t x1 = std::min<std::int64_t>(window.right, src.width - dx);
        const std::int64_t y0 = std::max<std::int64_t>(window.top, -dy);
        const std::int64_t y1 = std::min<std::int64_t>(window.bottom, src.height - dy);
        if (x0 >= x1 || y0 >= y1) return;
        const int count = int(x1 - x0);
        int rows = int(y1 - y0);
        const std::uint8_t* s = src.pixels + std::size_t(y0 + dy) * std::size_t(src.pitch) +
                                std::size_t(x0 + dx) * std::size_t(sb);
        std::uint8_t* d = destination.pixels + std::size_t(y0) * std::size_t(destination.pitch) +
                          std::size_t(x0) * std::size_t(db);
        // Whole rows of two images without padding are one long row
        if (count == src.width && count == destination.width && src.pitch == count * sb &&
            destination.pitch == count * db && std::int64_t(count) * rows <= INT32_MAX) {
            convert_row(conversion, s, nullptr, count * rows, d);
            return;
        }
        for (int y = 0; y < rows; ++y, s += src.pitch, d += destination.pitch) {
            convert_row(conversion, s, nullptr, count, d);
        }
        return;
    }

    auto* columns = static_cast<std::int32_t*>(
        scratch().column.reserve(sizeof(std::int32_t) * std::size_t(window.right - window.left)));
    auto* rows = static_cast<std::int32_t*>(
        scratch().row.reserve(sizeof(std::int32_t) * std::size_t(window.bottom - window.top)));
    std::int64_t x_start = 0, y_start = 0;
    const int count = build_map(window.left, window.right, da.left, sa.left, sw, dw, src.width,
                                columns, &x_start);
    const int row_count =
        build_map(window.top, window.bottom, da.top, sa.top, sh, dh, src.height, rows, &y_start);
    if (count == 0 || row_count == 0) return;

    // Long runs of consecutive source columns convert as unscaled pieces of the row
    auto* runs = static_cast<Run*>(scratch().run.reserve(sizeof(Run) * std::size_t(count)));
    const int run_count = build_runs(columns, count, runs);
    const bool by_runs = run_count * min_average_run <= count;

    const std::size_t row_bytes = std::size_t(count) * std::size_t(db);
    std::uint8_t* d = destination.pixels + std::size_t(y_start) * std::size_t(destination.pitch) +
                      std::size_t(x_start) * std::size_t(db);
    // The demo's picture: every row in one loop, unless the pixels it reads and those it
    // writes share memory (a caller's buffer inside the destination's pixels)
    if (by_runs && conversion.method == Method::masked && db == 4) {
        MaskedRows job;
        job.src = src.pixels;
        job.src_pitch = std::size_t(src.pitch);
        job.rows = rows;
        job.row_count = row_count;
        job.runs = runs;
        job.run_count = run_count;
        job.dst = d;
        job.dst_pitch = std::size_t(destination.pitch);
        job.mask = conversion.mask;
        const Run& last = runs[run_count - 1];
        const std::uint8_t* first_read = src.pixels +
                                         std::size_t(rows[0]) * std::size_t(src.pitch) +
                                         4 * std::size_t(runs[0].from);
        const std::uint8_t* last_read = src.pixels +
                                        std::size_t(rows[row_count - 1]) * std::size_t(src.pitch) +
                                        4 * std::size_t(last.from + last.count);
        const std::size_t written =
            std::size_t(row_count - 1) * std::size_t(destination.pitch) + row_bytes;
        if (!overlap(first_read, std::size_t(last_read - first_read), d, written)) {
            masked_rows32(job);
            return;
        }
    }
    for (int j = 0; j < row_count; ++j, d += destination.pitch) {
        // Rows that sample the same source row are equal: copy the one just made
        if (j > 0 && rows[j] == rows[j - 1]) {
            std::memcpy(d, d - destination.pitch, row_bytes);
            continue;
        }
        const std::uint8_t* s = src.pixels + std::size_t(rows[j]) * std::size_t(src.pitch);
        if (by_runs) {
            convert_runs(conversion, s, runs, run_count, d);
        } else {
            convert_row(conversion, s, columns, count, d);
        }
    }
}

void multiply_divide_portable(std::uint64_t a, std::uint64_t b, std::uint64_t divisor,
                              std::uint64_t* quotient, std::uint64_t* remainder) {
    // The product in two 64-bit halves from four 32-bit products
    const std::uint64_t a_low = a & 0xffffffffu, a_high = a >> 32;
    const std::uint64_t b_low = b & 0xffffffffu, b_high = b >> 32;
    const std::uint64_t low_low = a_low * b_low, low_high = a_low * b_high;
    const std::uint64_t high_low = a_high * b_low, high_high = a_high * b_high;
    const std::uint64_t middle =
        (low_low >> 32) + (low_high & 0xffffffffu) + (high_low & 0xffffffffu);
    const std::uint64_t low = (low_low & 0xffffffffu) | (middle << 32);
    const std::uint64_t high = high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32);
    // Long division, one bit at a time: the remainder stays below the divisor (< 2^63), so
    // doubling it never overflows
    std::uint64_t q = 0, r = 0;
    for (int bit = 127; bit >= 0; --bit) {
        const std::uint64_t next = bit >= 64 ? (high >> (bit - 64)) & 1 : (low >> bit) & 1;
        r = (r << 1) | next;
        if (r >= divisor) {
            r -= divisor;
            if (bit < 64) q |= std::uint64_t(1) << bit;
        }
    }
    *quotient = q;
    *remainder = r;
}

void multiply_divide(std::uint64_t a, std::uint64_t b, std::uint64_t divisor,
                     std::uint64_t* quotient, std::uint64_t* remainder) {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 wide;
    const wide product = wide(a) * b;
    *quotient = std::uint64_t(product / divisor);
    *remainder = std::uint64_t(product % divisor);
#else
    multiply_divide_portable(a, b, divisor, quotient, remainder);
#endif
}

}  // namespace display
