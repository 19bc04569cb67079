// The value objects over the recording double: what each constructor and destructor asks of
// the display library, the Key and DynamicError copies, the booleans, and unwinding.
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>

#include "tests/layer_fixture.h"
#include "trelk/area.h"
#include "trelk/color.h"
#include "trelk/error.h"
#include "trelk/format.h"
#include "trelk/key.h"
#include "trelk/mode.h"
#include "trelk/palette.h"
#include "trelk/timer.h"

using fake::Call;
using fake::KeyState;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// Only Key and DynamicError copy, nothing assigns, and no value object is polymorphic.
static_assert(!std::is_copy_constructible_v<trelk::Format>);
static_assert(!std::is_copy_constructible_v<trelk::Area>);
static_assert(!std::is_copy_constructible_v<trelk::Palette>);
static_assert(!std::is_copy_constructible_v<trelk::Color>);
static_assert(!std::is_copy_constructible_v<trelk::Mode>);
static_assert(!std::is_copy_constructible_v<trelk::Timer>);
static_assert(std::is_copy_constructible_v<trelk::Key>);
static_assert(std::is_copy_constructible_v<trelk::DynamicError>);
static_assert(!std::is_copy_assignable_v<trelk::Key>);
static_assert(!std::is_copy_assignable_v<trelk::DynamicError>);
static_assert(!std::is_move_assignable_v<trelk::Key>);
static_assert(!std::is_move_assignable_v<trelk::DynamicError>);
static_assert(!std::is_polymorphic_v<trelk::Key> && !std::is_polymorphic_v<trelk::Mode> &&
              !std::is_polymorphic_v<trelk::DynamicError>);

class ValueLifetime : public LayerTest {
protected:
    // Builds one T, then destroys it: the construction must be exactly the preparation entry
    // followed by `create`, and the destruction exactly `destroy_entry` with the new handle.
    template <typename T, typename Make>
    void expect_lifetime(Make make, const Call& create, int destroy_entry) {
        const std::size_t before = lib.mark();
        auto object = make();
        EXPECT_THAT(since(before), ElementsAre(Call(167), create));
        ASSERT_EQ(lib.created().size(), 1u);
        const trelk_handle handle = lib.created().back();
        EXPECT_EQ(object->handle(), handle);

        const std::size_t built = lib.mark();
        object.reset();
        EXPECT_THAT(since(built), ElementsAre(Call(destroy_entry, {handle})));
        lib.reset();
    }
};

TEST_F(ValueLifetime, EachConstructorPreparesThenCreatesWithItsArguments) {
    using std::make_unique;
    expect_lifetime<trelk::Format>([] { return make_unique<trelk::Format>(); }, Call(94), 97);
    expect_lifetime<trelk::Format>(
        [] { return make_unique<trelk::Format>(24, 0xff0000u, 0xff00u, 0xffu, 0x1u); },
        Call(96, {24, 0xff0000u, 0xff00u, 0xffu, 0x1u}), 97);
    expect_lifetime<trelk::Area>([] { return make_unique<trelk::Area>(-1, 2, 300, -4); },
                                 Call(1, {-1, 2, 300, -4}), 2);
    expect_lifetime<trelk::Palette>([] { return make_unique<trelk::Palette>(); }, Call(125), 126);
    expect_lifetime<trelk::Timer>([] { return make_unique<trelk::Timer>(); }, Call(157), 158);
    expect_lifetime<trelk::Key>([] { return make_unique<trelk::Key>(); }, Call(108, {0, 0, 0, 0}),
                                109);
    expect_lifetime<trelk::DynamicError>(
        [] { return make_unique<trelk::DynamicError>("could not load image"); },
        Call(86, {"could not load image"}), 88);
    expect_lifetime<trelk::Color>([] { return make_unique<trelk::Color>(0x80402010u); },
                                  Call(fake::color_create_entry, {0x80402010u}),
                                  fake::color_destroy_entry);
    // Components are masked to 8 bits and packed as 0xAARRGGBB
    expect_lifetime<trelk::Color>([] { return make_unique<trelk::Color>(0x1ab, 0xcd, -1, 0x12); },
                                  Call(fake::color_create_entry, {0x12abcdffu}),
                                  fake::color_destroy_entry);
}

