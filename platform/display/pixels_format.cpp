// Pixel formats and colours: a format made from its bits and masks, the default format and
// palette, and the conversion of one colour to a pixel value of a format and back (channels of
// any width to 8 bits by bit replication, to an indexed format by the nearest palette entry).
#include <cstdint>

#include "platform/display/pixels.h"

namespace display {
namespace {

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

}  // namespace

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

}  // namespace display
