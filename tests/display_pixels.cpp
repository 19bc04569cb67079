// Real pixels through trelk::Surface: conversions between formats, clear, the nearest-neighbour
// scaled copy with its clipping, the clip area, and the errors of every invalid argument.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/display/pixels.h"
#include "tests/display_support.h"
#include "trelk/area.h"
#include "trelk/color.h"
#include "trelk/draw.h"
#include "trelk/format.h"
#include "trelk/library.h"
#include "trelk/palette.h"
#include "trelk/surface.h"

namespace {

using display_test::coordinate_color;
using display_test::fill_coordinates;
using display_test::pixel;
using display_test::set_pixel;

class DisplayPixels : public display_test::DisplayTest {
protected:
    trelk::Format xrgb{32, 0xff0000, 0xff00, 0xff, 0};
    trelk::Format bgr24{24, 0xff0000, 0xff00, 0xff, 0};
    trelk::Format rgb565{16, 0xf800, 0x07e0, 0x001f, 0};
    trelk::Format argb{32, 0xff0000, 0xff00, 0xff, 0xff000000u};
    trelk::Format indexed{8, 0, 0, 0, 0};
    trelk::Palette palette;
};

std::array<int, 4> values_of(const trelk::Area& area) {
    std::array<int, 4> v{};
    trelk_display_area_values(area.handle(), v.data());
    return v;
}

// ---- formats and conversion ----

TEST_F(DisplayPixels, ANewSurfaceIsBlackWithRowsOfWidthTimesBytes) {
    trelk::Surface surface(5, 3, xrgb);
    EXPECT_EQ(surface.width(), 5);
    EXPECT_EQ(surface.height(), 3);
    EXPECT_EQ(surface.pitch(), 20);
    EXPECT_EQ(values_of(surface.area()), (std::array<int, 4>{0, 0, 5, 3}));
    EXPECT_EQ(values_of(surface.clip()), (std::array<int, 4>{0, 0, 5, 3}));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) EXPECT_EQ(pixel(surface, x, y), 0u);
    }
    trelk::Surface small(3, 2, bgr24);
    EXPECT_EQ(small.pitch(), 9);
    std::uint32_t masks[4];
    EXPECT_EQ(trelk_display_format_values(small.format().handle(), masks), 24);
}

TEST_F(DisplayPixels, Loads24BitBgrInto32BitXrgb) {
    // Two rows of two pixels, blue-green-red bytes, rows 8 bytes apart (2 bytes of padding)
    const std::uint8_t buffer[16] = {0x01, 0x02, 0x03, 0xff, 0x00, 0x80, 0xAA, 0xAA,
                                     0x00, 0x00, 0xff, 0x10, 0x20, 0x30, 0xAA, 0xAA};
    trelk::Surface surface(2, 2, xrgb);
    surface.load(buffer, 2, 2, 8, bgr24, palette);
    EXPECT_EQ(pixel(surface, 0, 0), 0x030201u);
    EXPECT_EQ(pixel(surface, 1, 0), 0x8000ffu);
    EXPECT_EQ(pixel(surface, 0, 1), 0xff0000u);
    EXPECT_EQ(pixel(surface, 1, 1), 0x302010u);
}

TEST_F(DisplayPixels, Loads24BitRowsOfAnyWidthExactly) {
    // Long enough for the vectorised loop and its tail
    const int width = 37;
    std::vector<std::uint8_t> buffer(width * 3);
    for (int i = 0; i < width * 3; ++i) buffer[i] = std::uint8_t(i * 7 + 1);
    trelk::Surface surface(width, 1, xrgb);
    surface.load(buffer.data(), width, 1, width * 3, bgr24, palette);
    for (int x = 0; x < width; ++x) {
        const std::uint32_t want = buffer[3 * x] | buffer[3 * x + 1] << 8 | buffer[3 * x + 2] << 16;
        EXPECT_EQ(pixel(surface, x, 0), want) << "x " << x;
    }
}

TEST_F(DisplayPixels, Saves32BitXrgbAs24BitBgr) {
    trelk::Surface surface(2, 1, xrgb);
    set_pixel(surface, 0, 0, 0xAA112233u);  // the top byte is not a channel
    set_pixel(surface, 1, 0, 0x00fedcbau);
    std::uint8_t out[8];
    std::memset(out, 0x55, sizeof out);
    surface.save(out, 2, 1, 8, bgr24, palette);
    const std::uint8_t want[8] = {0x33, 0x22, 0x11, 0xba, 0xdc, 0xfe, 0x55, 0x55};
    EXPECT_EQ(std::memcmp(out, want, 8), 0) << "the padding stays untouched";
}

TEST_F(DisplayPixels, The32BitTopByteIsZeroWheneverTheLibraryWrites) {
    const std::uint32_t source[2] = {0xAA102030u, 0xFF405060u};
    trelk::Surface surface(2, 1, xrgb);
    surface.load(source, 2, 1, 8, xrgb, palette);
    EXPECT_EQ(pixel(surface, 0, 0), 0x102030u);
    EXPECT_EQ(pixel(surface, 1, 0), 0x405060u);

    set_pixel(surface, 0, 0, 0x77abcdefu);
    trelk::Surface target(2, 1, xrgb), scaled(4, 2, xrgb);
    surface.copy(target);
    EXPECT_EQ(pixel(target, 0, 0), 0xabcdefu);
    surface.copy(scaled);
    EXPECT_EQ(pixel(scaled, 1, 1), 0xabcdefu);

    trelk::Color color(0x12345678u);
    target.clear(color);
    EXPECT_EQ(pixel(target, 1, 0), 0x345678u);
}

