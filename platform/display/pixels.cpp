// The pixel engine: fill and the nearest-neighbour scaled copy, with the rectangle helpers
// they share. Formats and colours are in pixels_format.cpp, the loops with a processor-specific
// form in pixels_loops.cpp.
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
// is turned into a run list once per copy when its runs are long enough to pay. A scaled masked
// copy (the demo's picture) is one call for all its rows and runs.
#include "platform/display/pixels.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/display/pixels_loops.h"

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

bool is_rgb(const PixelFormat& f, int bits) {
    return f.bits == bits && !f.indexed && f.mask[0] == 0xff0000 && f.mask[1] == 0xff00 &&
           f.mask[2] == 0xff;
}

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
                int i = bgr24_to_xrgb32_vector(src, count, dst);
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
