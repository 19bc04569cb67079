// BaseConsole and Console over the recording double: the thousand-call construction and its
// undoing, every console operation, the mode walk, key polling and reading, and unwinding.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "tests/layer_fixture.h"
#include "tests/layer_surfaces.h"
#include "trelk/console.h"
#include "trelk/error.h"

using fake::Call;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

constexpr int modes = trelk::Console::mode_count;

// Handles in the order a Console() creates them: area, clip, format and palette caches, then
// each mode's format and mode handle, then the console.
struct ConsoleHandles {
    explicit ConsoleHandles(const std::vector<trelk_handle>& made) : made(made) {}
    trelk_handle cache(int i) const { return made.at(static_cast<std::size_t>(i)); }
    trelk_handle mode_format(int i) const { return made.at(static_cast<std::size_t>(4 + 2 * i)); }
    trelk_handle mode(int i) const { return made.at(static_cast<std::size_t>(5 + 2 * i)); }
    std::vector<trelk_handle> made;
};

// What undoing a construction must destroy once modes 0 .. built-1 are complete: the modes,
// last built first (each its handle, then its format), then the caches in reverse.
std::vector<Call> undo_modes_and_caches(const ConsoleHandles& h, int built) {
    std::vector<Call> calls;
    for (int i = built - 1; i >= 0; --i) {
        calls.emplace_back(118, std::vector<fake::Arg>{h.mode(i)});
        calls.emplace_back(97, std::vector<fake::Arg>{h.mode_format(i)});
    }
    calls.emplace_back(126, std::vector<fake::Arg>{h.cache(3)});
    calls.emplace_back(97, std::vector<fake::Arg>{h.cache(2)});
    calls.emplace_back(2, std::vector<fake::Arg>{h.cache(1)});
    calls.emplace_back(2, std::vector<fake::Arg>{h.cache(0)});
    return calls;
}

class ConsoleTest : public LayerTest {};

TEST_F(ConsoleTest, ConstructionBuildsCachesThenEveryModeThenCreatesTheConsoleLast) {
    auto console = std::make_unique<trelk::Console>();
    const std::vector<int> log = lib.entries();
    ASSERT_EQ(log.size(), 8u + 4u * modes + 2u);
    EXPECT_EQ(std::vector<int>(log.begin(), log.begin() + 8),
              (std::vector<int>{167, 1, 167, 1, 167, 94, 167, 125}));
    for (int i = 0; i < modes; ++i) {
        const auto group = log.begin() + 8 + 4 * i;
        ASSERT_EQ(std::vector<int>(group, group + 4), (std::vector<int>{167, 94, 167, 117}))
            << "mode " << i;
    }
    EXPECT_EQ(std::vector<int>(log.end() - 2, log.end()), (std::vector<int>{167, 30}));
    EXPECT_EQ(lib.calls().back(), Call(30));

    ASSERT_EQ(lib.created().size(), 4u + 2u * modes + 1u);
    const ConsoleHandles h(lib.created());
    EXPECT_EQ(console->handle(), lib.created().back());
    EXPECT_EQ(lib.kind(console->handle()), fake::Kind::Console);
    EXPECT_NE(console->handle(), reinterpret_cast<trelk_handle>(console.get()));
    EXPECT_EQ(console->area().handle(), h.cache(0));
    EXPECT_EQ(console->clip().handle(), h.cache(1));
    EXPECT_EQ(console->format().handle(), h.cache(2));
    EXPECT_EQ(console->palette().handle(), h.cache(3));

    // Never opened: destruction still destroys the console first, then every member
    lib.clear_log();
    const trelk_handle c = console->handle();
    console.reset();
    std::vector<Call> expected{Call(31, {c})};
    for (const Call& call : undo_modes_and_caches(h, modes)) expected.push_back(call);
    EXPECT_EQ(lib.calls(), expected);
}