TEST_F(DisplayPixels, SixteenBitPixelsConvertBothWays) {
    const std::uint32_t colors[3] = {0xff0000u, 0x848284u, 0x00ff00u};
    trelk::Surface surface(3, 1, rgb565);
    surface.load(colors, 3, 1, 12, xrgb, palette);
    const auto* p = static_cast<const std::uint16_t*>(surface.lock());
    EXPECT_EQ(p[0], 0xf800);
    EXPECT_EQ(p[1], 0x8410);
    EXPECT_EQ(p[2], 0x07e0);
    surface.unlock();
    std::uint32_t back[3] = {};
    surface.save(back, 3, 1, 12, xrgb, palette);
    EXPECT_EQ(back[0], 0xff0000u) << "5 bits of ones widen to 8 bits of ones";
    EXPECT_EQ(back[1], 0x848284u);
    EXPECT_EQ(back[2], 0x00ff00u);
}

TEST_F(DisplayPixels, AlphaFormatsGetOpaquePixelsFromFormatsWithoutAlpha) {
    const std::uint8_t bgr[3] = {0x30, 0x20, 0x10};
    trelk::Surface surface(1, 1, argb);
    surface.load(bgr, 1, 1, 3, bgr24, palette);
    EXPECT_EQ(pixel(surface, 0, 0), 0xff102030u);
    trelk::Color half(0x80ff0000u);  // a colour's alpha is kept as given
    surface.clear(half);
    EXPECT_EQ(pixel(surface, 0, 0), 0x80ff0000u);
    EXPECT_TRUE(surface.option("alpha"));
    EXPECT_FALSE(surface.option("indexed"));
    EXPECT_FALSE(surface.option("no such option"));
}

TEST_F(DisplayPixels, IndexedPixelsGoThroughThePalette) {
    std::uint32_t colors[256];
    for (int i = 0; i < 256; ++i)
        colors[i] = 0xff000000u | std::uint32_t(255 - i) << 16 | std::uint32_t(i);
    colors[3] = 0xff00ff00u;  // pure green at index 3
    trelk_display_palette_set(palette.handle(), colors);

    // Indexed buffer into a 32-bit surface
    const std::uint8_t indexes[4] = {0, 3, 255, 128};
    trelk::Surface direct(4, 1, xrgb);
    direct.load(indexes, 4, 1, 4, indexed, palette);
    EXPECT_EQ(pixel(direct, 0, 0), 0xff0000u);
    EXPECT_EQ(pixel(direct, 1, 0), 0x00ff00u);
    EXPECT_EQ(pixel(direct, 2, 0), 0x0000ffu);
    EXPECT_EQ(pixel(direct, 3, 0), 0x7f0080u);

    // 32-bit colours into an indexed surface with that palette: the nearest entries
    trelk::Surface eight(4, 1, indexed);
    eight.palette(palette);
    EXPECT_TRUE(eight.option("indexed"));
    const std::uint32_t wanted[4] = {0x00ff00u, 0xff0000u, 0x0000ffu, 0x7e0081u};
    eight.load(wanted, 4, 1, 16, xrgb, palette);
    const auto* p = static_cast<const std::uint8_t*>(eight.lock());
    EXPECT_EQ(p[0], 3);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[2], 255);
    EXPECT_EQ(p[3], 129);
    eight.unlock();

    // Indexed surface saved as 24-bit through its palette
    std::uint8_t out[12];
    eight.save(out, 4, 1, 12, bgr24, palette);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0xff);
    EXPECT_EQ(out[2], 0x00);

    // Between two indexed images with different palettes, the colour is kept, not the index
    trelk::Palette grey;
    std::uint8_t grey_indexes[4] = {};
    eight.save(grey_indexes, 4, 1, 4, indexed, grey);
    EXPECT_EQ(grey_indexes[0], 85) << "pure green is nearest the grey 85";
    std::uint32_t palette_back[256];
    trelk_display_palette_get(eight.palette().handle(), palette_back);
    EXPECT_EQ(palette_back[3], 0xff00ff00u);
}

TEST_F(DisplayPixels, ClearIsBlackAndColourClearsConvert) {
    trelk::Surface surface(3, 2, rgb565);
    trelk::Color red(0xffff0000u);
    surface.clear(red);
    const auto* p = static_cast<const std::uint16_t*>(surface.lock());
    EXPECT_EQ(p[5], 0xf800);
    surface.unlock();
    surface.clear();
    p = static_cast<const std::uint16_t*>(surface.lock());
    EXPECT_EQ(p[5], 0);
    surface.unlock();

    trelk::Surface wide(4, 3, bgr24);
    trelk::Area middle(1, 1, 3, 2);
    wide.clear(red, middle);
    const auto* b = static_cast<const std::uint8_t*>(wide.lock());
    EXPECT_EQ(b[(1 * 4 + 1) * 3 + 2], 0xff);
    EXPECT_EQ(b[(1 * 4 + 0) * 3 + 2], 0x00);
    EXPECT_EQ(b[(1 * 4 + 3) * 3 + 2], 0x00);
    wide.unlock();
}

// ---- the nearest-neighbour scaled copy ----

