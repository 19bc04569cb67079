// The demo's icon, drawn from our picture: the square around the flag and its pole, scaled to
// the size asked for, as a PNG file (the desktop's menus) and as a Windows icon file holding
// PNG images of several sizes (the program's file in Explorer, the task bar).
#ifndef ASSETS_ICON_H
#define ASSETS_ICON_H

#include <cstdint>
#include <vector>

namespace icon {

// The part of the picture the icon shows: a square, its top-left corner and its side
constexpr int crop_left = 84;
constexpr int crop_top = 0;
constexpr int crop_side = 184;

// The icon's pixels at size x size, rows top first, red, green, blue a pixel; each pixel the
// average of 4 x 4 samples of the picture, so it scales up and down alike. 1 <= size <= 1024
std::vector<uint8_t> pixels(int size);

// A PNG file of the icon at size x size: 8-bit RGB, no interlacing, compressed with zlib
std::vector<uint8_t> png_file(int size);

// A Windows icon file with the icon at 16, 32, 48 and 256 pixels, each stored as a PNG image
std::vector<uint8_t> ico_file();

}  // namespace icon

#endif