TEST_F(ConsoleTest, FailureHalfwayThroughConstructionUndoesWhatWasBuilt) {
    lib.fail_on(117, 100, "out of modes");  // mode 99's own handle
    const std::size_t before = lib.mark();
    try {
        trelk::Console console;
        FAIL() << "the hundredth mode create threw";
    } catch (const trelk::DynamicError& error) {
        EXPECT_EQ(error.handle(), lib.last_thrown());
        EXPECT_EQ(lib.message(error.handle()), "out of modes");
        const std::vector<Call> log = since(before);
        const ConsoleHandles h(lib.created());
        const std::size_t built = 8 + 4 * 99 + 4;  // through mode 99's failing create
        ASSERT_GT(log.size(), built);
        EXPECT_EQ(log[built - 1], Call(117));
        std::vector<Call> expected{Call(97, {h.mode_format(99)})};  // mode 99's format
        for (const Call& call : undo_modes_and_caches(h, 99)) expected.push_back(call);
        EXPECT_EQ(std::vector<Call>(log.begin() + static_cast<std::ptrdiff_t>(built), log.end()),
                  expected);
        EXPECT_THAT(lib.calls_of(30), IsEmpty());
        EXPECT_THAT(lib.live(), ElementsAre(error.handle()));
    }
}

TEST_F(ConsoleTest, FailingConsoleCreateLeavesNoConsoleInTheLibrary) {
    lib.fail_on(30, 1, "no display");
    try {
        trelk::Console console;
        FAIL() << "the console create threw";
    } catch (const trelk::DynamicError& error) {
        EXPECT_EQ(lib.message(error.handle()), "no display");
        const ConsoleHandles h(lib.created());
        const std::vector<Call> log = lib.calls();
        const std::vector<Call> undo = undo_modes_and_caches(h, modes);
        ASSERT_GE(log.size(), undo.size());
        EXPECT_EQ(
            std::vector<Call>(log.end() - static_cast<std::ptrdiff_t>(undo.size()), log.end()),
            undo);
        EXPECT_THAT(lib.calls_of(31), IsEmpty());
        for (trelk_handle made : lib.created()) EXPECT_NE(lib.kind(made), fake::Kind::Console);
    }
}

TEST_F(ConsoleTest, SurfaceOperationsForwardToTheConsoleEntries) {
    trelk::Console console;
    check_surface_operations(lib, console, console_entries());
}

TEST_F(ConsoleTest, CachedGettersRefreshOneMemberAndReturnIt) {
    trelk::Console console;
    check_cached_getters(lib, console, console_entries());
    check_clip_after_set(lib, console, console_entries());
}

TEST_F(ConsoleTest, OptionAndKeyAreTrueOnlyForOne) {
    trelk::Console console;
    for (int answer : {0, 1, 2, -1}) {
        lib.push_result(33, answer);
        lib.push_result(44, answer);
        lib.clear_log();
        EXPECT_EQ(console.option("x"), answer == 1) << answer;
        EXPECT_EQ(console.key(), answer == 1) << answer;
        EXPECT_THAT(lib.calls(),
                    ElementsAre(Call(33, {console.handle(), "x"}), Call(44, {console.handle()})));
    }
}

TEST_F(ConsoleTest, ConsoleOperationsForwardTheirArgumentsInOrder) {
    trelk::Console console;
    trelk::BaseConsole& target = console;
    trelk::Format format(32, 0xff0000u, 0xff00u, 0xffu, 0u);
    trelk::Mode mode;
    trelk::Area area(3, 1, 4, 1);
    const trelk_handle c = console.handle(), f = format.handle(), m = mode.handle(),
                       a = area.handle();
    lib.push_result(32, -12345);

    lib.clear_log();
    EXPECT_EQ(target.entry32(-5), -12345);
    target.openAlternate("alt mode", mode, 1);
    target.openAlternate("alt size", 800, 600, format, 2);
    target.openAlternate("alt format", format, 3);
    target.openAlternate("alt", 4);
    target.open("kelvra demo", mode, 5);
    target.open("kelvra demo", 320, 200, format, 6);
    target.open("kelvra demo", format, 0);
    target.open("kelvra demo", 7);
    target.close();
    target.update(area);
    target.update();
    EXPECT_THAT(
        lib.calls(),
        ElementsAre(Call(32, {c, -5}), Call(73, {c, "alt mode", m, 1}),
                    Call(72, {c, "alt size", 800, 600, f, 2}), Call(71, {c, "alt format", f, 3}),
                    Call(70, {c, "alt", 4}), Call(38, {c, "kelvra demo", m, 5}),
                    Call(37, {c, "kelvra demo", 320, 200, f, 6}),
                    Call(36, {c, "kelvra demo", f, 0}), Call(35, {c, "kelvra demo", 7}),
                    Call(39, {c}), Call(43, {c, a}), Call(42, {c})));
}