TEST_F(ValueLifetime, DefaultAreaIsTheAllZeroAreaThroughTheSameEntry) {
    std::optional<trelk::Area> plain(std::in_place);
    const std::vector<Call> by_default = lib.calls();
    lib.clear_log();
    trelk::Area zero(0, 0, 0, 0);
    EXPECT_EQ(by_default, lib.calls());
    EXPECT_THAT(by_default, ElementsAre(Call(167), Call(1, {0, 0, 0, 0})));
    EXPECT_NE(plain->handle(), zero.handle());
}

TEST_F(ValueLifetime, ModeBuildsItsFormatFirstAndDestroysItLast) {
    auto mode = std::make_unique<trelk::Mode>();
    EXPECT_EQ(lib.entries(), (std::vector<int>{167, 94, 167, 117}));
    ASSERT_EQ(lib.created().size(), 2u);
    const trelk_handle format = lib.created()[0];
    const trelk_handle own = lib.created()[1];
    EXPECT_EQ(mode->handle(), own);
    EXPECT_EQ(lib.kind(format), fake::Kind::Format);

    lib.clear_log();
    mode.reset();
    EXPECT_THAT(lib.calls(), ElementsAre(Call(118, {own}), Call(97, {format})));
}

// The fields in order: the mode handle first, then the Format (whose only field is its handle)
TEST_F(ValueLifetime, ModeHoldsItsHandleFirstThenItsFormat) {
    static_assert(std::is_standard_layout_v<trelk::Mode>);
    static_assert(sizeof(trelk::Mode) == 2 * sizeof(trelk_handle));
    const trelk::Mode mode;
    ASSERT_EQ(lib.created().size(), 2u);
    trelk_handle fields[2];
    std::memcpy(fields, &mode, sizeof fields);
    EXPECT_EQ(fields[0], mode.handle());
    EXPECT_EQ(lib.kind(fields[0]), fake::Kind::Mode);
    EXPECT_EQ(fields[1], lib.created()[0]);
    EXPECT_EQ(lib.kind(fields[1]), fake::Kind::Format);
}

TEST_F(ValueLifetime, ModeWhoseCreateFailsStillDestroysItsFormat) {
    lib.fail_on(117, 1, "no modes");
    try {
        trelk::Mode mode;
        FAIL() << "the mode create entry threw";
    } catch (const trelk::DynamicError& error) {
        EXPECT_EQ(error.handle(), lib.last_thrown());
        EXPECT_EQ(lib.message(error.handle()), "no modes");
        // The format made before the failing create is gone before the handler runs
        EXPECT_THAT(lib.live(), ElementsAre(error.handle()));
    }
}

// ---- Key

class KeyValues : public LayerTest {};

TEST_F(KeyValues, CopyReadsLastFlagFirstAndCreatesFromWhatTheAccessorsReport) {
    trelk::Key source;
    // A library flag of 2 or -1 is not 1: it reads false and arrives in the copy as 0;
    // the code arrives as it is, negative or not
    lib.set_key(source.handle(), KeyState{-77, 2, 1, -1});
    const std::size_t before = lib.mark();
    trelk::Key copy(source);
    const trelk_handle s = source.handle();
    EXPECT_THAT(since(before),
                ElementsAre(Call(167), Call(113, {s}), Call(112, {s}), Call(111, {s}),
                            Call(110, {s}), Call(108, {-77, 0, 1, 0})));
    EXPECT_NE(copy.handle(), source.handle());
    EXPECT_EQ(copy.code(), -77);
    EXPECT_FALSE(copy.modifier1());
    EXPECT_TRUE(copy.modifier2());
    EXPECT_FALSE(copy.modifier3());
}

