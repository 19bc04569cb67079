// Lines, shapes, text and image files (trelk/graphics.h through trelk/draw.h): shapes drawn
// exactly at the hard cases and unchanged by clipping, colours stored as put() stores them,
// text against a reference picture, PNG and TGA files read back in every format, and the
// files the loader refuses, each with its reason and nothing made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/display_support.h"
#include "trelk/draw.h"
#include "trelk/format.h"

namespace {

using display_test::message_of;

const trelk::Format xrgb(32, 0xff0000, 0xff00, 0xff, 0);

std::string scratch(const std::string& name) {
    return testing::TempDir() + "display_graphics_" + std::to_string(getpid()) + "_" + name;
}

// The surface as rows of '#' (a pixel set) and '.' (still 0), one string a row
std::vector<std::string> picture(trelk::BaseSurface& surface) {
    std::vector<std::string> rows;
    for (int y = 0; y < surface.height(); ++y) {
        std::string row;
        for (int x = 0; x < surface.width(); ++x)
            row += trelk::get(surface, x, y) & 0xffffff ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

void clear(trelk::BaseSurface& surface) { surface.clear(); }

class DisplayGraphics : public display_test::DisplayTest {};

TEST_F(DisplayGraphics, LinesHaveEveryPixelAndBothEndsWhicheverWayDrawn) {
    trelk::Surface s(8, 6, xrgb);
    trelk::line(s, 3, 2, 3, 2, 0xffffff);
    EXPECT_EQ(picture(s), (std::vector<std::string>{"........", "........", "...#....", "........",
                                                    "........", "........"}))
        << "one point is one pixel";
    // Shallow, halves rounded away from the left end; then steep and reversed
    for (auto ends : {std::vector<int>{0, 0, 5, 2}, {5, 2, 0, 0}}) {
        clear(s);
        trelk::line(s, ends[0], ends[1], ends[2], ends[3], 0xffffff);
        EXPECT_EQ(picture(s), (std::vector<std::string>{"##......", "..##....", "....##..",
                                                        "........", "........", "........"}));
    }
    for (auto ends : {std::vector<int>{6, 0, 4, 5}, {4, 5, 6, 0}}) {
        clear(s);
        trelk::line(s, ends[0], ends[1], ends[2], ends[3], 0xffffff);
        EXPECT_EQ(picture(s), (std::vector<std::string>{"......#.", "......#.", ".....#..",
                                                        ".....#..", "....#...", "....#..."}));
    }
}

TEST_F(DisplayGraphics, ClippingLeavesPixelsOutAndChangesNoneOfTheRest) {
    // Random lines and circles, drawn whole and then inside a clip area: the clipped drawing
    // is the whole one cut to the clip, pixel for pixel
    trelk::Surface whole(64, 48, xrgb), clipped(64, 48, xrgb);
    clipped.clip(trelk::Area(9, 7, 41, 30));
    std::mt19937 random(30);
    std::uniform_int_distribution<int> coordinate(-90, 150), radius(0, 40);
    for (int i = 0; i < 400; ++i) {
        clear(whole);
        clear(clipped);
        const int x0 = coordinate(random), y0 = coordinate(random);
        const int x1 = coordinate(random), y1 = coordinate(random), r = radius(random);
        for (trelk::Surface* s : {&whole, &clipped}) {
            switch (i % 4) {
                case 0:
                    trelk::line(*s, x0, y0, x1, y1, 0xffffff);
                    break;
                case 1:
                    trelk::circle(*s, x0 / 2, y0 / 2, r, 0xffffff);
                    break;
                case 2:
                    trelk::fill_circle(*s, x0 / 2, y0 / 2, r, 0xffffff);
                    break;
                default:
                    trelk::rect(*s, x0 / 2, y0 / 2, x1 / 2, y1 / 2, 0xffffff);
            }
        }
        const auto all = picture(whole), cut = picture(clipped);
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                const bool inside = x >= 9 && x < 41 && y >= 7 && y < 30;
                ASSERT_EQ(cut[y][x], inside ? all[y][x] : '.')
                    << "shape " << i % 4 << ": " << x0 << "," << y0 << " " << x1 << "," << y1
                    << " r " << r << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(DisplayGraphics, ShapesFarOutsideAreExactAndCheap) {
    trelk::Surface s(8, 4, xrgb);
    // Four thousand million steps wide, one pixel of rise: the half-way step is x = 0
    trelk::line(s, -2000000000, 0, 2000000000, 1, 0xffffff);
    EXPECT_EQ(picture(s),
              (std::vector<std::string>{"........", "########", "........", "........"}));
    clear(s);
    trelk::line(s, 2000000000, 2000000000, -2000000000, -2000000000, 0xffffff);
    EXPECT_EQ(picture(s),
              (std::vector<std::string>{"#.......", ".#......", "..#.....", "...#...."}));
    clear(s);
    // The edge of a circle of radius a thousand million: one column, at x = 3
    trelk::circle(s, 3 - 1000000000, 2, 1000000000, 0xffffff);
    EXPECT_EQ(picture(s),
              (std::vector<std::string>{"...#....", "...#....", "...#....", "...#...."}));
    clear(s);
    trelk::circle(s, 3, 1, -1, 0xffffff);
    trelk::fill_circle(s, 3, 1, -5, 0xffffff);
    trelk::rect(s, 5, 1, 5, 3, 0xffffff);
    EXPECT_EQ(picture(s),
              (std::vector<std::string>{"........", "........", "........", "........"}))
        << "a negative radius and an empty rectangle draw nothing";
}

TEST_F(DisplayGraphics, CirclesAndRectanglesAtSmallSizes) {
    trelk::Surface s(11, 9, xrgb);
    trelk::circle(s, 1, 1, 0, 0xffffff);       // the centre alone
    trelk::fill_circle(s, 1, 5, 1, 0xffffff);  // 3 x 3
    trelk::circle(s, 6, 4, 3, 0xffffff);
    EXPECT_EQ(picture(s), (std::vector<std::string>{
                              "...........",
                              ".#...###...",
                              "....#...#..",
                              "...#.....#.",
                              "####.....#.",
                              "####.....#.",
                              "###.#...#..",
                              ".....###...",
                              "...........",
                          }));
    trelk::Surface r(6, 4, xrgb);
    trelk::rect(r, 0, 0, 4, 3, 0xffffff);
    trelk::rect(r, 5, 3, 6, 4, 0xffffff);  // 1 x 1
    EXPECT_EQ(picture(r), (std::vector<std::string>{"####..", "#..#..", "####..", ".....#"}));
}

TEST_F(DisplayGraphics, ColoursAreStoredAsPutStoresThemOnSurfacesAndConsoles) {
    const trelk::Format formats[] = {trelk::Format(8, 0, 0, 0, 0),
                                     trelk::Format(16, 0xf800, 0x7e0, 0x1f, 0),
                                     trelk::Format(24, 0xff0000, 0xff00, 0xff, 0),
                                     trelk::Format(32, 0xff0000, 0xff00, 0xff, 0xff000000)};
    for (const trelk::Format& format : formats) {
        trelk::Surface s(16, 16, format);
        for (std::uint32_t color : {0x80c0ffeeu, 0x12345678u, 0xffffffffu}) {
            trelk::put(s, 0, 0, color);
            trelk::line(s, 1, 1, 3, 1, color);
            trelk::fill_circle(s, 8, 8, 2, color);
            trelk::text(s, 0, 8, "#", color);
            EXPECT_EQ(trelk::get(s, 2, 1), trelk::get(s, 0, 0)) << std::hex << color;
            EXPECT_EQ(trelk::get(s, 8, 8), trelk::get(s, 0, 0)) << std::hex << color;
            EXPECT_EQ(trelk::get(s, 2, 8), trelk::get(s, 0, 0)) << std::hex << color;
        }
    }
    // A console, open, in its own format; closed, a clear error
    trelk::Console console;
    console.open("graphics", 32, 24, xrgb, 0);
    trelk::circle(console, 10, 10, 4, 0xff00ff00);
    EXPECT_EQ(trelk::get(console, 14, 10), 0xff00ff00u);
    EXPECT_EQ(trelk::get(console, 10, 10), 0xff000000u);
    console.close();
    try {
        trelk::line(console, 0, 0, 5, 5, 0xffffffff);
        ADD_FAILURE() << "a closed console took a line";
    } catch (const trelk::DynamicError& error) {
        EXPECT_NE(message_of(error).find("not open"), std::string::npos) << message_of(error);
    }
}

// The font's every glyph, and a line on a background, against the picture in tests/data
// (looked at when made: TRELK_UPDATE_REFERENCE=1 writes it anew)
TEST_F(DisplayGraphics, TextMatchesItsReferencePicture) {
    std::string characters;
    for (int c = 32; c < 127; ++c) characters += char(c) + std::string(c % 16 == 15 ? "\n" : "");
    const trelk::TextSize size = trelk::text_size(characters.c_str());
    EXPECT_EQ(size.width, 16 * 8);
    EXPECT_EQ(size.height, 6 * 8);
    EXPECT_EQ(trelk::text_size("").width, 0);
    EXPECT_EQ(trelk::text_size("ab\n").height, 16) << "a final newline starts an empty line";

    trelk::Surface s(size.width, size.height + 8, xrgb);
    trelk::text(s, 0, 0, characters.c_str(), 0xffffffff);
    trelk::text(s, 8, size.height, "On blue\t", 0xffffff00, 0xff2040c0);  // a tab: the box
    const std::string reference = std::string(DISPLAY_TESTS_DIR) + "/data/font_reference.png";
    if (std::getenv("TRELK_UPDATE_REFERENCE")) trelk::save_image(s, reference.c_str());
    const auto expected = trelk::load_image(reference.c_str(), xrgb);
    ASSERT_EQ(expected->width(), s.width());
    ASSERT_EQ(expected->height(), s.height());
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x)
            ASSERT_EQ(trelk::get(s, x, y), trelk::get(*expected, x, y)) << x << "," << y;
    }
    // Clipped on the left and above: the rest of each glyph is where it was
    trelk::Surface shifted(s.width(), s.height(), xrgb);
    trelk::text(shifted, -3, -5, characters.c_str(), 0xffffffff);
    for (int y = 0; y + 5 < size.height; ++y) {
        for (int x = 0; x + 3 < size.width; ++x)
            ASSERT_EQ(trelk::get(shifted, x, y), trelk::get(s, x + 3, y + 5)) << x << "," << y;
    }
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(DisplayGraphics, PngFilesRoundTripInEveryFormat) {
    const std::uint32_t formats[][5] = {
        {8, 0, 0, 0, 0},
        {16, 0xf800, 0x7e0, 0x1f, 0},
        {16, 0x7c00, 0x3e0, 0x1f, 0x8000},
        {24, 0xff0000, 0xff00, 0xff, 0},
        {32, 0xff0000, 0xff00, 0xff, 0},
        {32, 0xff0000, 0xff00, 0xff, 0xff000000},
        {32, 0xff, 0xff00, 0xff0000, 0xff000000},
    };
    const std::string file = scratch("round.png");
    std::mt19937 random(8);
    for (const auto& masks : formats) {
        const trelk::Format format(int(masks[0]), masks[1], masks[2], masks[3], masks[4]);
        trelk::Surface s(13, 7, format);
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 13; ++x) trelk::put(s, x, y, random() | (x % 3 ? 0xff000000 : 0));
        }
        trelk::save_image(s, file.c_str());
        const auto back = trelk::load_image(file.c_str(), format);
        ASSERT_EQ(back->width(), 13);
        ASSERT_EQ(back->height(), 7);
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(trelk::get(*back, x, y), trelk::get(s, x, y)) << x << "," << y;
        }
    }
    unlink(file.c_str());
}

// A TGA's bytes: the header for width x height of depth bits (type 2 raw, 10 run-length),
// rows from the top when top is set, then the pixel data as given
std::vector<std::uint8_t> tga(int type, int width, int height, int depth, bool top,
                              const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes = {0, 0, std::uint8_t(type), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int v : {width, height}) {
        bytes.push_back(std::uint8_t(v));
        bytes.push_back(std::uint8_t(v >> 8));
    }
    bytes.push_back(std::uint8_t(depth));
    bytes.push_back(std::uint8_t((depth == 32 ? 8 : 0) | (top ? 0x20 : 0)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

TEST_F(DisplayGraphics, TgaFilesRawAndRunLengthFromEitherEnd) {
    const trelk::Format argb(32, 0xff0000, 0xff00, 0xff, 0xff000000);
    const std::string file = scratch("picture.tga");
    // 3 x 2, bottom row first, blue green red: the top row is red, green, blue
    write_file(file, tga(2, 3, 2, 24, false,
                         {9, 9, 9, 8, 8, 8, 7, 7, 7, 0, 0, 255, 0, 255, 0, 255, 0, 0}));
    auto s = trelk::load_image(file.c_str(), argb);
    EXPECT_EQ(trelk::get(*s, 0, 0), 0xffff0000u);
    EXPECT_EQ(trelk::get(*s, 2, 0), 0xff0000ffu);
    EXPECT_EQ(trelk::get(*s, 2, 1), 0xff070707u);
    // Run-length, top row first, with alpha: a run of 4 that carries on into the second row,
    // then 2 raw pixels
    write_file(file, tga(10, 3, 2, 32, true,
                         {0x83, 1, 2, 3, 0x80, 0x01, 10, 20, 30, 40, 50, 60, 70, 0xff}));
    s = trelk::load_image(file.c_str(), argb);
    EXPECT_EQ(trelk::get(*s, 0, 0), 0x80030201u);
    EXPECT_EQ(trelk::get(*s, 0, 1), 0x80030201u);
    EXPECT_EQ(trelk::get(*s, 1, 1), 0x281e140au);
    EXPECT_EQ(trelk::get(*s, 2, 1), 0xff463c32u);
    // Rows from the right: the first pixel in the file is the last of its row
    std::vector<std::uint8_t> mirrored = tga(2, 2, 1, 24, true, {0, 0, 255, 255, 0, 0});
    mirrored[17] |= 0x10;
    write_file(file, mirrored);
    s = trelk::load_image(file.c_str(), argb);
    EXPECT_EQ(trelk::get(*s, 0, 0), 0xff0000ffu);
    EXPECT_EQ(trelk::get(*s, 1, 0), 0xffff0000u);
    unlink(file.c_str());
}

// Every file the loader cannot read: a clear reason naming the file, and no surface made;
// a save that cannot be written leaves the file that was there
TEST_F(DisplayGraphics, LoaderRefusesWhatItCannotReadAndMakesNothing) {
    const std::string file = scratch("bad.img");
    trelk::Surface good(40, 30, xrgb);
    trelk::fill_circle(good, 20, 15, 12, 0xffff8000);
    trelk::save_image(good, file.c_str());
    const std::vector<std::uint8_t> png = read_file(file);
    ASSERT_GT(png.size(), 60u);
    std::vector<std::uint8_t> bad_crc = png;
    bad_crc[png.size() - 20] ^= 0x55;  // inside the picture's data
    std::vector<std::uint8_t> wide = png;
    wide[16] = 0, wide[17] = 0, wide[18] = 0x4e, wide[19] = 0x20;  // 20000 pixels wide

    const std::vector<std::pair<std::vector<std::uint8_t>, const char*>> cases = {
        {{}, "is empty"},
        {{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "not an image we read"},
        {std::vector<std::uint8_t>(png.begin(), png.begin() + png.size() / 2), "PNG"},
        {std::vector<std::uint8_t>(png.begin(), png.begin() + 40), "PNG"},
        {bad_crc, "corrupt PNG"},
        {wide, "PNG"},
        {tga(2, 3, 2, 24, false, std::vector<std::uint8_t>(17, 1)), "cut short"},
        {tga(10, 3, 2, 24, false, {0x83, 1, 2, 3, 0x81, 1, 2}), "cut short"},
        {tga(10, 3, 2, 24, false, {0x86, 1, 2, 3}), "past the last pixel"},
        {tga(10, 16384, 16384, 24, false, {0xff, 1, 2, 3}), "cut short"},
        {tga(2, 0, 5, 24, false, {}), "no pixels"},
        {tga(2, 20000, 1, 24, false, {}), "larger than a surface"},
        {tga(2, 2, 2, 16, false, std::vector<std::uint8_t>(8, 1)), "pixel depth"},
        {tga(1, 2, 2, 24, false, {}), "colour-mapped"},
    };
    const int live = trelk_display_live_objects();
    for (const auto& bad : cases) {
        write_file(file, bad.first);
        try {
            trelk::load_image(file.c_str(), xrgb);
            ADD_FAILURE() << "loaded, wanting \"" << bad.second << "\"";
        } catch (const trelk::DynamicError& error) {
            const std::string message = message_of(error);
            EXPECT_NE(message.find(bad.second), std::string::npos) << message;
            EXPECT_NE(message.find(file), std::string::npos) << message;
        }
        EXPECT_EQ(trelk_display_live_objects(), live);
    }
    for (const std::string& where : {scratch("missing.png"), testing::TempDir()}) {
        try {
            trelk::load_image(where.c_str(), xrgb);
            ADD_FAILURE() << where << " loaded";
        } catch (const trelk::DynamicError& error) {
            EXPECT_NE(message_of(error).find(where), std::string::npos) << message_of(error);
        }
    }
    // A save into a folder that is not there, and onto a folder: refused, the file unchanged
    write_file(file, png);
    EXPECT_THROW(trelk::save_image(good, (file + "/inside.png").c_str()), trelk::DynamicError);
    EXPECT_THROW(trelk::save_image(good, testing::TempDir().c_str()), trelk::DynamicError);
    EXPECT_EQ(read_file(file), png);
    unlink(file.c_str());
}

}  // namespace