TEST_F(ConsoleTest, LibraryDefinedQueriesReturnTheirResultUnchanged) {
    trelk::Console console;
    trelk::BaseConsole& target = console;
    const std::pair<int (trelk::BaseConsole::*)(), int> queries[] = {
        {&trelk::BaseConsole::entry40, 40}, {&trelk::BaseConsole::entry41, 41},
        {&trelk::BaseConsole::entry62, 62}, {&trelk::BaseConsole::entry67, 67},
        {&trelk::BaseConsole::entry68, 68}, {&trelk::BaseConsole::entry69, 69},
        {&trelk::BaseConsole::entry74, 74}, {&trelk::BaseConsole::entry75, 75},
        {&trelk::BaseConsole::entry76, 76}, {&trelk::BaseConsole::entry77, 77},
        {&trelk::BaseConsole::entry78, 78}, {&trelk::BaseConsole::entry79, 79},
    };
    for (const auto& [query, entry] : queries) {
        lib.push_result(entry, -1000 - entry);
        lib.clear_log();
        EXPECT_EQ((target.*query)(), -1000 - entry) << entry;
        EXPECT_THAT(lib.calls(), ElementsAre(Call(entry, {console.handle()})));
    }
}

// ---- modes()

class ConsoleModes : public LayerTest {
protected:
    // The library mode that the walk copied into each element it wrote, checked call by call:
    // mode i asked with (console, i), copied into element i, validity asked of the library's.
    void expect_walk(trelk::Console& console, const trelk::Mode* list, int length) {
        const std::vector<Call> log = lib.calls();
        ASSERT_EQ(log.size(), 3u * static_cast<std::size_t>(length));
        for (int i = 0; i < length; ++i) {
            const Call& copy = log[3 * i + 1];
            const trelk_handle library_mode = copy.args.at(1).handle();
            EXPECT_EQ(log[3 * i], Call(34, {console.handle(), i}));
            EXPECT_EQ(copy, Call(123, {list[i].handle(), library_mode}));
            EXPECT_EQ(log[3 * i + 2], Call(119, {library_mode})) << "asks the library's mode";
            EXPECT_EQ(lib.mode_index(library_mode), i);
            EXPECT_FALSE(lib.owned(library_mode));
        }
    }
};

TEST_F(ConsoleModes, FirstModeInvalidGivesAListOfJustTheEndMarker) {
    trelk::Console console;
    const ConsoleHandles h(lib.created());
    lib.clear_log();
    const trelk::Mode* list = console.modes();
    EXPECT_EQ(list[0].handle(), h.mode(0));
    expect_walk(console, list, 1);
    EXPECT_EQ(lib.mode_validity(list[0].handle()), 0);
}

TEST_F(ConsoleModes, AnyNonZeroAnswerIsValid) {
    trelk::Console console;
    lib.set_mode_validity({1, 2, -1, 7, 0, 1});
    lib.clear_log();
    const trelk::Mode* list = console.modes();
    expect_walk(console, list, 5);
    for (int i = 0; i < 4; ++i) EXPECT_NE(lib.mode_validity(list[i].handle()), 0) << i;
    EXPECT_EQ(lib.mode_validity(list[4].handle()), 0);
}

TEST_F(ConsoleModes, ShorterSecondWalkLeavesTheFirstWalksCopiesBehindTheNewEnd) {
    trelk::Console console;
    lib.set_mode_validity({1, 1, 1, 1, 1, 0});
    const trelk::Mode* first = console.modes();
    std::vector<trelk_handle> first_walk;
    for (int i = 0; i < 6; ++i) first_walk.push_back(lib.origin(first[i].handle()));

    lib.set_mode_validity({1, 1, 0});
    lib.clear_log();
    const trelk::Mode* second = console.modes();
    EXPECT_EQ(second, first);
    expect_walk(console, second, 3);
    for (int i = 0; i < 3; ++i) EXPECT_NE(lib.origin(second[i].handle()), first_walk[i]) << i;
    for (int i = 3; i < 6; ++i) EXPECT_EQ(lib.origin(second[i].handle()), first_walk[i]) << i;
    EXPECT_EQ(lib.mode_validity(second[2].handle()), 0);  // where a caller stops
}