TEST_F(KeyValues, CopyPassesEveryTrueFlagAsOne) {
    trelk::Key source;
    lib.set_key(source.handle(), KeyState{0x1b, 1, 1, 1});
    lib.clear_log();
    trelk::Key copy(source);
    EXPECT_EQ(lib.calls().back(), Call(108, {0x1b, 1, 1, 1}));
}

TEST_F(KeyValues, CopyOutlivesItsSource) {
    auto source = std::make_unique<trelk::Key>();
    lib.set_key(source->handle(), KeyState{9, 0, 1, 0});
    trelk::Key copy(*source);
    source.reset();
    EXPECT_EQ(copy.code(), 9);
    EXPECT_TRUE(copy.modifier2());
}

TEST_F(KeyValues, FlagsAreTrueOnlyForOneAndTheCodeComesBackUnchanged) {
    trelk::Key key;
    const trelk_handle h = key.handle();
    for (int answer : {0, 1, 2, -1}) {
        lib.push_result(111, answer);
        lib.push_result(112, answer);
        lib.push_result(113, answer);
        lib.push_result(110, answer);
        lib.clear_log();
        EXPECT_EQ(key.modifier1(), answer == 1) << answer;
        EXPECT_EQ(key.modifier2(), answer == 1) << answer;
        EXPECT_EQ(key.modifier3(), answer == 1) << answer;
        EXPECT_EQ(key.code(), answer);
        EXPECT_THAT(lib.calls(),
                    ElementsAre(Call(111, {h}), Call(112, {h}), Call(113, {h}), Call(110, {h})));
    }
}

// ---- Timer

TEST_F(ValueLifetime, TimerForwardsStartAndReturnsTheTimeUnchanged) {
    trelk::Timer timer;
    lib.push_result(162, 12.625);
    lib.clear_log();
    timer.start();
    EXPECT_EQ(timer.time(), 12.625);
    EXPECT_THAT(lib.calls(), ElementsAre(Call(160, {timer.handle()}), Call(162, {timer.handle()})));
}

// ---- DynamicError

class ErrorValues : public LayerTest {};

TEST_F(ErrorValues, CopyCreatesAnEmptyErrorThenCopiesTheSourceIntoIt) {
    trelk::DynamicError source("disk on fire");
    const std::size_t before = lib.mark();
    trelk::DynamicError copy(source);
    EXPECT_NE(copy.handle(), source.handle());
    EXPECT_THAT(since(before),
                ElementsAre(Call(167), Call(86, {""}), Call(91, {copy.handle(), source.handle()})));
}

TEST_F(ErrorValues, CopyOutlivesItsSourceAndReportsWithItsOwnHandle) {
    auto source = std::make_unique<trelk::DynamicError>("disk on fire");
    trelk::DynamicError copy(*source);
    const trelk_handle source_handle = source->handle();
    source.reset();
    EXPECT_EQ(lib.calls().back(), Call(88, {source_handle}));

    lib.clear_log();
    copy.report();
    EXPECT_THAT(lib.calls(), ElementsAre(Call(89, {copy.handle()})));
    EXPECT_EQ(lib.message(copy.handle()), "disk on fire");
}

TEST_F(ErrorValues, ThrownByValueAndCaughtByReferenceIsDestroyedOnceAfterTheHandler) {
    trelk_handle caught = nullptr;
    try {
        throw trelk::DynamicError("could not load image");
    } catch (const trelk::DynamicError& error) {
        caught = error.handle();
        error.report();
        EXPECT_THAT(lib.calls_of(88), IsEmpty());
    }
    EXPECT_THAT(lib.calls(), ElementsAre(Call(167), Call(86, {"could not load image"}),
                                         Call(89, {caught}), Call(88, {caught})));
}

TEST_F(ErrorValues, ThrowingANamedErrorCopiesItAndBothAreDestroyedOnce) {
    trelk::DynamicError original("late");
    try {
        throw original;
    } catch (const trelk::DynamicError& error) {
        EXPECT_NE(error.handle(), original.handle());
        EXPECT_EQ(lib.message(error.handle()), "late");
    }
    EXPECT_EQ(lib.calls_of(88).size(), 1u);  // the thrown copy; the original is still alive
    EXPECT_THAT(lib.live(), ElementsAre(original.handle()));
}