TEST_F(DisplayPixels, WholeCopiesScaleToTheTarget) {
    trelk::Surface source(2, 2, xrgb), target(4, 4, xrgb);
    fill_coordinates(source);
    source.copy(target);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(pixel(target, x, y), coordinate_color(x / 2, y / 2)) << x << "," << y;
        }
    }
}

TEST_F(DisplayPixels, ScalingSamplesThePixelUnderEachCentre) {
    trelk::Surface source(4, 4, xrgb);
    fill_coordinates(source);
    // Down 4 -> 2: centres 1 and 3
    trelk::Surface half(2, 2, xrgb);
    source.copy(half);
    EXPECT_EQ(pixel(half, 0, 0), coordinate_color(1, 1));
    EXPECT_EQ(pixel(half, 1, 1), coordinate_color(3, 3));
    // 3 -> 2 across: columns 0 and 2; 2 -> 3 down: rows 0, 1, 1
    trelk::Area from(0, 0, 3, 2), to(0, 0, 2, 3);
    trelk::Surface odd(2, 3, xrgb);
    source.copy(odd, from, to);
    EXPECT_EQ(pixel(odd, 0, 0), coordinate_color(0, 0));
    EXPECT_EQ(pixel(odd, 1, 0), coordinate_color(2, 0));
    EXPECT_EQ(pixel(odd, 1, 1), coordinate_color(2, 1));
    EXPECT_EQ(pixel(odd, 1, 2), coordinate_color(2, 1));
}

TEST_F(DisplayPixels, ScaledCopiesConvertFormats) {
    trelk::Surface source(2, 1, xrgb), target(4, 1, rgb565);
    set_pixel(source, 0, 0, 0xff0000u);
    set_pixel(source, 1, 0, 0x0000ffu);
    source.copy(target);
    const auto* p = static_cast<const std::uint16_t*>(target.lock());
    EXPECT_EQ(p[0], 0xf800);
    EXPECT_EQ(p[1], 0xf800);
    EXPECT_EQ(p[2], 0x001f);
    EXPECT_EQ(p[3], 0x001f);
    target.unlock();
}

// Copies the 4 x 4 coordinate picture 1:1 to destination (left, top) on an 6 x 6 black target
// and checks every target pixel
void expect_placed(trelk::Surface& source, trelk::Surface& target, int left, int top) {
    target.clear();
    trelk::Area from(0, 0, 4, 4), to(left, top, left + 4, top + 4);
    source.copy(target, from, to);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= left && x < left + 4 && y >= top && y < top + 4;
            const std::uint32_t want = inside ? coordinate_color(x - left, y - top) : 0;
            EXPECT_EQ(pixel(target, x, y), want)
                << "at " << x << "," << y << " placed at " << left << "," << top;
        }
    }
}

TEST_F(DisplayPixels, CopiesAreClippedOnEveryEdgeOfTheTarget) {
    trelk::Surface source(4, 4, xrgb), target(6, 6, xrgb);
    fill_coordinates(source);
    expect_placed(source, target, -2, 1);  // left
    expect_placed(source, target, 1, -3);  // top
    expect_placed(source, target, 4, 1);   // right
    expect_placed(source, target, 1, 5);   // bottom
    expect_placed(source, target, -1, -1);
    expect_placed(source, target, 3, 3);
    expect_placed(source, target, 9, 0);  // nothing left
}

TEST_F(DisplayPixels, SourceAreasOutsideTheSourceAreClippedKeepingTheScale) {
    trelk::Surface source(4, 4, xrgb), target(8, 8, xrgb);
    fill_coordinates(source);
    // Source (-2, -2, 4, 4) doubled into (0, 0, 12, 12): two source pixels outside on each
    // side become four destination pixels left untouched
    trelk::Area from(-2, -2, 4, 4), to(0, 0, 12, 12);
    source.copy(target, from, to);
    EXPECT_EQ(pixel(target, 3, 3), 0u);
    EXPECT_EQ(pixel(target, 4, 3), 0u);
    EXPECT_EQ(pixel(target, 4, 4), coordinate_color(0, 0));
    EXPECT_EQ(pixel(target, 5, 5), coordinate_color(0, 0));
    EXPECT_EQ(pixel(target, 6, 4), coordinate_color(1, 0));
    EXPECT_EQ(pixel(target, 7, 7), coordinate_color(1, 1));
    // Right and bottom: source (2, 2, 6, 6) into (0, 0, 4, 4) takes only columns 2, 3
    target.clear();
    trelk::Area beyond(2, 2, 6, 6), place(0, 0, 4, 4);
    source.copy(target, beyond, place);
    EXPECT_EQ(pixel(target, 1, 1), coordinate_color(3, 3));
    EXPECT_EQ(pixel(target, 2, 1), 0u);
    EXPECT_EQ(pixel(target, 1, 2), 0u);
}

TEST_F(DisplayPixels, ClippingAScaledDestinationMovesTheSourceProportionally) {
    trelk::Surface source(2, 2, xrgb), target(3, 3, xrgb);
    fill_coordinates(source);
    trelk::Area from(0, 0, 2, 2), to(-1, -1, 3, 3);  // doubled, one target pixel off each side
    source.copy(target, from, to);
    EXPECT_EQ(pixel(target, 0, 0), coordinate_color(0, 0));
    EXPECT_EQ(pixel(target, 1, 1), coordinate_color(1, 1));
    EXPECT_EQ(pixel(target, 2, 0), coordinate_color(1, 0));
}