// 255 valid modes fill the list up to its last element, which the library's invalid mode 255
// takes as the end marker: every index 0 to 255 is asked, copied and checked.
TEST_F(ConsoleModes, ExactlyAsManyValidModesAsFitEndWithTheLibrarysInvalidModeInTheLastElement) {
    auto console = std::make_unique<trelk::Console>();  // on the heap: overruns are caught
    lib.set_mode_validity(std::vector<int>(modes - 1, 1));
    lib.clear_log();
    const trelk::Mode* list = console->modes();
    expect_walk(*console, list, modes);
    EXPECT_EQ(lib.calls().size(), 768u);
    for (int i = 0; i < modes - 1; ++i) EXPECT_NE(lib.mode_validity(list[i].handle()), 0) << i;
    EXPECT_EQ(lib.mode_validity(list[modes - 1].handle()), 0);
    EXPECT_EQ(lib.mode_index(lib.origin(list[modes - 1].handle())), modes - 1);
}

// More valid modes than fit: elements 0 to 254 take modes 0 to 254, the rest pass through the
// last element until the library's first invalid mode, which ends the list there.
TEST_F(ConsoleModes, MoreValidModesThanTheListHoldsStillEndWithAnInvalidElement) {
    auto console = std::make_unique<trelk::Console>();  // on the heap: overruns are caught
    lib.set_mode_validity(std::vector<int>(300, 1));
    for (int walk = 0; walk < 2; ++walk) {
        lib.clear_log();
        const trelk::Mode* list = console->modes();
        // The walk writes only into the list and creates nothing on the way
        for (const Call& call : lib.calls()) {
            ASSERT_TRUE(call.entry == 34 || call.entry == 123 || call.entry == 119) << call;
        }
        EXPECT_EQ(lib.calls().size(), 3u * 301u) << "modes 0 to 300, the first invalid";
        std::vector<trelk_handle> elements;
        for (int i = 0; i < modes; ++i) elements.push_back(list[i].handle());
        for (const Call& call : lib.calls_of(123))
            EXPECT_NE(std::find(elements.begin(), elements.end(), call.args.at(0).handle()),
                      elements.end())
                << "copied into " << call.args.at(0) << ", not an element of the list";
        for (int i = 0; i < modes - 1; ++i)
            EXPECT_EQ(lib.mode_index(lib.origin(list[i].handle())), i) << i;
        EXPECT_EQ(lib.mode_index(lib.origin(list[modes - 1].handle())), 300);
        int end = 0;
        while (end < modes && lib.mode_validity(list[end].handle()) != 0) ++end;
        EXPECT_EQ(end, modes - 1) << "the first invalid element is the last one";
    }
}

// ---- read()

class ConsoleRead : public LayerTest {};

TEST_F(ConsoleRead, FillsATemporaryKeyAndReturnsACopyOfIt) {
    trelk::Console console;
    lib.push_read_key(fake::KeyState{65, 1, 2, 1});
    const std::size_t before = lib.mark();
    const std::size_t made_before = lib.created().size();
    trelk::Key key = console.read();
    const std::vector<Call> log = since(before);
    ASSERT_EQ(log.size(), 10u);
    const trelk_handle temporary = log[2].args.at(1).handle();
    const trelk_handle c = console.handle();
    EXPECT_THAT(
        log, ElementsAre(Call(167), Call(108, {0, 0, 0, 0}), Call(45, {c, temporary}), Call(167),
                         Call(113, {temporary}), Call(112, {temporary}), Call(111, {temporary}),
                         Call(110, {temporary}), Call(108, {65, 1, 0, 1}), Call(109, {temporary})));
    EXPECT_EQ(lib.created().size(), made_before + 2);
    EXPECT_EQ(key.handle(), lib.created().back());
    EXPECT_EQ(key.code(), 65);
    EXPECT_TRUE(key.modifier1());
    EXPECT_FALSE(key.modifier2());  // the library's 2 is not a pressed modifier
    EXPECT_TRUE(key.modifier3());
}

TEST_F(ConsoleRead, EachReadGivesAnIndependentKey) {
    trelk::Console console;
    lib.push_read_key(fake::KeyState{10, 0, 0, 1});
    lib.push_read_key(fake::KeyState{20, 1, 0, 0});
    trelk::Key first = console.read();
    {
        trelk::Key second = console.read();
        EXPECT_NE(second.handle(), first.handle());
        EXPECT_EQ(second.code(), 20);
        lib.clear_log();
    }
    EXPECT_THAT(lib.calls(), ElementsAre(Call(109, {lib.created().back()})));
    EXPECT_EQ(first.code(), 10);
    EXPECT_TRUE(first.modifier3());
    EXPECT_FALSE(first.modifier1());
}

