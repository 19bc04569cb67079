// BaseSurface and Surface over the recording double: construction and destruction, what every
// operation forwards, the cached getters, naming a copy's target, and unwinding.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "tests/layer_fixture.h"
#include "tests/layer_surfaces.h"
#include "trelk/console.h"
#include "trelk/error.h"
#include "trelk/surface.h"

using fake::Call;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class SurfaceTest : public LayerTest {};

TEST_F(SurfaceTest, BuildsItsCachesThenCreatesTheSurfaceFromTheFormatHandle) {
    trelk::Format format(32, 0xff0000u, 0xff00u, 0xffu, 0u);
    const std::size_t before = lib.mark();
    auto surface = std::make_unique<trelk::Surface>(320, 200, format);
    const std::vector<Call> log = since(before);
    EXPECT_THAT(log, ElementsAre(Call(167), Call(1, {0, 0, 0, 0}), Call(167), Call(1, {0, 0, 0, 0}),
                                 Call(167), Call(94), Call(167), Call(125), Call(167),
                                 Call(134, {320, 200, format.handle()})));
    // Created after the test's format: area, clip, format, palette, then the surface
    const std::vector<trelk_handle>& made = lib.created();
    ASSERT_EQ(made.size(), 6u);
    EXPECT_EQ(surface->handle(), made[5]);
    // Each getter fills its own cache, which was built in field order
    EXPECT_EQ(surface->area().handle(), made[1]);
    EXPECT_EQ(surface->clip().handle(), made[2]);
    EXPECT_EQ(surface->format().handle(), made[3]);
    EXPECT_EQ(surface->palette().handle(), made[4]);

    lib.clear_log();
    surface.reset();
    EXPECT_THAT(lib.calls(),
                ElementsAre(Call(135, {made[5]}), Call(126, {made[4]}), Call(97, {made[3]}),
                            Call(2, {made[2]}), Call(2, {made[1]})));
}

TEST_F(SurfaceTest, KeepsNothingOfTheFormatItWasBuiltWith) {
    auto format = std::make_unique<trelk::Format>(24, 0xff0000u, 0xff00u, 0xffu, 0u);
    trelk::Surface surface(8, 8, *format);
    format.reset();  // a surface still holding it would now use a dead handle
    lib.clear_log();
    const trelk::Format& reported = surface.format();
    ASSERT_EQ(lib.calls().size(), 2u);
    const trelk_handle library_format = lib.origin(reported.handle());
    EXPECT_THAT(lib.calls(), ElementsAre(Call(155, {surface.handle()}),
                                         Call(106, {reported.handle(), library_format})));
    EXPECT_FALSE(lib.owned(library_format));
}

TEST_F(SurfaceTest, EveryOperationForwardsToItsEntryWithTheSurfaceHandleFirst) {
    trelk::Format format;
    trelk::Surface surface(640, 480, format);
    check_surface_operations(lib, surface, surface_entries());
}

TEST_F(SurfaceTest, OptionIsTrueOnlyForOne) {
    trelk::Format format;
    trelk::Surface surface(1, 1, format);
    for (int answer : {0, 1, 2, -1}) {
        lib.push_result(156, answer);
        EXPECT_EQ(surface.option("vsync"), answer == 1) << answer;
    }
}

TEST_F(SurfaceTest, CachedGettersRefreshOneMemberAndReturnIt) {
    trelk::Format format;
    trelk::Surface surface(1, 1, format);
    check_cached_getters(lib, surface, surface_entries());
}

TEST_F(SurfaceTest, ClipReferenceKeepsTheOldValueUntilClipIsAskedAgain) {
    trelk::Format format;
    trelk::Surface surface(1, 1, format);
    check_clip_after_set(lib, surface, surface_entries());
}

TEST_F(SurfaceTest, CopyNamesTheTargetByItsVirtualHandle) {
    trelk::Format format;
    trelk::Surface surface(4, 4, format);
    trelk::Surface other(4, 4, format);
    trelk::Console console;
    PlainSurface plain;
    trelk::Area source(0, 0, 4, 4);
    trelk::Area destination(1, 1, 2, 2);

    lib.clear_log();
    surface.copy(other);
    surface.copy(console);
    surface.copy(plain);
    surface.copy(console, source, destination);
    surface.copy(plain, source, destination);
    const trelk_handle s = surface.handle();
    const trelk_handle own_address = reinterpret_cast<trelk_handle>(&plain);
    EXPECT_THAT(lib.calls(),
                ElementsAre(Call(136, {s, other.handle()}), Call(136, {s, console.handle()}),
                            Call(136, {s, own_address}),
                            Call(137, {s, console.handle(), source.handle(), destination.handle()}),
                            Call(137, {s, own_address, source.handle(), destination.handle()})));
    // The console's handle is the library console, not the object
    EXPECT_EQ(lib.kind(console.handle()), fake::Kind::Console);
}