TEST_F(DisplayPixels, TheDemosReversedJitterAreaFillsTheScreenUpright) {
    trelk::Surface picture(320, 200, xrgb), screen(320, 200, xrgb);
    fill_coordinates(picture);
    const int shifts[][2] = {{1, 1}, {3, 7}, {10, 10}, {10, 1}};
    for (const auto& shift : shifts) {
        const int sx = shift[0], sy = shift[1];
        screen.clear();
        // What the demo builds: (320, 200, -x, -y), the picture's own area as source
        trelk::Area destination(320, 200, -sx, -sy);
        picture.copy(screen, picture.area(), destination);
        // The picture stretched over (-x, -y) .. (320, 200): every screen pixel shows the
        // picture pixel under its centre, so the top-left x, y picture pixels are cut off
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 320; ++x) {
                const int px = int(std::floor((x + sx + 0.5) * 320.0 / (320 + sx)));
                const int py = int(std::floor((y + sy + 0.5) * 200.0 / (200 + sy)));
                const std::uint32_t got = pixel(screen, x, y);
                if (got != coordinate_color(px, py)) {
                    ADD_FAILURE() << "shift " << sx << "," << sy << " at " << x << "," << y
                                  << ": got " << std::hex << got << " want "
                                  << coordinate_color(px, py);
                    return;
                }
            }
        }
        EXPECT_EQ(pixel(screen, 319, 199), coordinate_color(319, 199)) << "upright";
        EXPECT_NE(pixel(screen, 0, 0), coordinate_color(0, 0)) << "top-left cut off";
    }
}

TEST_F(DisplayPixels, ReversedAreasAreNormalisedAndEmptyAreasDrawNothing) {
    trelk::Surface source(4, 4, xrgb), target(4, 4, xrgb);
    fill_coordinates(source);
    trelk::Area reversed(4, 4, 0, 0), whole(0, 0, 4, 4);
    source.copy(target, reversed, whole);
    EXPECT_EQ(pixel(target, 0, 0), coordinate_color(0, 0)) << "not mirrored";
    EXPECT_EQ(pixel(target, 3, 1), coordinate_color(3, 1));
    target.clear();
    trelk::Area empty_wide(1, 1, 1, 4), empty_tall(0, 2, 4, 2);
    source.copy(target, whole, empty_wide);
    source.copy(target, whole, empty_tall);
    source.copy(target, empty_tall, whole);
    trelk::Color white(0xffffffu);
    target.clear(white, empty_wide);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(pixel(target, x, y), 0u);
    }
}

TEST_F(DisplayPixels, CopyingASurfaceOntoItselfReadsTheOldPixels) {
    trelk::Surface surface(4, 1, xrgb);
    fill_coordinates(surface);
    trelk::Area from(0, 0, 3, 1), to(1, 0, 4, 1);
    surface.copy(surface, from, to);
    EXPECT_EQ(pixel(surface, 0, 0), coordinate_color(0, 0));
    EXPECT_EQ(pixel(surface, 1, 0), coordinate_color(0, 0));
    EXPECT_EQ(pixel(surface, 2, 0), coordinate_color(1, 0));
    EXPECT_EQ(pixel(surface, 3, 0), coordinate_color(2, 0));
}

TEST_F(DisplayPixels, LoadAndSaveTakeAreasLikeCopy) {
    std::uint32_t buffer[4 * 4];
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) buffer[x + 4 * y] = coordinate_color(x, y);
    }
    trelk::Surface surface(4, 4, xrgb);
    trelk::Area from(2, 2, 4, 4), to(0, 0, 4, 4);  // a 2 x 2 corner doubled
    surface.load(buffer, 4, 4, 16, xrgb, palette, from, to);
    EXPECT_EQ(pixel(surface, 0, 0), coordinate_color(2, 2));
    EXPECT_EQ(pixel(surface, 3, 3), coordinate_color(3, 3));
    std::uint32_t out[2 * 2] = {};
    trelk::Area corner(0, 0, 2, 2), small(0, 0, 2, 2);
    surface.save(out, 2, 2, 8, xrgb, palette, corner, small);
    EXPECT_EQ(out[0], coordinate_color(2, 2));
    EXPECT_EQ(out[3], coordinate_color(2, 2));
}

// ---- the clip area ----

TEST_F(DisplayPixels, TheClipAreaBoundsCopiesLoadsAndClears) {
    trelk::Surface source(6, 6, xrgb), target(6, 6, xrgb);
    fill_coordinates(source);
    trelk::Area clip(4, 5, 2, 1);  // reversed: (2, 1, 4, 5)
    target.clip(clip);
    EXPECT_EQ(values_of(target.clip()), (std::array<int, 4>{2, 1, 4, 5}));
    source.copy(target);
    auto inside = [](int x, int y) { return x >= 2 && x < 4 && y >= 1 && y < 5; };
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(pixel(target, x, y), inside(x, y) ? coordinate_color(x, y) : 0u);
        }
    }
    trelk::Color white(0xffffffu);
    target.clear(white);
    EXPECT_EQ(pixel(target, 2, 1), 0xffffffu);
    EXPECT_EQ(pixel(target, 1, 1), 0u);
    target.clear();
    EXPECT_EQ(pixel(target, 2, 1), 0u);
    const std::uint32_t ones[36] = {
        0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101,
        0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101,
        0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101,
        0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101, 0x010101};
    target.load(ones, 6, 6, 24, xrgb, palette);
    EXPECT_EQ(pixel(target, 3, 4), 0x010101u);
    EXPECT_EQ(pixel(target, 3, 5), 0u);
    // A clip area beyond the surface is cut to it
    trelk::Area huge(-100, -100, 100, 100);
    target.clip(huge);
    EXPECT_EQ(values_of(target.clip()), (std::array<int, 4>{0, 0, 6, 6}));
}