TEST_F(ConsoleRead, FailureInsideReadDestroysTheTemporaryAndPassesTheErrorOn) {
    trelk::Console console;
    // The read entry itself, the copy's first accessor, the copy's create
    const std::pair<int, int> failures[] = {{45, 1}, {113, 1}, {108, 2}};
    for (const auto& [entry, nth] : failures) {
        lib.fail_on(entry, nth, "keyboard gone");
        const std::size_t before = lib.mark();
        const std::size_t live_before = lib.live().size();
        try {
            console.read();
            FAIL() << "entry " << entry << " threw";
        } catch (const trelk::DynamicError& error) {
            EXPECT_EQ(error.handle(), lib.last_thrown());
            EXPECT_EQ(lib.message(error.handle()), "keyboard gone");
            const std::vector<Call> log = since(before);
            ASSERT_GE(log.size(), 4u);
            // Made before the error: the temporary key is the one before it
            const trelk_handle temporary = lib.created().at(lib.created().size() - 2);
            EXPECT_EQ(log[1], Call(108, {0, 0, 0, 0}));
            EXPECT_EQ(log[2], Call(45, {console.handle(), temporary}));
            EXPECT_EQ(log.back(), Call(109, {temporary})) << entry;
            EXPECT_EQ(lib.live().size(), live_before + 1) << entry;
            EXPECT_EQ(lib.live().back(), error.handle());
        }
    }
}

}  // namespace

namespace {

TEST(SlotOrder, ConsoleOperationsFollowTheSurfaceSlotsInDeclarationOrder) {
#if defined(_MSC_VER)
    GTEST_SKIP() << "needs the Itanium C++ ABI";
#else
    using C = trelk::BaseConsole;
    using trelk::Area;
    using trelk::Format;
    using trelk::Mode;
    const std::vector<std::ptrdiff_t> slots = {
        vtable_index(&C::entry32),
        vtable_index(&C::modes),
        vtable_index(static_cast<void (C::*)(const char*, const Mode&, int)>(&C::openAlternate)),
        vtable_index(
            static_cast<void (C::*)(const char*, int, int, const Format&, int)>(&C::openAlternate)),
        vtable_index(static_cast<void (C::*)(const char*, const Format&, int)>(&C::openAlternate)),
        vtable_index(static_cast<void (C::*)(const char*, int)>(&C::openAlternate)),
        vtable_index(static_cast<void (C::*)(const char*, const Mode&, int)>(&C::open)),
        vtable_index(static_cast<void (C::*)(const char*, int, int, const Format&, int)>(&C::open)),
        vtable_index(static_cast<void (C::*)(const char*, const Format&, int)>(&C::open)),
        vtable_index(static_cast<void (C::*)(const char*, int)>(&C::open)),
        vtable_index(&C::close),
        vtable_index(&C::entry40),
        vtable_index(&C::entry41),
        vtable_index(static_cast<void (C::*)(const Area&)>(&C::update)),
        vtable_index(static_cast<void (C::*)()>(&C::update)),
        vtable_index(&C::key),
        vtable_index(&C::read),
        vtable_index(&C::entry62),
        vtable_index(&C::entry67),
        vtable_index(&C::entry68),
        vtable_index(&C::entry69),
        vtable_index(&C::entry74),
        vtable_index(&C::entry75),
        vtable_index(&C::entry76),
        vtable_index(&C::entry77),
        vtable_index(&C::entry78),
        vtable_index(&C::entry79),
    };
    ASSERT_EQ(slots.size(), 27u);
    // Two destructor slots, then the 22 surface operations
    for (std::size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i], static_cast<std::ptrdiff_t>(24 + i)) << "console operation " << i;
    // The surface operations keep their slots in the console
    EXPECT_EQ(vtable_index(&C::handle), 23);
    EXPECT_EQ(
        vtable_index(static_cast<void (trelk::Console::*)()>(&trelk::Console::clear)),
        vtable_index(static_cast<void (trelk::BaseSurface::*)()>(&trelk::BaseSurface::clear)));
#endif
}

}  // namespace
