// The display library's value objects and handles, through the object layer where it has the
// operation and through the entries where it has not.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include "platform/display/registry.h"
#include "tests/display_support.h"
#include "trelk/area.h"
#include "trelk/color.h"
#include "trelk/format.h"
#include "trelk/key.h"
#include "trelk/library.h"
#include "trelk/mode.h"
#include "trelk/palette.h"
#include "trelk/timer.h"

namespace {

using display_test::DisplayTest;

class DisplayObjects : public DisplayTest {};

std::array<int, 4> values_of(const trelk::Area& area) {
    std::array<int, 4> v{};
    trelk_display_area_values(area.handle(), v.data());
    return v;
}

TEST_F(DisplayObjects, PreparationAnswersOne) { EXPECT_EQ(trelk_prepare(), 1); }

TEST_F(DisplayObjects, AreasKeepTheirValuesAndCopy) {
    trelk::Area a(-3, 4, 1000, -7);
    trelk::Area b;
    EXPECT_EQ(values_of(a), (std::array<int, 4>{-3, 4, 1000, -7}));
    EXPECT_EQ(values_of(b), (std::array<int, 4>{0, 0, 0, 0}));
    trelk_area_copy(b.handle(), a.handle());
    EXPECT_EQ(values_of(b), (std::array<int, 4>{-3, 4, 1000, -7}));
}

TEST_F(DisplayObjects, LiveObjectsCountCreatesAndDestroys) {
    const int before = trelk_display_live_objects();
    {
        trelk::Area a;
        trelk::Format f;
        trelk::Mode m;  // a mode and its format
        EXPECT_EQ(trelk_display_live_objects(), before + 4);
    }
    EXPECT_EQ(trelk_display_live_objects(), before);
}

TEST_F(DisplayObjects, EveryCreateGivesADistinctHandleAndOldOnesStayInvalid) {
    const trelk_handle first = trelk_area_create(1, 2, 3, 4);
    trelk_area_destroy(first);
    const trelk_handle second = trelk_area_create(1, 2, 3, 4);  // reuses the slot
    EXPECT_NE(first, second);
    EXPECT_DISPLAY_ERROR(trelk_area_destroy(first), "invalid area handle");
    EXPECT_DISPLAY_ERROR(trelk_area_destroy(first), "was destroyed");
    int values[4];
    trelk_display_area_values(second, values);
    EXPECT_EQ(values[3], 4);
    trelk_area_destroy(second);
}

TEST_F(DisplayObjects, NullForeignAndWrongKindHandlesAreErrors) {
    trelk::Format format;
    int local = 0;
    EXPECT_DISPLAY_ERROR(trelk_area_destroy(nullptr), "invalid area handle: null");
    EXPECT_DISPLAY_ERROR(trelk_surface_width(reinterpret_cast<trelk_handle>(&local)),
                         "was not made by the display library");
    EXPECT_DISPLAY_ERROR(trelk_area_destroy(format.handle()), "is a format handle");
    EXPECT_DISPLAY_ERROR(trelk_key_code(reinterpret_cast<trelk_handle>(~std::uintptr_t(0))),
                         "invalid key handle");
    // A tagged value with a slot index far past any table
    const auto far = reinterpret_cast<trelk_handle>(
        std::uintptr_t(display::Handles::make(1, display::max_slots - 1, display::Kind::area)));
    EXPECT_DISPLAY_ERROR(trelk_area_destroy(far), "invalid area handle");
}

// The handle layouts of both pointer sizes (this build uses one; a wasm32 build the other):
// fields do not overlap, decode to what was made, and a freed slot's value is no handle
template <class Layout>
void check_handle_layout(const char* name) {
    using Bits = display::HandleBits<Layout>;
    using Value = typename Bits::Value;
    SCOPED_TRACE(name);
    EXPECT_EQ(Value(Layout::tag & ~Layout::tag_mask), Value(0));
    EXPECT_EQ(Layout::generation_shift + Layout::generation_bits,
              sizeof(Value) * 8 - (Layout::tag_mask ? 16 : 0))
        << "the generation ends where the tag begins";
    EXPECT_EQ(4 + Layout::index_bits, Layout::generation_shift) << "the index meets the generation";
    EXPECT_EQ(Bits::next_generation(Bits::max_generation), 1u);
    for (std::uint32_t generation : {1u, 2u, Bits::max_generation}) {
        for (std::uint32_t index : {0u, 1u, Bits::max_slots / 2, Bits::max_slots - 1}) {
            for (int k = 1; k <= int(display::Kind::console); ++k) {
                const auto kind = display::Kind(k);
                const Value made = Bits::make(generation, index, kind);
                EXPECT_TRUE(Bits::tagged(made)) << std::hex << made;
                EXPECT_NE(made, Value(0));
                EXPECT_EQ(Bits::index(made), index) << std::hex << made;
                EXPECT_EQ(Bits::kind(made), kind) << std::hex << made;
                EXPECT_EQ(made >> Layout::generation_shift & Bits::max_generation, generation)
                    << std::hex << made;
                EXPECT_NE(made, Bits::dead(index)) << std::hex << made;
                EXPECT_NE(Bits::make(Bits::next_generation(generation), index, kind), made);
            }
            if (Layout::tag_mask) {
                EXPECT_FALSE(Bits::tagged(Bits::dead(index)));
            }
            EXPECT_NE(Bits::index(Bits::dead(index)), index);
        }
    }
}

TEST(DisplayHandles, LayoutsForFourAndEightBytePointers) {
    check_handle_layout<display::HandleLayout<64>>("64-bit pointers");
    check_handle_layout<display::HandleLayout<32>>("32-bit pointers");
}

TEST_F(DisplayObjects, GetterObjectsBelongToTheLibrary) {
    trelk::Format format(32, 0xff0000, 0xff00, 0xff, 0);
    trelk::Surface surface(4, 4, format);
    const trelk_handle area = trelk_surface_area(surface.handle());
    EXPECT_EQ(trelk_surface_area(surface.handle()), area) << "one object per surface and kind";
    EXPECT_DISPLAY_ERROR(trelk_area_destroy(area), "belongs to the display library");
    EXPECT_EQ(trelk_display_library_objects() > 0, true);
}

TEST_F(DisplayObjects, DefaultFormatIs32BitXrgbAndIndexedIsEightBitsWithoutMasks) {
    trelk::Format standard;
    std::uint32_t masks[4];
    EXPECT_EQ(trelk_display_format_values(standard.handle(), masks), 32);
    EXPECT_EQ(masks[0], 0xff0000u);
    EXPECT_EQ(masks[1], 0xff00u);
    EXPECT_EQ(masks[2], 0xffu);
    EXPECT_EQ(masks[3], 0u);
    trelk::Format indexed(8, 0, 0, 0, 0);
    EXPECT_EQ(trelk_display_format_values(indexed.handle(), masks), 8);
    trelk::Format copy;
    trelk_format_copy(copy.handle(), indexed.handle());
    EXPECT_EQ(trelk_display_format_values(copy.handle(), masks), 8);
}

TEST_F(DisplayObjects, UnknownFormatsAreErrors) {
    EXPECT_DISPLAY_ERROR(trelk::Format(12, 0xf00, 0xf0, 0xf, 0), "8, 16, 24 or 32");
    EXPECT_DISPLAY_ERROR(trelk::Format(16, 0xff0000, 0xff00, 0xff, 0), "beyond the pixel");
    EXPECT_DISPLAY_ERROR(trelk::Format(32, 0xff0000, 0xff00, 0xff00ff, 0), "overlap");
    EXPECT_DISPLAY_ERROR(trelk::Format(32, 0xf0f000, 0xff, 0xf00, 0), "not one run");
    EXPECT_DISPLAY_ERROR(trelk::Format(16, 0, 0, 0, 0), "at least one colour mask");
    EXPECT_DISPLAY_ERROR(trelk::Format(-8, 0, 0, 0, 0), "unknown pixel format");
}

TEST_F(DisplayObjects, KeysKeepTheirIntegers) {
    const trelk_handle key = trelk_key_create(65, 1, 2, 0);
    EXPECT_EQ(trelk_key_code(key), 65);
    EXPECT_EQ(trelk_key_modifier1(key), 1);
    EXPECT_EQ(trelk_key_modifier2(key), 2);
    EXPECT_EQ(trelk_key_modifier3(key), 0);
    trelk_key_destroy(key);
    trelk::Key blank;
    EXPECT_EQ(blank.code(), 0);
    EXPECT_FALSE(blank.modifier1() || blank.modifier2() || blank.modifier3());
}

TEST_F(DisplayObjects, ANewModeIsInvalid) {
    trelk::Mode mode;
    EXPECT_EQ(trelk_mode_valid(mode.handle()), 0);
    int width = -1, height = -1;
    trelk_display_mode_size(mode.handle(), &width, &height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
}

TEST_F(DisplayObjects, ThePaletteStartsAsAGreyRampAndCopies) {
    trelk::Palette a, b;
    std::uint32_t colors[256];
    trelk_display_palette_get(a.handle(), colors);
    EXPECT_EQ(colors[0], 0xff000000u);
    EXPECT_EQ(colors[128], 0xff808080u);
    EXPECT_EQ(colors[255], 0xffffffffu);
    for (int i = 0; i < 256; ++i) colors[i] = 0xff000000u | std::uint32_t(i) << 16;
    trelk_display_palette_set(a.handle(), colors);
    trelk_palette_copy(b.handle(), a.handle());
    std::uint32_t copied[256];
    trelk_display_palette_get(b.handle(), copied);
    EXPECT_EQ(copied[7], 0xff070000u);
}

TEST_F(DisplayObjects, ErrorsReportOneLineAndCopyTheirMessage) {
    trelk::DynamicError error("could not\nload image");
    EXPECT_EQ(display_test::message_of(error), "could not load image");
    EXPECT_STREQ(error.message(), "could not\nload image") << "the text as given";
    const trelk::DynamicError* copy = nullptr;
    {
        trelk::DynamicError source("first message");
        copy = new trelk::DynamicError(source);
    }
    EXPECT_EQ(display_test::message_of(*copy), "first message");
    EXPECT_STREQ(copy->message(), "first message") << "the copy's own text outlives the source";
    delete copy;
    try {
        trelk_area_destroy(nullptr);
        ADD_FAILURE() << "no error";
    } catch (const trelk::DynamicError& thrown) {
        EXPECT_STREQ(thrown.message(), "invalid area handle: null");
    }
    const trelk_handle empty = trelk_error_create(nullptr);
    testing::internal::CaptureStderr();
    trelk_error_report(empty);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\n");
    trelk_error_destroy(empty);
}

TEST_F(DisplayObjects, TimersCountSecondsFromStart) {
    trelk::Timer timer;
    EXPECT_EQ(timer.time(), 0.0) << "before start()";
    timer.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const double first = timer.time();
    EXPECT_GE(first, 0.025);
    EXPECT_LT(first, 5.0);
    EXPECT_GE(timer.time(), first);
    timer.start();
    EXPECT_LT(timer.time(), first);
}

TEST_F(DisplayObjects, ColoursAreObjectsOfTheirOwn) {
    const int before = trelk_display_live_objects();
    {
        trelk::Color red(0xffff0000u);
        trelk::Color green(0, 255, 0);
        EXPECT_NE(red.handle(), green.handle());
        EXPECT_EQ(trelk_display_live_objects(), before + 2);
    }
    EXPECT_DISPLAY_ERROR(trelk_color_destroy(nullptr), "invalid colour handle");
}

}  // namespace