TEST_F(DisplayPixels, GettersRefreshOneObjectAndAllocateNothing) {
    trelk::Surface surface(8, 8, rgb565);
    const trelk::Area& first = surface.clip();
    const int library = trelk_display_library_objects();
    trelk::Area small(1, 1, 2, 2);
    surface.clip(small);
    EXPECT_EQ(values_of(first), (std::array<int, 4>{0, 0, 8, 8})) << "until clip() is asked again";
    surface.clip();
    EXPECT_EQ(values_of(first), (std::array<int, 4>{1, 1, 2, 2}));
    std::uint32_t masks[4];
    EXPECT_EQ(trelk_display_format_values(surface.format().handle(), masks), 16);
    EXPECT_EQ(masks[1], 0x07e0u);
    surface.palette();
    surface.area();
    EXPECT_EQ(trelk_display_library_objects(), library);
}

// ---- invalid arguments ----

TEST_F(DisplayPixels, InvalidSurfaceSizesAndFormatsAreErrors) {
    EXPECT_DISPLAY_ERROR(trelk::Surface(0, 10, xrgb), "out of range");
    EXPECT_DISPLAY_ERROR(trelk::Surface(10, -1, xrgb), "out of range");
    EXPECT_DISPLAY_ERROR(trelk::Surface(16385, 1, xrgb), "out of range");
    EXPECT_DISPLAY_ERROR(trelk::Surface(0x7fffffff, 0x7fffffff, xrgb), "out of range");
    EXPECT_DISPLAY_ERROR(trelk_surface_create(4, 4, nullptr), "invalid format handle: null");
    EXPECT_DISPLAY_ERROR(trelk_surface_create(4, 4, palette.handle()), "is a palette handle");
}

TEST_F(DisplayPixels, InvalidBuffersAreErrorsAndChangeNothing) {
    trelk::Surface surface(4, 4, xrgb);
    fill_coordinates(surface);
    std::uint32_t buffer[16] = {};
    EXPECT_DISPLAY_ERROR(surface.load(nullptr, 4, 4, 16, xrgb, palette), "null pixel buffer");
    EXPECT_DISPLAY_ERROR(surface.save(nullptr, 4, 4, 16, xrgb, palette), "null pixel buffer");
    EXPECT_DISPLAY_ERROR(surface.load(buffer, -1, 4, 16, xrgb, palette), "out of range");
    EXPECT_DISPLAY_ERROR(surface.load(buffer, 4, -4, 16, xrgb, palette), "out of range");
    EXPECT_DISPLAY_ERROR(surface.load(buffer, 1 << 20, 1, 1 << 22, xrgb, palette), "out of range");
    EXPECT_DISPLAY_ERROR(surface.load(buffer, 4, 4, 15, xrgb, palette), "pitch 15 is smaller");
    EXPECT_DISPLAY_ERROR(surface.save(buffer, 4, 4, -16, xrgb, palette), "pitch -16 is smaller");
    EXPECT_DISPLAY_ERROR(
        trelk_surface_load(surface.handle(), buffer, 4, 4, 16, nullptr, palette.handle()),
        "invalid format handle");
    EXPECT_DISPLAY_ERROR(
        trelk_surface_load(surface.handle(), buffer, 4, 4, 16, xrgb.handle(), nullptr),
        "invalid palette handle");
    EXPECT_DISPLAY_ERROR(trelk_surface_copy_area(surface.handle(), surface.handle(), nullptr,
                                                 surface.area().handle()),
                         "invalid area handle");
    trelk::Color color(0);
    EXPECT_DISPLAY_ERROR(trelk_surface_clear_color_area(surface.handle(), color.handle(), nullptr),
                         "invalid area handle");
    EXPECT_DISPLAY_ERROR(surface.option(nullptr), "null option");
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) ASSERT_EQ(pixel(surface, x, y), coordinate_color(x, y));
    }
    // An empty buffer is no error: it loads nothing
    surface.load(buffer, 0, 0, 0, xrgb, palette);
    EXPECT_EQ(pixel(surface, 0, 0), coordinate_color(0, 0));
}

TEST_F(DisplayPixels, TargetsMustBeLiveSurfacesOrOpenConsoles) {
    trelk::Surface surface(4, 4, xrgb);
    int some_object = 0;
    EXPECT_DISPLAY_ERROR(
        trelk_surface_copy(surface.handle(), reinterpret_cast<trelk_handle>(&some_object)),
        "was not made by the display library");
    EXPECT_DISPLAY_ERROR(trelk_surface_copy(surface.handle(), nullptr), "null");
    const trelk_handle gone = trelk_surface_create(2, 2, xrgb.handle());
    trelk_surface_destroy(gone);
    EXPECT_DISPLAY_ERROR(trelk_surface_copy(surface.handle(), gone), "was destroyed");
    EXPECT_DISPLAY_ERROR(trelk_surface_lock(gone), "invalid surface handle");
    EXPECT_DISPLAY_ERROR(trelk_surface_copy(surface.handle(), xrgb.handle()), "is a format handle");
}