TEST_F(ErrorValues, FailingCopyEntryDestroysTheHalfMadeCopyAndPassesTheErrorOn) {
    trelk::DynamicError source("first");
    lib.fail_on(91, 1, "copy failed");
    const std::size_t before = lib.mark();
    try {
        trelk::DynamicError copy(source);
        FAIL() << "the copy entry threw";
    } catch (const trelk::DynamicError& error) {
        EXPECT_EQ(error.handle(), lib.last_thrown());
        EXPECT_EQ(lib.message(error.handle()), "copy failed");
        const std::vector<Call> log = since(before);
        ASSERT_EQ(log.size(), 4u);
        const trelk_handle half_made = log[2].args[0].handle();
        EXPECT_THAT(log,
                    ElementsAre(Call(167), Call(86, {""}), Call(91, {half_made, source.handle()}),
                                Call(88, {half_made})));
        EXPECT_THAT(lib.live(), ElementsAre(source.handle(), error.handle()));
    }
}

// ---- the double itself: the checks every test relies on must see real faults

class FakeLibrary : public ::testing::Test {
protected:
    void SetUp() override { lib.reset(); }
    void TearDown() override { lib.reset(); }
    fake::Library& lib = fake::library();
};

TEST_F(FakeLibrary, SeesDoubleUnknownLibraryOwnedAndWrongKindDestroys) {
    const trelk_handle area = trelk_area_create(1, 2, 3, 4);
    trelk_area_destroy(area);
    EXPECT_THAT(lib.faults(), IsEmpty());
    trelk_area_destroy(area);
    EXPECT_EQ(lib.faults().size(), 1u);
    trelk_palette_destroy(reinterpret_cast<trelk_handle>(&lib));
    EXPECT_EQ(lib.faults().size(), 2u);
    trelk_handle surface = trelk_surface_create(1, 1, trelk_format_create());
    trelk_area_destroy(trelk_surface_area(surface));
    EXPECT_EQ(lib.faults().size(), 3u);  // a getter's handle belongs to the library
    trelk_format_destroy(surface);
    EXPECT_EQ(lib.faults().size(), 4u);
    trelk_surface_clear(area);  // used after destruction
    EXPECT_EQ(lib.faults().size(), 5u);
    EXPECT_EQ(lib.live().size(), 2u);
}

TEST_F(FakeLibrary, MarksItsOwnErrorBuildingAndTracksTheThrownError) {
    lib.fail_on(144, 2, "second clear");
    trelk_surface_clear(nullptr);
    EXPECT_THROW(
        {
            try {
                trelk_surface_clear(nullptr);
            } catch (const trelk::DynamicError& error) {
                EXPECT_EQ(error.handle(), lib.last_thrown());
                EXPECT_EQ(lib.message(error.handle()), "second clear");
                EXPECT_THAT(lib.live(), ElementsAre(error.handle()));
                throw;
            }
        },
        trelk::DynamicError);
    EXPECT_EQ(lib.entries(), (std::vector<int>{144, 144, 88}));
    const auto& all = lib.all_calls();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_TRUE(all[1].threw);
    EXPECT_TRUE(all[2].internal && all[3].internal);
    EXPECT_EQ(all[2].entry, 167);
    EXPECT_EQ(all[3], Call(86, {"second clear"}));
    EXPECT_THAT(lib.live(), IsEmpty());
}

TEST_F(FakeLibrary, ScriptedResultsComeFromTheQueueThenTheDefault) {
    lib.push_result(60, 640);
    lib.push_result(60, -1);
    lib.set_default(60, 7);
    EXPECT_EQ(trelk_console_width(nullptr), 640);
    EXPECT_EQ(trelk_console_width(nullptr), -1);
    EXPECT_EQ(trelk_console_width(nullptr), 7);
    EXPECT_EQ(trelk_console_width(nullptr), 7);
}

}  // namespace
