// The terminal back end's cells: where the picture goes, the 256-colour palette, and the exact
// bytes written for small frames and for what changes between them.
#include "platform/display/backends/terminal_cells.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using display::CellLayout;
using display::TerminalCells;
using display::TerminalColors;

const char* const clear = "\x1b[m\x1b[2J";
const std::string upper = "\xe2\x96\x80", full = "\xe2\x96\x88";

std::string encode(TerminalCells& cells) {
    const std::size_t n = cells.encode();
    return std::string(cells.buffer(), n);
}

// Cells for a picture of width x height pixels that fills a terminal exactly
TerminalCells exact_cells(int width, int height, TerminalColors colors = TerminalColors::direct) {
    TerminalCells cells;
    cells.layout(display::fit_picture(width, height, width, (height + 1) / 2), width, height,
                 colors);
    return cells;
}

TEST(TerminalCells, FitKeepsTheAspectAndCentres) {
    struct Case {
        int columns, rows, left, top, width, height;
    };
    const Case cases[] = {
        {100, 40, 0, 4, 100, 62},  // as wide as the terminal: 31 rows, 4 above
        {60, 40, 0, 10, 60, 37},   // an odd height: the last row has a top half only
        {100, 20, 18, 0, 64, 40},  // as tall as the terminal: bars left and right
        {1, 1, 0, 0, 1, 0},        // nothing fits: no pixel row
    };
    for (const Case& c : cases) {
        const CellLayout got = display::fit_picture(320, 200, c.columns, c.rows);
        EXPECT_EQ(got.left, c.left) << c.columns << "x" << c.rows;
        EXPECT_EQ(got.top, c.top) << c.columns << "x" << c.rows;
        EXPECT_EQ(got.width, c.height ? c.width : 0) << c.columns << "x" << c.rows;
        EXPECT_EQ(got.height, c.height) << c.columns << "x" << c.rows;
    }
    const CellLayout huge = display::fit_picture(320, 200, 50000, 50000);
    EXPECT_EQ(huge.columns, display::max_terminal_side);
    EXPECT_EQ(huge.width, display::max_terminal_side);
}

// A mouse report's cell gives the console pixel under its centre: 320 x 200 in 100 x 40 cells
// fills 100 x 62 scaled pixels from row 4, each cell 3.2 pixels wide and 6.45 tall; the last
// row shows its upper half alone. Beyond the picture the pixel is outside.
TEST(TerminalCells, ACellStandsForThePixelUnderItsCentre) {
    const CellLayout layout = display::fit_picture(320, 200, 100, 40);
    const auto at = [&](int column, int row) {
        int x = 0, y = 0;
        const bool inside = display::cell_pixel(layout, 320, 200, column, row, &x, &y);
        return std::to_string(x) + "," + std::to_string(y) + (inside ? " in" : " out");
    };
    EXPECT_EQ(at(0, 4), "1,3 in");
    EXPECT_EQ(at(50, 10), "161,41 in");
    EXPECT_EQ(at(99, 34), "318,196 in") << "the last row: its upper half";
    EXPECT_EQ(at(99, 35), "318,203 out");
    EXPECT_EQ(at(0, 3), "1,-4 out");
    EXPECT_EQ(at(100, 10), "321,41 out");
    // One cell a pixel wide and two tall: the lower of its two pixels
    const CellLayout exact = display::fit_picture(80, 48, 80, 24);
    int x = 0, y = 0;
    EXPECT_TRUE(display::cell_pixel(exact, 80, 48, 3, 5, &x, &y));
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 11);
}

TEST(TerminalCells, PaletteIndexOfCubeAndGreyColours) {
    EXPECT_EQ(display::terminal_palette_index(0x000000), 16);
    EXPECT_EQ(display::terminal_palette_index(0xffffff), 231);
    EXPECT_EQ(display::terminal_palette_index(0xff0000), 196);
    EXPECT_EQ(display::terminal_palette_index(0x0000ff), 21);
    EXPECT_EQ(display::terminal_palette_index(0x5f87af), 67) << "a cube colour exactly";
    EXPECT_EQ(display::terminal_palette_index(0x808080), 244) << "grey 128 is on the ramp";
    EXPECT_EQ(display::terminal_palette_index(0x646464), 241) << "grey 100: ramp 98, not cube 95";
    EXPECT_EQ(display::terminal_palette_index(0xe6c828), 220) << "the finial's gold";
}