TEST_F(DisplayPixels, LocksNestAndAnUnmatchedUnlockIsAnError) {
    trelk::Surface surface(2, 2, xrgb);
    void* first = surface.lock();
    EXPECT_EQ(surface.lock(), first) << "the address stays";
    EXPECT_TRUE(surface.option("locked"));
    surface.unlock();
    surface.unlock();
    EXPECT_FALSE(surface.option("locked"));
    EXPECT_DISPLAY_ERROR(surface.unlock(), "not locked");
}

// ---- the pixel engine against a pixel-by-pixel reference ----
//
// blit() straight on caller-described images: rows with padding, guard bytes around the
// destination, random pixel bytes (top bytes included). The expected image is made one pixel
// at a time from the nearest-neighbour rule and the colour conversion, and every byte of the
// destination buffer (pixels, padding, guards) is compared. Each case runs with the vector
// loops allowed and with only the portable loops.

display::PixelFormat format_of(int bits, std::uint32_t r, std::uint32_t g, std::uint32_t b,
                               std::uint32_t a) {
    display::PixelFormat f;
    const char* reason = nullptr;
    EXPECT_TRUE(display::make_format(bits, r, g, b, a, &f, &reason)) << reason;
    return f;
}

// Pixel bytes with rows pitch apart; the buffer ends right after the last pixel, so a read
// past it is caught by the address sanitizer
struct SourceBuffer {
    std::vector<std::uint8_t> bytes;
    display::Image image;

    SourceBuffer(int width, int height, int pitch, const display::PixelFormat& format,
                 std::mt19937& random) {
        bytes.resize(std::size_t(height - 1) * pitch + std::size_t(width) * format.bytes);
        for (auto& byte : bytes) byte = std::uint8_t(random());
        image = display::Image{bytes.data(), width,   height,
                               pitch,        &format, display::default_palette().colors};
    }
};

constexpr int guard = 64;

// Pixel bytes with guard bytes before and after, all random to start with
struct DestinationBuffer {
    std::vector<std::uint8_t> bytes;
    display::Image image;

    DestinationBuffer(int width, int height, int pitch, const display::PixelFormat& format,
                      std::mt19937& random) {
        bytes.resize(std::size_t(height) * pitch + 2 * guard);
        for (auto& byte : bytes) byte = std::uint8_t(random());
        image = display::Image{
            bytes.data() + guard, width, height, pitch, &format, display::default_palette().colors};
    }
};

std::uint32_t read_pixel(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int b = 0; b < bytes; ++b) v |= std::uint32_t(p[b]) << (8 * b);
    return v;
}

void write_pixel(std::uint8_t* p, int bytes, std::uint32_t v) {
    for (int b = 0; b < bytes; ++b) p[b] = std::uint8_t(v >> (8 * b));
}

// The source position under the centre of destination position at, one coordinate
std::int64_t sample(int at, int area_start, int source_start, std::int64_t s, std::int64_t d) {
    const std::int64_t u = std::int64_t(at) - area_start;
    const std::int64_t num = (2 * u + 1) * s, den = 2 * d;
    return source_start + (num >= 0 ? num / den : -((-num + den - 1) / den));
}

// What blit() must leave in destination's buffer, computed one pixel at a time
std::vector<std::uint8_t> expected_copy(const display::Image& source, display::Rect source_area,
                                        const DestinationBuffer& destination,
                                        display::Rect destination_area, display::Rect clip) {
    std::vector<std::uint8_t> want = destination.bytes;
    const display::Image& to = destination.image;
    const display::Rect sa = display::normalise(source_area);
    const display::Rect da = display::normalise(destination_area);
    const std::int64_t sw = sa.right - sa.left, sh = sa.bottom - sa.top;
    const std::int64_t dw = da.right - da.left, dh = da.bottom - da.top;
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return want;
    const int sb = source.format->bytes, db = to.format->bytes;
    for (int y = 0; y < to.height; ++y) {
        for (int x = 0; x < to.width; ++x) {
            if (x < da.left || x >= da.right || y < da.top || y >= da.bottom) continue;
            if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) continue;
            const std::int64_t sx = sample(x, da.left, sa.left, sw, dw);
            const std::int64_t sy = sample(y, da.top, sa.top, sh, dh);
            if (sx < 0 || sx >= source.width || sy < 0 || sy >= source.height) continue;
            const std::uint32_t in = read_pixel(source.pixels + sy * source.pitch + sx * sb, sb);
            const std::uint32_t color = display::pixel_to_color(*source.format, source.palette, in);
            write_pixel(want.data() + guard + std::size_t(y) * to.pitch + std::size_t(x) * db, db,
                        display::color_to_pixel(*to.format, to.palette, color));
        }
    }
    return want;
}

// blit() with and without the vector loops, each onto a fresh copy of the destination
void expect_copy_matches(const display::Image& source, display::Rect source_area,
                         const DestinationBuffer& destination, display::Rect destination_area,
                         display::Rect clip) {
    const std::vector<std::uint8_t> want =
        expected_copy(source, source_area, destination, destination_area, clip);
    for (const bool vector : {true, false}) {
        DestinationBuffer copy = destination;
        copy.image.pixels = copy.bytes.data() + guard;
        display::allow_vector_loops(vector);
        display::blit(source, source_area, copy.image, destination_area, clip);
        display::allow_vector_loops(true);
        const auto wrong = std::mismatch(copy.bytes.begin(), copy.bytes.end(), want.begin());
        if (wrong.first != copy.bytes.end()) {
            const long at = long(wrong.first - copy.bytes.begin()) - guard;
            ADD_FAILURE() << (vector ? "vector" : "portable") << " loops: byte " << at
                          << " of the destination (row " << at / destination.image.pitch << ") is "
                          << int(*wrong.first) << ", want " << int(*wrong.second);
            return;
        }
    }
}