TEST_F(SurfaceTest, ErrorFromAnOperationArrivesUnchangedAndTheSurfaceStaysUsable) {
    trelk::Format format;
    trelk::Surface surface(4, 4, format);
    trelk::Surface target(4, 4, format);
    trelk::Area source;
    trelk::Area destination;
    lib.fail_on(137, 1, "scaler broke");
    try {
        surface.copy(target, source, destination);
        FAIL() << "the copy entry threw";
    } catch (const trelk::DynamicError& error) {
        EXPECT_EQ(error.handle(), lib.last_thrown());
        EXPECT_EQ(lib.message(error.handle()), "scaler broke");
        EXPECT_THAT(lib.calls_of(91), IsEmpty());  // not copied on the way
    }
    lib.clear_log();
    surface.copy(target, source, destination);
    EXPECT_EQ(lib.calls().size(), 1u);
}

TEST_F(SurfaceTest, FailedConstructionDestroysTheCachesAlreadyBuilt) {
    trelk::Format format;
    for (int entry : {125, 134}) {
        lib.fail_on(entry, 1, "out of surfaces");
        const std::size_t before = lib.mark();
        try {
            trelk::Surface surface(4, 4, format);
            FAIL() << "entry " << entry << " threw";
        } catch (const trelk::DynamicError& error) {
            EXPECT_EQ(lib.message(error.handle()), "out of surfaces");
            const std::vector<int> log = lib.entries_since(before);
            const std::vector<int> undo(log.end() - (entry == 125 ? 3 : 4), log.end());
            EXPECT_EQ(undo, entry == 125 ? std::vector<int>({97, 2, 2})
                                         : std::vector<int>({126, 97, 2, 2}))
                << entry;
            EXPECT_THAT(lib.calls_of(135), IsEmpty());
            EXPECT_EQ(lib.live().size(), 2u);  // the format and the error in flight
        }
    }
}

TEST(SlotOrder, BaseSurfaceOperationsFollowTheDestructorInDeclarationOrder) {
#if defined(_MSC_VER)
    GTEST_SKIP() << "needs the Itanium C++ ABI";
#else
    using B = trelk::BaseSurface;
    using trelk::Area;
    using trelk::Color;
    using trelk::Format;
    using trelk::Palette;
    const std::vector<std::ptrdiff_t> slots = {
        vtable_index(static_cast<void (B::*)(B&, const Area&, const Area&)>(&B::copy)),
        vtable_index(static_cast<void (B::*)(B&)>(&B::copy)),
        vtable_index(&B::lock),
        vtable_index(&B::unlock),
        vtable_index(static_cast<void (B::*)(const void*, int, int, int, const Format&,
                                             const Palette&, const Area&, const Area&)>(&B::load)),
        vtable_index(
            static_cast<void (B::*)(const void*, int, int, int, const Format&, const Palette&)>(
                &B::load)),
        vtable_index(static_cast<void (B::*)(void*, int, int, int, const Format&, const Palette&,
                                             const Area&, const Area&)>(&B::save)),
        vtable_index(static_cast<void (B::*)(void*, int, int, int, const Format&, const Palette&)>(
            &B::save)),
        vtable_index(static_cast<void (B::*)(const Color&, const Area&)>(&B::clear)),
        vtable_index(static_cast<void (B::*)(const Color&)>(&B::clear)),
        vtable_index(static_cast<void (B::*)()>(&B::clear)),
        vtable_index(static_cast<const Palette& (B::*)()>(&B::palette)),
        vtable_index(static_cast<void (B::*)(const Palette&)>(&B::palette)),
        vtable_index(static_cast<const Area& (B::*)()>(&B::clip)),
        vtable_index(static_cast<void (B::*)(const Area&)>(&B::clip)),
        vtable_index(&B::width),
        vtable_index(&B::height),
        vtable_index(&B::pitch),
        vtable_index(&B::area),
        vtable_index(&B::format),
        vtable_index(&B::option),
        vtable_index(&B::handle),
    };
    ASSERT_EQ(slots.size(), 22u);
    for (std::size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i], static_cast<std::ptrdiff_t>(2 + i)) << "operation " << i + 1;
#endif
}

}  // namespace
