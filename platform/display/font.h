// The library's built-in text font: 8 x 8 cells, one glyph for each printable ASCII character
// (32 to 126) and one for every other byte. Drawn by us, in font.cpp.
#ifndef PLATFORM_DISPLAY_FONT_H
#define PLATFORM_DISPLAY_FONT_H

#include <cstdint>

namespace display {

constexpr int glyph_size = 8;  // a cell is glyph_size x glyph_size pixels

// The eight rows of a character's glyph, top first; bit 7 of a row is its leftmost pixel.
// Bytes outside 32 to 126 all have the glyph of an empty box.
const std::uint8_t* glyph(unsigned char character);

}  // namespace display

#endif