TEST(DisplayPixelEngine, Bgr24ToXrgb32RowsOfEveryWidthPitchAndOffset) {
    const display::PixelFormat bgr24 = format_of(24, 0xff0000, 0xff00, 0xff, 0);
    const display::PixelFormat xrgb = format_of(32, 0xff0000, 0xff00, 0xff, 0);
    std::mt19937 random(7);
    const display::Rect everything{-100000, -100000, 100000, 100000};
    // Widths around every multiple of the sixteen-pixel step, with and without row padding
    for (int width = 1; width <= 70; ++width) {
        for (int padding : {0, 1, 5}) {
            SCOPED_TRACE(testing::Message() << "width " << width << " padding " << padding);
            const int height = 3;
            SourceBuffer source(width, height, width * 3 + padding, bgr24, random);
            DestinationBuffer destination(width, height, width * 4 + 4 * (padding & 1), xrgb,
                                          random);
            const display::Rect whole{0, 0, width, height};
            expect_copy_matches(source.image, whole, destination, whole, everything);
            // From an odd source column to an odd destination column, clipped on the right
            if (width > 2) {
                const display::Rect from{1, 0, width, height}, to{2, 1, width + 1, height + 1};
                expect_copy_matches(source.image, from, destination, to, everything);
                const display::Rect clip{0, 0, width - 1, height};
                expect_copy_matches(source.image, whole, destination, whole, clip);
            }
        }
    }
}

TEST(DisplayPixelEngine, TheDemosPictureLoadIsOneLongRowOfExactPixels) {
    const display::PixelFormat bgr24 = format_of(24, 0xff0000, 0xff00, 0xff, 0);
    const display::PixelFormat xrgb = format_of(32, 0xff0000, 0xff00, 0xff, 0);
    std::mt19937 random(11);
    SourceBuffer source(320, 200, 960, bgr24, random);
    DestinationBuffer destination(320, 200, 1280, xrgb, random);
    const display::Rect whole{0, 0, 320, 200};
    expect_copy_matches(source.image, whole, destination, whole, whole);
}

TEST(DisplayPixelEngine, ScaledCopiesMatchTheReferenceInEveryFormatPair) {
    const display::PixelFormat formats[] = {
        format_of(32, 0xff0000, 0xff00, 0xff, 0),            // masked copy
        format_of(32, 0xff0000, 0xff00, 0xff, 0xff000000u),  // plain copy
        format_of(24, 0xff0000, 0xff00, 0xff, 0),            // 24 <-> 32 loops
        format_of(16, 0xf800, 0x07e0, 0x001f, 0),            // generic conversion
        format_of(8, 0, 0, 0, 0),                            // palette lookup
    };
    std::mt19937 random(3);
    auto between = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (const auto& from : formats) {
        for (const auto& to : formats) {
            for (int round = 0; round < 40; ++round) {
                const int sw = between(1, 60), sh = between(1, 12);
                const int dw = between(1, 60), dh = between(1, 12);
                SourceBuffer source(sw, sh, sw * from.bytes + between(0, 5), from, random);
                DestinationBuffer destination(dw, dh, dw * to.bytes + between(0, 5), to, random);
                // Areas that overhang both images, sometimes reversed; destination sizes near
                // the source's (long runs) as well as far from it (pixel by pixel)
                const int aw = between(1, sw + 4);
                const int ah = between(1, sh + 4);
                const bool near = round % 2 == 0;
                const int bw = near ? aw + between(-2, 6) : between(1, 3 * dw);
                const int bh = near ? ah + between(-1, 3) : between(1, 3 * dh);
                display::Rect source_area{between(-3, sw), between(-3, sh), 0, 0};
                source_area.right = source_area.left + aw;
                source_area.bottom = source_area.top + ah;
                display::Rect destination_area{between(-6, dw), between(-4, dh), 0, 0};
                destination_area.right = destination_area.left + std::max(bw, 1);
                destination_area.bottom = destination_area.top + std::max(bh, 1);
                if (round % 3 == 0) {
                    std::swap(destination_area.left, destination_area.right);
                    std::swap(destination_area.top, destination_area.bottom);
                }
                const display::Rect clip =
                    round % 4 == 1 ? display::Rect{between(0, dw / 2), between(0, dh / 2), dw,
                                                   between(dh / 2 + 1, dh)}
                                   : display::Rect{0, 0, dw, dh};
                SCOPED_TRACE(testing::Message()
                             << from.bits << " -> " << to.bits << " bits, round " << round);
                expect_copy_matches(source.image, source_area, destination, destination_area, clip);
            }
        }
    }
}

TEST(DisplayPixelEngine, TheDemosJitterCopyMatchesTheReferenceAtEveryShift) {
    const display::PixelFormat xrgb = format_of(32, 0xff0000, 0xff00, 0xff, 0);
    std::mt19937 random(5);
    SourceBuffer picture(320, 200, 1280, xrgb, random);  // random top bytes: cleared on copy
    DestinationBuffer screen(320, 200, 1280, xrgb, random);
    const display::Rect whole{0, 0, 320, 200};
    for (int x = 1; x <= 10; ++x) {
        for (int y : {1, 4, 10}) {
            SCOPED_TRACE(testing::Message() << "shift " << x << "," << y);
            expect_copy_matches(picture.image, whole, screen, display::Rect{320, 200, -x, -y},
                                whole);
        }
    }
}

}  // namespace

