#include "tests/layer_surfaces.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using fake::Call;
using ::testing::ElementsAre;

SurfaceEntries surface_entries() {
    return {137, 136, 138, 139, 141, 140, 143, 142, 146, 145, 144,
            148, 147, 154, 149, 150, 151, 152, 153, 155, 156};
}

SurfaceEntries console_entries() {
    return {47, 46, 48, 49, 51, 50, 53, 52, 56, 55, 54, 58, 57, 65, 59, 60, 61, 63, 64, 66, 33};
}

void check_surface_operations(fake::Library& lib, trelk::BaseSurface& target,
                              const SurfaceEntries& e) {
    const trelk_handle h = target.handle();
    PlainSurface other;
    const trelk_handle other_handle = reinterpret_cast<trelk_handle>(&other);
    trelk::Area source(1, 2, 3, 4);
    trelk::Area destination(5, 6, 7, 8);
    trelk::Format format(24, 0xff0000u, 0xff00u, 0xffu, 0u);
    trelk::Palette palette;
    trelk::Color color(0xff123456u);
    unsigned char pixels[16] = {};
    const void* in = pixels;
    const trelk_handle a = source.handle(), d = destination.handle(), f = format.handle(),
                       p = palette.handle(), c = color.handle();

    lib.push_result(e.lock, static_cast<void*>(pixels + 3));
    lib.push_result(e.width, 640);
    lib.push_result(e.height, -480);
    lib.push_result(e.pitch, 2561);
    lib.push_result(e.option, 1);
    char option[] = "fullscreen";

    lib.clear_log();
    target.copy(other, source, destination);
    target.copy(other);
    EXPECT_EQ(target.lock(), pixels + 3);
    target.unlock();
    target.load(pixels, 4, 2, 12, format, palette, source, destination);
    target.load(pixels, 4, 2, 12, format, palette);
    target.save(pixels, 3, 1, 9, format, palette, source, destination);
    target.save(pixels, 3, 1, 9, format, palette);
    target.clear(color, source);
    target.clear(color);
    target.clear();
    target.palette(palette);
    target.clip(destination);
    EXPECT_EQ(target.width(), 640);
    EXPECT_EQ(target.height(), -480);
    EXPECT_EQ(target.pitch(), 2561);
    EXPECT_TRUE(target.option(option));
    std::strcpy(option, "windowed");  // the option string passes by value

    EXPECT_THAT(
        lib.calls(),
        ElementsAre(
            Call(e.copy_area, {h, other_handle, a, d}), Call(e.copy, {h, other_handle}),
            Call(e.lock, {h}), Call(e.unlock, {h}),
            Call(e.load_area, {h, in, 4, 2, 12, f, p, a, d}), Call(e.load, {h, in, 4, 2, 12, f, p}),
            Call(e.save_area, {h, in, 3, 1, 9, f, p, a, d}), Call(e.save, {h, in, 3, 1, 9, f, p}),
            Call(e.clear_color_area, {h, c, a}), Call(e.clear_color, {h, c}), Call(e.clear, {h}),
            Call(e.set_palette, {h, p}), Call(e.set_clip, {h, d}), Call(e.width, {h}),
            Call(e.height, {h}), Call(e.pitch, {h}), Call(e.option, {h, "fullscreen"})));
}

namespace {

// One cached getter twice: both calls copy a fresh library object into the same member.
template <typename Value, typename Get>
void check_getter(fake::Library& lib, trelk_handle h, int query, int copy, fake::Kind kind,
                  Get get) {
    lib.clear_log();
    const Value& first = get();
    const std::vector<Call> log = lib.calls();
    ASSERT_EQ(log.size(), 2u) << "query " << query;
    const trelk_handle library_value = log[1].args.at(1).handle();
    EXPECT_THAT(log, ElementsAre(Call(query, {h}), Call(copy, {first.handle(), library_value})));
    EXPECT_FALSE(lib.owned(library_value));
    EXPECT_EQ(lib.kind(library_value), kind);
    EXPECT_TRUE(lib.owned(first.handle()));
    EXPECT_EQ(lib.origin(first.handle()), library_value);

    lib.clear_log();
    const Value& second = get();
    EXPECT_EQ(&second, &first) << "query " << query;
    ASSERT_EQ(lib.calls().size(), 2u);
    const trelk_handle newer = lib.calls()[1].args.at(1).handle();
    EXPECT_NE(newer, library_value);
    EXPECT_EQ(lib.origin(first.handle()), newer) << "a kept reference shows the latest value";
}

}  // namespace

void check_cached_getters(fake::Library& lib, trelk::BaseSurface& target, const SurfaceEntries& e) {
    const trelk_handle h = target.handle();
    check_getter<trelk::Area>(lib, h, e.area, 9, fake::Kind::Area,
                              [&]() -> const trelk::Area& { return target.area(); });
    check_getter<trelk::Area>(lib, h, e.clip, 9, fake::Kind::Area,
                              [&]() -> const trelk::Area& { return target.clip(); });
    check_getter<trelk::Format>(lib, h, e.format, 106, fake::Kind::Format,
                                [&]() -> const trelk::Format& { return target.format(); });
    check_getter<trelk::Palette>(lib, h, e.palette, 132, fake::Kind::Palette,
                                 [&]() -> const trelk::Palette& { return target.palette(); });
    // Area and clip are two members, not one
    EXPECT_NE(&target.area(), &target.clip());
}

void check_clip_after_set(fake::Library& lib, trelk::BaseSurface& target, const SurfaceEntries& e) {
    const trelk::Area& kept = target.clip();
    const trelk_handle before = lib.origin(kept.handle());
    trelk::Area wanted(10, 20, 30, 40);

    lib.clear_log();
    target.clip(wanted);
    EXPECT_THAT(lib.calls(), ElementsAre(Call(e.set_clip, {target.handle(), wanted.handle()})));
    EXPECT_EQ(lib.origin(kept.handle()), before) << "the setter leaves the cached clip alone";

    lib.clear_log();
    const trelk::Area& again = target.clip();
    EXPECT_EQ(&again, &kept);
    ASSERT_EQ(lib.calls().size(), 2u);
    EXPECT_EQ(lib.origin(kept.handle()), lib.calls()[1].args.at(1).handle());
    EXPECT_NE(lib.origin(kept.handle()), before);
}