// The palette entry's red, green and blue
std::uint32_t palette_rgb(int index) {
    static const int levels[6] = {0, 95, 135, 175, 215, 255};
    if (index >= 232) return 0x010101u * std::uint32_t(8 + 10 * (index - 232));
    const int i = index - 16;
    return std::uint32_t(levels[i / 36]) << 16 | std::uint32_t(levels[i / 6 % 6]) << 8 |
           std::uint32_t(levels[i % 6]);
}

// Greens stay green in 256 colours: the demo's grass, its dark stripes, a pale green, each
// mapped to a green entry; dithered over a 4 x 4 patch (every place of the dither), most half
// cells green and none of another hue (a dark green may take a dark grey here and there).
TEST(TerminalCells, GreensStayGreenInThePalette) {
    for (const std::uint32_t green : {0x3c8736u, 0x317530u, 0x0f3517u, 0x90c090u}) {
        std::vector<std::uint32_t> pixels(16, green);
        TerminalCells cells = exact_cells(4, 4, TerminalColors::indexed);
        cells.sample(pixels.data(), 4);
        // The half cells' palette entries, as a terminal would show them
        std::vector<int> shown;
        const std::string bytes = encode(cells);
        int foreground = -1, background = -1;
        for (std::size_t i = 0; i < bytes.size();) {
            if (bytes[i] == '\x1b') {
                const std::size_t end = bytes.find_first_of("mHC", i);
                const std::string codes = bytes.substr(i, end - i);
                for (std::size_t at = codes.find("8;5;"); at != std::string::npos;
                     at = codes.find("8;5;", at + 1)) {
                    (codes[at - 1] == '3' ? foreground : background) =
                        std::stoi(codes.substr(at + 4));
                }
                i = end + 1;
            } else if (bytes[i] == ' ') {
                shown.insert(shown.end(), {background, background});
                ++i;
            } else {
                const bool half = bytes.compare(i, 3, upper) == 0;
                shown.insert(shown.end(), {foreground, half ? background : foreground});
                i += 3;
            }
        }
        ASSERT_EQ(shown.size(), 16u);
        int greens = 0;
        for (const int index : shown) {
            const std::uint32_t rgb = palette_rgb(index);
            const int r = int(rgb >> 16), g = int(rgb >> 8 & 0xff), b = int(rgb & 0xff);
            EXPECT_TRUE((g > r && g > b) || (r == g && g == b))
                << std::hex << green << " became entry " << std::dec << index;
            greens += g > r && g > b;
        }
        EXPECT_GE(greens, 12) << std::hex << green;
        const std::uint32_t exact = palette_rgb(display::terminal_palette_index(green));
        EXPECT_GT(exact >> 8 & 0xff, exact >> 16) << std::hex << green;
    }
}

// A 2 x 4 frame in 2 x 2 cells: two colours, one colour on a new background, one colour that
// is the foreground already
TEST(TerminalCells, ExactBytesOfATwoByFourFrame) {
    const std::uint32_t r = 0xff0000, g = 0x00ff00, b = 0x0000ff, w = 0xffffff;
    std::uint32_t pixels[] = {r, g,  //
                              b, g,  //
                              w, r,  //
                              w, r};
    TerminalCells cells = exact_cells(2, 4);
    cells.sample(pixels, 2);
    EXPECT_EQ(encode(cells), clear + std::string("\x1b[1;1H\x1b[38;2;255;0;0;48;2;0;0;255m") +
                                 upper + "\x1b[48;2;0;255;0m \x1b[2;1H\x1b[48;2;255;255;255m " +
                                 full);

    EXPECT_EQ(encode(cells), "") << "nothing changed, nothing written";
    pixels[7] = b;  // the lower half of the last cell
    cells.sample(pixels, 2);
    EXPECT_EQ(encode(cells), "\x1b[2;2H\x1b[38;2;255;0;0;48;2;0;0;255m" + upper)
        << "one cell, its colours given again: a new frame assumes nothing";

    TerminalCells indexed = exact_cells(2, 4, TerminalColors::indexed);
    indexed.sample(pixels, 2);
    EXPECT_EQ(encode(indexed), clear + std::string("\x1b[1;1H\x1b[38;5;196;48;5;21m") + upper +
                                   "\x1b[48;5;46m \x1b[2;1H\x1b[48;5;231m \x1b[48;5;21m" + upper)
        << "the last cell keeps the foreground of the first";
}