// The exact multiply-and-divide of scaled copies: the portable path (compilers without 128-bit
// integers) gives the same as the compiler's 128-bit one, around every carry and near the top
TEST(DisplayPixelsArithmetic, PortableMultiplyDivideMatches) {
    const std::uint64_t edges[] = {0,
                                   1,
                                   2,
                                   3,
                                   0xffffffffu,
                                   0x100000000u,
                                   0x100000001u,
                                   0x7fffffffffffffffu,
                                   0x8000000000000000u,
                                   0xffffffffffffffffu,
                                   33333,
                                   16384};
    std::mt19937_64 random(12);
    std::vector<std::uint64_t> values(std::begin(edges), std::end(edges));
    for (int i = 0; i < 200; ++i) values.push_back(random() >> (random() % 64));
    int checked = 0;
    for (std::uint64_t a : values) {
        for (std::uint64_t b : values) {
            for (std::uint64_t divisor :
                 {std::uint64_t(1), std::uint64_t(2), std::uint64_t(640),
                  std::uint64_t(0x7fffffffffffffffu), (random() >> 1) | 1}) {
                // Only where the quotient fits in 64 bits
                __extension__ typedef unsigned __int128 wide;
                if ((wide(a) * b) / divisor > ~std::uint64_t(0)) continue;
                std::uint64_t q = 0, r = 0, pq = 1, pr = 1;
                display::multiply_divide(a, b, divisor, &q, &r);
                display::multiply_divide_portable(a, b, divisor, &pq, &pr);
                ASSERT_EQ(pq, q) << a << " * " << b << " / " << divisor;
                ASSERT_EQ(pr, r) << a << " * " << b << " % " << divisor;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 10000);
}

// The drawing helpers over the public interface: a pixel put and read back through a format
// with 5-6-5 channels, nothing written outside the surface or its clip area, and sprites
// copied with a colour key and with alpha, clipped at the target's edge
TEST_F(DisplayPixels, DrawHelpersConvertClipAndMix) {
    trelk::Surface small(8, 4, trelk::Format(16, 0xf800, 0x7e0, 0x1f, 0));
    trelk::put(small, 2, 1, 0xffff0000);
    EXPECT_EQ(trelk::get(small, 2, 1), 0xffff0000u);
    trelk::put(small, 3, 1, 0xff808080);
    EXPECT_EQ(trelk::get(small, 3, 1), 0xff848284u) << "grey through 5 and 6 bits";
    small.clip(trelk::Area(0, 0, 4, 4));
    for (const auto& at : {std::array<int, 2>{-1, 0}, {8, 0}, {0, 4}, {5, 1}, {-2147483647 - 1, 0}})
        trelk::put(small, at[0], at[1], 0xffffffff);
    int lit = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) lit += trelk::get(small, x, y) != 0xff000000u;
    EXPECT_EQ(lit, 2) << "only the two pixels put inside";
    EXPECT_EQ(trelk::get(small, 8, 0), 0u);
    EXPECT_EQ(trelk::get(small, 0, -1), 0u);

    // A 2x2 sprite with alpha: opaque red, transparent, half-covering green, opaque magenta
    trelk::Surface sprite(2, 2, trelk::Format(32, 0xff0000, 0xff00, 0xff, 0xff000000));
    trelk::put(sprite, 0, 0, 0xffff0000);
    trelk::put(sprite, 1, 0, 0x00ffffff);
    trelk::put(sprite, 0, 1, 0x8000ff00);
    trelk::put(sprite, 1, 1, 0xffff00ff);
    trelk::Surface target(3, 2, xrgb);
    trelk::fill(target, 0, 0, 3, 2, 0xff0000ff);

    trelk::copy_keyed(sprite, target, 1, 0, 0xffff00ff);
    EXPECT_EQ(pixel(target, 0, 0), 0x0000ffu) << "left of the sprite";
    EXPECT_EQ(pixel(target, 1, 0), 0xff0000u);
    EXPECT_EQ(pixel(target, 2, 0), 0xffffffu) << "a colour key ignores alpha";
    EXPECT_EQ(pixel(target, 1, 1), 0x00ff00u);
    EXPECT_EQ(pixel(target, 2, 1), 0x0000ffu) << "the key colour is left out";

    trelk::fill(target, 0, 0, 3, 2, 0xff0000ff);
    trelk::copy_blended(sprite, target, -1, 0);  // the sprite's left column falls outside
    EXPECT_EQ(pixel(target, 0, 0), 0x0000ffu) << "transparent";
    EXPECT_EQ(pixel(target, 0, 1), 0xff00ffu) << "opaque";
    EXPECT_EQ(pixel(target, 1, 0), 0x0000ffu) << "nothing of the sprite reaches here";
    trelk::fill(target, 0, 0, 3, 2, 0xff0000ff);
    trelk::copy_blended(sprite, target, 0, 0);
    EXPECT_EQ(pixel(target, 0, 1), 0x00807fu) << "half green over blue";

    EXPECT_DISPLAY_ERROR(trelk::copy_blended(target, target, 0, 0), "same surface");
    EXPECT_FALSE(target.option("locked")) << "every helper unlocks";
}
