// Pixel formats, palettes, rectangles and the pixel engine: colour conversion between any two
// supported formats, filling, and the nearest-neighbour scaled copy that copy, load and save
// share. Pure functions over caller-described images; no handles, no SDL.
//
// Formats: direct colour of 8, 16, 24 or 32 bits described by four contiguous masks (red,
// green, blue, alpha), or 8-bit indexed (bits 8 with every mask 0) through a 256-colour
// palette. A pixel of b bytes is read as a little-endian integer, so the 24-bit format with
// masks 0xff0000, 0xff00, 0xff is three bytes blue, green, red. Colours are 0xAARRGGBB.
#ifndef PLATFORM_DISPLAY_PIXELS_H
#define PLATFORM_DISPLAY_PIXELS_H

#include <cstdint>

namespace display {

constexpr int max_dimension = 16384;  // largest width or height of any image, in pixels

struct PixelFormat {
    int bits = 0;                // 8, 16, 24 or 32; 0 only in a default ModeValue
    int bytes = 0;               // bits / 8
    bool indexed = false;        // 8-bit indexes into a palette
    std::uint32_t mask[4] = {};  // red, green, blue, alpha
    std::uint8_t shift[4] = {};  // lowest set bit of each mask
    std::uint8_t width[4] = {};  // number of bits of each mask (0: channel absent)
    std::uint32_t used = 0;      // all masks together; other bits are written as 0
};

struct Palette {
    std::uint32_t colors[256];  // 0xAARRGGBB
};

// left, top, right, bottom; right and bottom are exclusive: (0, 0, 320, 200) is 320 x 200
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Pixels described by their owner: rows are pitch bytes apart, pitch >= width * bytes
struct Image {
    std::uint8_t* pixels = nullptr;
    int width = 0, height = 0, pitch = 0;
    const PixelFormat* format = nullptr;
    const std::uint32_t* palette = nullptr;  // 256 colours; used by indexed formats
};

// A format from bits and masks; returns false and a reason for an unknown format
bool make_format(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue,
                 std::uint32_t alpha, PixelFormat* format, const char** reason);
const PixelFormat& default_format();  // 32-bit XRGB: 0xff0000, 0xff00, 0xff, alpha 0
const Palette& default_palette();     // entry i is the opaque grey (i, i, i)
bool same_format(const PixelFormat& a, const PixelFormat& b);

// Colour <-> pixel value. An indexed format maps a colour to the nearest palette entry.
std::uint32_t color_to_pixel(const PixelFormat& format, const std::uint32_t* palette,
                             std::uint32_t argb);
std::uint32_t pixel_to_color(const PixelFormat& format, const std::uint32_t* palette,
                             std::uint32_t pixel);

// The rectangle with left <= right and top <= bottom: a reversed area names the same pixels
Rect normalise(Rect area);
// The common part of two normalised areas; (0, 0, 0, 0) when they do not meet
Rect intersect(Rect a, Rect b);
// Intersection of a normalised area with the image bounds (0, 0, width, height)
Rect clip_to(Rect area, int width, int height);

// Fills the part of area (normalised, then clipped to the image and to clip) with a pixel value
void fill(const Image& image, Rect area, Rect clip, std::uint32_t pixel);

// Copies source_area of source into destination_area of destination, converting formats and
// scaling by nearest neighbour (destination pixel centres sample the source). Both areas are
// normalised; destination pixels outside the destination image or outside clip are skipped,
// and so are those whose sample falls outside the source image: clipping keeps the scale.
// An empty area copies nothing. Source and destination may be the same image.
void blit(const Image& source, Rect source_area, const Image& destination, Rect destination_area,
          Rect clip);

// Whether the pixel loops may use the processor's vector extensions when it has them (the
// default). Turned off, every copy runs the portable loops, which give the same pixels: tests
// compare the two.
void allow_vector_loops(bool allowed);

// floor(a * b / divisor) and its remainder, exactly, for any a and b and a divisor below 2^63
// whose quotient fits in 64 bits: with the compiler's 128-bit integers where it has them,
// else multiply_divide_portable (the same results; tests compare the two)
void multiply_divide(std::uint64_t a, std::uint64_t b, std::uint64_t divisor,
                     std::uint64_t* quotient, std::uint64_t* remainder);
void multiply_divide_portable(std::uint64_t a, std::uint64_t b, std::uint64_t divisor,
                              std::uint64_t* quotient, std::uint64_t* remainder);

}  // namespace display

#endif