TEST(TerminalCells, OnlyChangedCellsAreRewrittenWithShortMoves) {
    TerminalCells cells = exact_cells(6, 4);  // 6 x 2 cells, all black
    EXPECT_EQ(encode(cells).substr(0, 7), clear);
    cells.set(0, 0, 0x102030, 0x102030);
    cells.set(4, 0, 0x102030, 0x102030);
    cells.set(5, 1, 0x0a0b0c, 0x000000);
    EXPECT_EQ(encode(cells),
              "\x1b[1;1H\x1b[48;2;16;32;48m \x1b[3C \x1b[2;6H"
              "\x1b[38;2;10;11;12;48;2;0;0;0m" +
                  upper);
    cells.forget();
    const std::string again = encode(cells);
    EXPECT_EQ(again.substr(0, 7), clear) << "forgotten: the screen is cleared";
    int written = 0;
    for (std::size_t i = 0; i < again.size(); ++i) {
        if (again[i] == ' ' || again.compare(i, 3, upper) == 0 || again.compare(i, 3, full) == 0)
            ++written;
    }
    EXPECT_EQ(written, 12) << "every cell written again";
}

// Cells sample the centres of the scaled pixels; a picture of odd height ends on a row whose
// lower half is black
TEST(TerminalCells, SamplesPixelCentres) {
    std::vector<std::uint32_t> pixels(8 * 6);
    for (int i = 0; i < int(pixels.size()); ++i)
        pixels[std::size_t(i)] = 0xff000000u + i;  // top byte ignored
    TerminalCells cells;
    cells.layout(display::fit_picture(8, 6, 4, 2), 8, 6, TerminalColors::direct);  // 4 x 3 pixels
    ASSERT_EQ(cells.current().height, 3);
    cells.sample(pixels.data(), 8);
    const std::string got = encode(cells);
    // Column 0 samples x 1, row 0 y 1 and row 1 y 3: pixels 9 and 25; the second cell row
    // has y 5 above black
    const std::string first = "\x1b[1;1H\x1b[38;2;0;0;9;48;2;0;0;25m" + upper;
    EXPECT_EQ(got.substr(7, first.size()), first);
    EXPECT_NE(got.find("\x1b[2;1H\x1b[38;2;0;0;41;48;2;0;0;0m" + upper), std::string::npos) << got;
}

// Frames of many colours far from the origin, the most bytes per cell: the buffer holds them
// (the sanitizers see any write past it)
TEST(TerminalCells, WorstFramesFitTheBuffer) {
    CellLayout layout;
    layout.columns = layout.rows = display::max_terminal_side;
    layout.left = layout.top = 990;
    layout.width = 10;
    layout.height = 20;
    TerminalCells cells;
    cells.layout(layout, 10, 20, TerminalColors::direct);
    std::mt19937 random(7);
    std::vector<std::uint32_t> pixels(200);
    for (int frame = 0; frame < 3; ++frame) {
        for (auto& p : pixels) p = random() | 0x808080;  // three-digit channels
        cells.sample(pixels.data(), 10);
        EXPECT_GT(cells.encode(), 10 * 10 * 36u) << "every cell with both colours";
    }
}

}  // namespace
