// Checks shared by the Surface and Console tests: both implement BaseSurface, each with its own
// entry numbers, so the same checks run over either through the interface.
#ifndef TRELK_TESTS_LAYER_SURFACES_H
#define TRELK_TESTS_LAYER_SURFACES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tests/fake_library.h"
#include "trelk/surface.h"

// The entries that a BaseSurface implementation calls for each operation.
struct SurfaceEntries {
    int copy_area, copy, lock, unlock, load_area, load, save_area, save;
    int clear_color_area, clear_color, clear;
    int palette, set_palette, clip, set_clip, width, height, pitch, area, format, option;
};

SurfaceEntries surface_entries();
SurfaceEntries console_entries();

// A drawing target of no library: it keeps the default handle(), its own address.
class PlainSurface : public trelk::BaseSurface {
public:
    void copy(BaseSurface&, const trelk::Area&, const trelk::Area&) override {}
    void copy(BaseSurface&) override {}
    void* lock() override { return nullptr; }
    void unlock() override {}
    void load(const void*, int, int, int, const trelk::Format&, const trelk::Palette&,
              const trelk::Area&, const trelk::Area&) override {}
    void load(const void*, int, int, int, const trelk::Format&, const trelk::Palette&) override {}
    void save(void*, int, int, int, const trelk::Format&, const trelk::Palette&, const trelk::Area&,
              const trelk::Area&) override {}
    void save(void*, int, int, int, const trelk::Format&, const trelk::Palette&) override {}
    void clear(const trelk::Color&, const trelk::Area&) override {}
    void clear(const trelk::Color&) override {}
    void clear() override {}
    const trelk::Palette& palette() override { return *palette_; }
    void palette(const trelk::Palette&) override {}
    const trelk::Area& clip() override { return *area_; }
    void clip(const trelk::Area&) override {}
    int width() override { return 0; }
    int height() override { return 0; }
    int pitch() override { return 0; }
    const trelk::Area& area() override { return *area_; }
    const trelk::Format& format() override { return *format_; }
    bool option(const char*) override { return false; }

private:
    const trelk::Area* area_ = nullptr;
    const trelk::Format* format_ = nullptr;
    const trelk::Palette* palette_ = nullptr;
};

// Every operation of the interface except the cached getters: one call of its entry with the
// target's handle first and the arguments in order; results come back unchanged.
void check_surface_operations(fake::Library& lib, trelk::BaseSurface& target,
                              const SurfaceEntries& entries);
// area(), clip(), format(), palette(): the query entry, then the kind's copy entry from the
// library's object into one member, whose reference every call returns.
void check_cached_getters(fake::Library& lib, trelk::BaseSurface& target,
                          const SurfaceEntries& entries);
// A clip() reference keeps its value across clip(area) and follows the next clip().
void check_clip_after_set(fake::Library& lib, trelk::BaseSurface& target,
                          const SurfaceEntries& entries);

// In the Itanium C++ ABI a pointer to a virtual member function holds 1 + the byte offset of
// its vtable slot. The destructor takes two slots (complete and deleting), so BaseSurface's
// operations begin at the third. A non-virtual function would give its address instead, far
// off any slot number.
template <typename Pointer>
inline std::ptrdiff_t vtable_index(Pointer pointer) {
    static_assert(sizeof(Pointer) == 2 * sizeof(std::uintptr_t));
    std::uintptr_t words[2];
    std::memcpy(words, &pointer, sizeof words);
    return static_cast<std::ptrdiff_t>((words[0] - 1) / sizeof(void*));
}

#endif
