// The wireframe cube. Every product that mixes an integer with a float is formed in double
// from the integer and the float value of the table or corner, and cut toward zero at once:
// the pixels depend on it (the tiny table entries near the zeros of sine and cosine turn 50
// into 49). Built with -ffp-contract=off so no multiply-add is fused behind our back.
#include "demo/cube.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <typeinfo>

const float cube_vertices[8][3] = {
    {10.0f, 10.0f, 10.0f},   {10.0f, 10.0f, -10.0f},   {10.0f, -10.0f, 10.0f},
    {10.0f, -10.0f, -10.0f}, {-10.0f, 10.0f, 10.0f},   {-10.0f, 10.0f, -10.0f},
    {-10.0f, -10.0f, 10.0f}, {-10.0f, -10.0f, -10.0f},
};

const int cube_edges[12][2] = {
    {0, 1}, {0, 4}, {4, 5}, {5, 1},  // the face at y = +10
    {3, 2}, {3, 7}, {7, 6}, {2, 6},  // the face at y = -10
    {0, 2}, {1, 3}, {4, 6}, {5, 7},  // the four edges between them
};

float cos_table[256];
float sin_table[256];

int angle_x;
int angle_y;
int angle_z;

int projected_x[8];
int projected_y[8];

namespace {

// Ten significant digits, a little above pi: the table entries that would be 0 are tiny
// non-zero numbers, and they change pixels.
constexpr double P = 3.141592654;

// A corner at or behind the viewer (divisor 0 or less) has no projection; its edges are not
// drawn. Rewritten by every draw_cube() with the projected corners.
bool behind_viewer[8];

// Truncation toward zero. Values beyond the 32-bit range (only absurd sizes make them) stick
// at its ends instead of being undefined.
int cut(double t) {
    if (t >= 2147483647.0) return std::numeric_limits<int>::max();
    if (t <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(t);
}

int clamp_to_int(long long value) {
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

// Angles index the tables modulo a full turn of 256, so a negative or large angle set from
// outside never reads past a table.
int table_index(int angle) { return static_cast<int>(static_cast<unsigned>(angle) & 255u); }

// Adds the step, then brings a negative result into 0..255 (the same direction), then sets 255
// or more to 0: 255 counts as a full turn, so entry 255 is never reached by stepping.
int advance(int angle, int step) {
    long long a = static_cast<long long>(angle) + step;
    if (a < 0) a = (a % 256 + 256) % 256;
    if (a >= 255) a = 0;
    return static_cast<int>(a);
}

// Grey copied into bits 16-23, 8-15 and 0-7, without masking it (modulo 2^32).
std::uint32_t grey_pixel(int grey) {
    const std::uint32_t g = static_cast<std::uint32_t>(grey);
    return g * 65536u | g * 256u | g;
}

// The pixel step of a line, as the surface expects it: lock, ask the width while locked, store,
// unlock. The caller has clipped (x, y) into the surface; a null address or a narrower row
// skips the store, which is the rare case (told to the compiler, so the store stays in the
// loop's straight path). Always inlined into the line loop where the compiler can be told: a
// call per pixel costs about as much as the pixel itself.
#if defined(__GNUC__)
#define CUBE_ALWAYS_INLINE inline __attribute__((always_inline))
#define CUBE_LIKELY(condition) __builtin_expect(!!(condition), 1)
#else
#define CUBE_ALWAYS_INLINE inline
#define CUBE_LIKELY(condition) (condition)
#endif
template <class Target>
CUBE_ALWAYS_INLINE void plot(Target& target, long long x, long long y, std::uint32_t pixel) {
    void* pixels = target.lock();
    const int width = target.width();
    if (CUBE_LIKELY(pixels != nullptr && x < width)) {
        static_cast<std::uint32_t*>(
            pixels)[static_cast<std::size_t>(x) +
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(width)] = pixel;
    }
    target.unlock();
}

// Any surface, through its virtual operations
struct AnySurface {
    trelk::BaseSurface& surface;
    void* lock() { return surface.lock(); }
    int width() { return surface.width(); }
    void unlock() { surface.unlock(); }
};

// A surface known to be the object layer's own, bound to its operations at compile time: the
// calls inline into the line loop, and what they read stays in registers across it
struct LayerSurface {
    trelk::Surface& surface;
    void* lock() { return surface.trelk::Surface::lock(); }
    int width() { return surface.trelk::Surface::width(); }
    void unlock() { surface.trelk::Surface::unlock(); }
};

// Pixels the caller holds locked: the store alone
struct LockedPixels {
    std::uint32_t* pixels;
    int row;
    void* lock() { return pixels; }
    int width() { return row; }
    void unlock() {}
};

template <class Target>
void line_pixels(Target& target, long long x1, long long y1, long long x2, long long y2, int grey,
                 const Clip& clip);
template <class Target>
void copies_of_line(Target& target, long long x1, long long y1, long long x2, long long y2,
                    long long first, long long last, int grey, const Clip& clip);
template <class Target>
void edges(Target& target, int grey, int thickness, const Clip& clip);

// Runs f with the surface as the most direct target it can be
template <class F>
void with_target(trelk::BaseSurface& surface, F f) {
    if (typeid(surface) == typeid(trelk::Surface)) {
        LayerSurface target{static_cast<trelk::Surface&>(surface)};
        f(target);
    } else {
        AnySurface target{surface};
        f(target);
    }
}

}  // namespace

int sign_of(long long value) { return value > 0 ? 1 : (value < 0 ? -1 : 0); }

// The products of coordinates (32-bit values plus offsets) need more than 64 bits: with the
// compiler's 128-bit integers where it has them, else with two 64-bit halves.
long long multiply_add_divide(long long a, long long b, long long c, long long d,
                              long long* remainder) {
#if defined(__GNUC__)
    // Most lines' products fit 64 bits: divide there, the 128-bit division is a library call
    {
        long long product = 0, sum = 0;
        if (!__builtin_mul_overflow(a, b, &product) && !__builtin_add_overflow(product, c, &sum)) {
            if (remainder) *remainder = sum % d;
            return sum / d;
        }
    }
#endif
#if defined(__SIZEOF_INT128__)
    __extension__ typedef __int128 wide;
    const wide n = static_cast<wide>(a) * b + c;
    const wide q = n / d;
    if (remainder) *remainder = static_cast<long long>(n % d);
    return q > LLONG_MAX ? LLONG_MAX : static_cast<long long>(q);
#else
    return multiply_add_divide_portable(a, b, c, d, remainder);
#endif
}

long long multiply_add_divide_portable(long long a, long long b, long long c, long long d,
                                       long long* remainder) {
    const std::uint64_t ua = static_cast<std::uint64_t>(a), ub = static_cast<std::uint64_t>(b);
    const std::uint64_t a_low = ua & 0xffffffffu, a_high = ua >> 32;
    const std::uint64_t b_low = ub & 0xffffffffu, b_high = ub >> 32;
    const std::uint64_t low_low = a_low * b_low, low_high = a_low * b_high;
    const std::uint64_t high_low = a_high * b_low, high_high = a_high * b_high;
    const std::uint64_t middle =
        (low_low >> 32) + (low_high & 0xffffffffu) + (high_low & 0xffffffffu);
    std::uint64_t low = (low_low & 0xffffffffu) | (middle << 32);
    std::uint64_t high = high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32);
    // Plus c, with its carry or borrow into the high half
    const std::uint64_t uc = static_cast<std::uint64_t>(c);
    const std::uint64_t sum = low + uc;
    high += (sum < low ? 1 : 0) + (c < 0 ? ~std::uint64_t(0) : 0);
    low = sum;
    // Long division by d, one bit at a time; the remainder stays below d (< 2^63)
    const std::uint64_t ud = static_cast<std::uint64_t>(d);
    std::uint64_t q = 0, r = 0;
    bool too_large = false;
    for (int bit = 127; bit >= 0; --bit) {
        r = (r << 1) | (bit >= 64 ? (high >> (bit - 64)) & 1 : (low >> bit) & 1);
        if (r >= ud) {
            r -= ud;
            if (bit >= 63) too_large = true;
            if (bit < 64) q |= std::uint64_t(1) << bit;
        }
    }
    if (remainder) *remainder = static_cast<long long>(r);
    return too_large ? LLONG_MAX : static_cast<long long>(q);
}

void build_trig_tables() {
    for (int k = 0; k < 256; ++k) {
        const double a = (k * P) / 128;
        cos_table[k] = static_cast<float>(std::cos(a));
        sin_table[k] = static_cast<float>(std::sin(a));
    }
}

void draw_cube(trelk::BaseSurface& surface, int x_offset, int y_offset, int z_offset, int size,
               int grey, int thickness) {
    project_cube(x_offset, y_offset, z_offset, size);
    draw_cube_edges(surface, grey, thickness);
}

void project_cube(int x_offset, int y_offset, int z_offset, int size) {
    const double cx = cos_table[table_index(angle_x)], sx = sin_table[table_index(angle_x)];
    const double cy = cos_table[table_index(angle_y)], sy = sin_table[table_index(angle_y)];
    const double cz = cos_table[table_index(angle_z)], sz = sin_table[table_index(angle_z)];
    const double s = size;

    for (int v = 0; v < 8; ++v) {
        const int x0 = cut(s * cube_vertices[v][0]);
        const int y0 = cut(s * cube_vertices[v][1]);
        const int z0 = cut(s * cube_vertices[v][2]);
        // About y, then x, then z; each stage starts from the cut values of the one before.
        const int x1 = cut(static_cast<double>(x0) * cy + static_cast<double>(z0) * sy);
        const int z1 = cut(-sy * x0 + static_cast<double>(z0) * cy);
        const int y2 = cut(static_cast<double>(y0) * cx - static_cast<double>(z1) * sx);
        const int z2 = cut(static_cast<double>(y0) * sx + static_cast<double>(z1) * cx);
        const int x3 = cut(static_cast<double>(x1) * cz - static_cast<double>(y2) * sz);
        const int y3 = cut(static_cast<double>(x1) * sz + static_cast<double>(y2) * cz);

        // Formed in 64 bits: the same as 32-bit arithmetic for every value that fits it, and
        // no overflow for the ones that do not.
        const long long d = static_cast<long long>(z2) + z_offset + 256;
        if (d <= 0) {
            behind_viewer[v] = true;
            projected_x[v] = 160;
            projected_y[v] = 100;
            continue;
        }
        behind_viewer[v] = false;
        projected_x[v] = clamp_to_int((static_cast<long long>(x3) - x_offset) * 256 / d + 160);
        projected_y[v] = clamp_to_int((static_cast<long long>(y_offset) - y3) * 256 / d + 100);
    }
}

void advance_angles(int step_x, int step_y, int step_z) {
    angle_x = advance(angle_x, step_x);
    angle_y = advance(angle_y, step_y);
    angle_z = advance(angle_z, step_z);
}

void draw_cube_edges(trelk::BaseSurface& surface, int grey, int thickness) {
    if (thickness <= 0) return;
    const Clip clip{surface.width(), surface.height()};
    with_target(surface, [&](auto& target) { edges(target, grey, thickness, clip); });
}

void draw_cube_edges_locked(std::uint32_t* pixels, int width, int height, int grey, int thickness) {
    if (thickness <= 0) return;
    LockedPixels target{pixels, width};
    edges(target, grey, thickness, Clip{width, height});
}

namespace {

template <class Target>
void edges(Target& target, int grey, int thickness, const Clip& clip) {
    // Offsets that move every drawable corner above the top or below the bottom draw nothing:
    // skip them, so a huge thickness costs only the rows it can reach.
    long long top = std::numeric_limits<long long>::max();
    long long bottom = std::numeric_limits<long long>::min();
    for (int v = 0; v < 8; ++v) {
        if (behind_viewer[v]) continue;
        top = std::min<long long>(top, projected_y[v]);
        bottom = std::max<long long>(bottom, projected_y[v]);
    }
    if (top > bottom) return;  // every corner behind the viewer
    const long long first = std::max(0LL, -bottom);
    const long long last = std::min<long long>(thickness - 1LL, clip.height - 1LL - top);

    // Every edge at every offset i from first to last. All of them have one grey, so the order
    // of the stores changes nothing: each edge's copies are drawn together, its line walked
    // once as its lowest copy, and at each of its pixels the column of the copies' pixels down
    // to it (each still its own lock, width, store and unlock): the same pixels, and as many
    // stores, as drawing the whole cube once per offset.
    if (first > last) return;
    for (const auto& edge : cube_edges) {
        const int a = edge[0];
        const int b = edge[1];
        if (behind_viewer[a] || behind_viewer[b]) continue;
        copies_of_line(target, projected_x[a], projected_y[a], projected_x[b], projected_y[b],
                       first, last, grey, clip);
    }
}

}  // namespace

void draw_line(trelk::BaseSurface& surface, int x1, int y1, int x2, int y2, int grey) {
    const Clip clip{surface.width(), surface.height()};
    draw_line(surface, static_cast<long long>(x1), static_cast<long long>(y1),
              static_cast<long long>(x2), static_cast<long long>(y2), grey, clip);
}

void draw_line(trelk::BaseSurface& surface, long long x1, long long y1, long long x2, long long y2,
               int grey, const Clip& clip) {
    with_target(surface, [&](auto& target) { line_pixels(target, x1, y1, x2, y2, grey, clip); });
}

namespace {

// The error-term rule: err starts at long / 2; after each pixel short is added, and when err
// reaches long, long is taken off and the step is diagonal, otherwise straight along the
// major axis. After k steps the minor axis has therefore moved (long / 2 + k * short) / long
// and err is the remainder, which lets the line start at its first pixel inside the surface
// and stop after its last, setting exactly the pixels the whole line would set there.
// What the pixel loop of a line needs besides its place: the pixels to draw, the error term and
// its two lengths, the steps along both axes
struct Steps {
    long long count, err, minor_length, length;
    int major_step, minor_step;
};

long long count_of(long long first, long long last) { return last - first + 1; }

// The pixels of a line along its major axis, counting down: one loop per axis, so fewer values
// live across the pixel step. A function of its own, never inlined, with everything it calls
// inlined into it where the compiler can be told (the surface's lock, width and unlock
// included): inside the large function of all the edges the compiler stops inlining the pixel
// step once that function has grown enough, and the loop then costs about twice as much.
#if defined(__GNUC__) && !defined(__clang__)
#define CUBE_FLATTEN __attribute__((noinline, flatten))
#else
#define CUBE_FLATTEN
#endif
template <bool x_major, class Target>
CUBE_FLATTEN void pixel_run(Target& target, long long major, long long minor, Steps s,
                            std::uint32_t pixel) {
    auto step = [&] {
        if (x_major) {
            plot(target, major, minor, pixel);
        } else {
            plot(target, minor, major, pixel);
        }
        s.err += s.minor_length;
        if (s.err >= s.length) {
            s.err -= s.length;
            minor += s.minor_step;
        }
        major += s.major_step;
    };
    // The first pixel on its own: once it has been drawn, the compiler has seen the surface's
    // handle pass its check and has read the slot, the pixels' address and the width, and as no
    // pixel store can change them it keeps them in registers for the rest of the line (inside
    // one loop, each pixel's check stands before those reads and they are redone every pixel)
    if (s.count <= 0) return;
    step();
    for (long long count = s.count - 1; count > 0; --count) step();
}

// The rows a pixel of a line's lowest copy stands for: itself and the spread rows above it,
// those inside [0, height)
struct Column {
    long long spread, height;
};

// pixel_run for the copies of a line (copies_of_line): each pixel of the lowest copy stands
// for a column of pixels, drawn from the top down before the line steps on. One loop over all
// the pixels, in pixel_run's shape, the step along the line taken where a column ends.
template <bool x_major, class Target>
CUBE_FLATTEN void column_run(Target& target, long long major, long long minor, Steps s,
                             Column column, std::uint32_t pixel) {
    if (s.count <= 0) return;
    long long columns = s.count;
    long long x = 0, row = 0, bottom = 0;
    auto start_column = [&] {
        x = x_major ? major : minor;
        const long long y = x_major ? minor : major;
        row = std::max(0LL, y - column.spread);
        bottom = std::min(column.height - 1, y);
    };
    auto step = [&] {
        plot(target, x, row, pixel);
        if (++row > bottom) {
            s.err += s.minor_length;
            if (s.err >= s.length) {
                s.err -= s.length;
                minor += s.minor_step;
            }
            major += s.major_step;
            if (--columns > 0) start_column();
        }
    };
    start_column();
    step();
    while (columns > 0) step();
}

// Where a line starts inside the clip area and how it goes on from there
struct LineSetUp {
    bool x_major;
    long long major, minor;  // its first pixel inside
    Steps steps;
};

// The part of the line from (x1, y1) to (x2, y2) inside [0, width) x [0, height); false when
// none of its pixels is
bool set_up_line(long long x1, long long y1, long long x2, long long y2, long long width,
                 long long height, LineSetUp* line) {
    const long long dx = x2 - x1;
    const long long dy = y2 - y1;
    const long long adx = dx < 0 ? -dx : dx;
    const long long ady = dy < 0 ? -dy : dy;

    // Equal lengths, the one-point line included, are y-major.
    const bool x_major = adx > ady;
    const long long length = x_major ? adx : ady;        // "long"
    const long long minor_length = x_major ? ady : adx;  // "short"
    const long long major_start = x_major ? x1 : y1;
    const long long minor_start = x_major ? y1 : x1;
    const int major_step = x_major ? sign_of(dx) : sign_of(dy);
    const int minor_step = x_major ? sign_of(dy) : sign_of(dx);
    const long long major_extent = x_major ? width : height;
    const long long minor_extent = x_major ? height : width;
    const long long half = length / 2;

    // Pixel k (0..length) lies at major_start + k * major_step along the major axis.
    long long first = 0;
    long long last = length;
    if (major_step > 0) {
        first = std::max(first, -major_start);
        last = std::min(last, major_extent - 1 - major_start);
    } else if (major_step < 0) {
        first = std::max(first, major_start - (major_extent - 1));
        last = std::min(last, major_start);
    } else if (major_start < 0 || major_start >= major_extent) {
        return false;
    }
    if (first > last) return false;

    // Along the minor axis it lies at minor_start + q(k) * minor_step, q(k) = (half + k *
    // short) / long, which never decreases: the pixels inside form one run of k.
    if (minor_step == 0) {
        if (minor_start < 0 || minor_start >= minor_extent) return false;
    } else {
        const long long q_low = minor_step > 0 ? -minor_start : minor_start - (minor_extent - 1);
        const long long q_high = minor_step > 0 ? minor_extent - 1 - minor_start : minor_start;
        if (q_high < 0 || q_low > q_high) return false;
        if (q_low > 0) {
            // The first k with half + k * short >= q_low * long
            const long long k =
                multiply_add_divide(q_low, length, minor_length - 1 - half, minor_length, nullptr);
            if (k > last) return false;
            first = std::max(first, k);
        }
        // The last k with half + k * short < (q_high + 1) * long
        const long long k =
            multiply_add_divide(q_high + 1, length, -half - 1, minor_length, nullptr);
        if (k < first) return false;
        last = std::min(last, k);
    }
    if (first > last) return false;

    // The state after `first` steps.
    long long err = half;
    long long minor_moves = 0;
    if (length > 0) {
        minor_moves = multiply_add_divide(first, minor_length, half, length, &err);
    }
    line->x_major = x_major;
    line->major = major_start + first * major_step;
    line->minor = minor_start + minor_moves * minor_step;
    line->steps = Steps{count_of(first, last), err, minor_length, length, major_step, minor_step};
    return true;
}

template <class Target>
void line_pixels(Target& target, long long x1, long long y1, long long x2, long long y2, int grey,
                 const Clip& clip) {
    LineSetUp line;
    if (!set_up_line(x1, y1, x2, y2, clip.width, clip.height, &line)) return;
    const std::uint32_t pixel = grey_pixel(grey);
    if (line.x_major) {
        pixel_run<true>(target, line.major, line.minor, line.steps, pixel);
    } else {
        pixel_run<false>(target, line.major, line.minor, line.steps, pixel);
    }
}

// The copies of a line at offsets first to last below it (first <= last), each clipped as
// line_pixels clips it: the line is walked once, as its lowest copy inside rows [0, height +
// spread), and each of its pixels (x, y) stands for the copies' pixels at rows y - spread to y
// that lie in the surface. The same pixels as each copy drawn on its own, in another order.
template <class Target>
void copies_of_line(Target& target, long long x1, long long y1, long long x2, long long y2,
                    long long first, long long last, int grey, const Clip& clip) {
    const long long spread = last - first;
    LineSetUp line;
    if (!set_up_line(x1, y1 + last, x2, y2 + last, clip.width, clip.height + spread, &line)) {
        return;
    }
    const std::uint32_t pixel = grey_pixel(grey);
    const Column column{spread, clip.height};
    if (line.x_major) {
        column_run<true>(target, line.major, line.minor, line.steps, column, pixel);
    } else {
        column_run<false>(target, line.major, line.minor, line.steps, column, pixel);
    }
}

}  // namespace
