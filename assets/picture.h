// Our picture "flagga.tga": a 320x200 flag with a Nordic cross in teal and gold, waving in
// a breeze (its shading follows the wave), flown against an evening sky that darkens towards
// the top, over green hills with a striped field at the bottom, and a sun in the upper right.
// A red marker sits in the top-left corner and a blue one in the bottom-left, so a picture
// shown upside down or mirrored is caught at a glance. No pixel is pure white: every channel
// stays at or below 250, so a white cube drawn over it always stands out.
#ifndef ASSETS_PICTURE_H
#define ASSETS_PICTURE_H

#include <cstdint>
#include <vector>

namespace picture {

constexpr int width = 320;
constexpr int height = 200;
constexpr int brightest = 250;  // no channel goes above this

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// The colour at (x, y), x to the right and y downward from the top-left pixel;
// 0 <= x < width, 0 <= y < height
Rgb pixel(int x, int y);

// The whole picture as an uncompressed 24-bit TGA file: 18-byte header without image ID or
// colour map, then the rows bottom first, each pixel blue, green, red
std::vector<uint8_t> tga_file();

}  // namespace picture

#endif
