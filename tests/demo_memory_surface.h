// An in-memory drawing target for the demo's tests: width x height 32-bit pixels in a buffer of
// exactly that size (so the sanitizers catch any store outside it), counting the calls that the
// cube and the loader make. Optionally it notes, at every unlock(), which pixels changed since
// the matching lock(): that shows each store happening inside its own lock and unlock (small
// surfaces only: it compares the whole buffer each time).
#ifndef TESTS_DEMO_MEMORY_SURFACE_H
#define TESTS_DEMO_MEMORY_SURFACE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "trelk/surface.h"

struct Store {
    int x;
    int y;
    std::uint32_t value;
    bool operator==(const Store& o) const { return x == o.x && y == o.y && value == o.value; }
};

inline std::ostream& operator<<(std::ostream& out, const Store& s) {
    return out << "(" << s.x << ", " << s.y << ") = 0x" << std::hex << s.value << std::dec;
}

class MemorySurface : public trelk::BaseSurface {
public:
    MemorySurface(int width, int height, std::uint32_t fill = 0)
        : w(width), h(height), pixels(static_cast<std::size_t>(width) * height, fill) {}

    // ---- what the tests look at
    int w;
    int h;
    std::vector<std::uint32_t> pixels;
    int locks = 0;
    int unlocks = 0;
    int widths = 0;           // width() calls, locked or not
    int widths_unlocked = 0;  // width() calls made while not locked
    int heights = 0;
    int faults = 0;                          // lock while locked, unlock while unlocked
    bool track = false;                      // record stores per lock (small surfaces)
    std::vector<std::vector<Store>> stores;  // per unlock: the pixels that changed

    // The load call, when one came
    int loads = 0;
    std::vector<unsigned char> loaded;  // the rows handed over, width * 3 bytes each
    int load_width = -1, load_height = -1, load_pitch = -1;
    trelk_handle load_format = nullptr, load_palette = nullptr;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * w + x]; }

    // ---- BaseSurface
    void* lock() override {
        if (locked_) ++faults;
        locked_ = true;
        ++locks;
        if (track) shadow_ = pixels;
        return pixels.empty() ? nullptr : pixels.data();
    }
    void unlock() override {
        if (!locked_) ++faults;
        locked_ = false;
        ++unlocks;
        if (track) {
            std::vector<Store> changed;
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                if (pixels[i] != shadow_[i]) {
                    changed.push_back(
                        {static_cast<int>(i % w), static_cast<int>(i / w), pixels[i]});
                }
            }
            stores.push_back(changed);
        }
    }
    int width() override {
        ++widths;
        if (!locked_) ++widths_unlocked;
        return w;
    }
    int height() override {
        ++heights;
        return h;
    }
    void load(const void* data, int width, int height, int pitch, const trelk::Format& format,
              const trelk::Palette& palette) override {
        ++loads;
        load_width = width;
        load_height = height;
        load_pitch = pitch;
        load_format = format.handle();
        load_palette = palette.handle();
        const auto* bytes = static_cast<const unsigned char*>(data);
        loaded.clear();
        for (int y = 0; y < height; ++y) {
            loaded.insert(loaded.end(), bytes + static_cast<std::size_t>(y) * pitch,
                          bytes + static_cast<std::size_t>(y) * pitch + width * 3);
        }
    }

    // Neither the cube nor the loader uses anything else.
    void copy(trelk::BaseSurface&, const trelk::Area&, const trelk::Area&) override {
        unexpected("copy");
    }
    void copy(trelk::BaseSurface&) override { unexpected("copy"); }
    void load(const void*, int, int, int, const trelk::Format&, const trelk::Palette&,
              const trelk::Area&, const trelk::Area&) override {
        unexpected("load with areas");
    }
    void save(void*, int, int, int, const trelk::Format&, const trelk::Palette&, const trelk::Area&,
              const trelk::Area&) override {
        unexpected("save");
    }
    void save(void*, int, int, int, const trelk::Format&, const trelk::Palette&) override {
        unexpected("save");
    }
    void clear(const trelk::Color&, const trelk::Area&) override { unexpected("clear"); }
    void clear(const trelk::Color&) override { unexpected("clear"); }
    void clear() override { unexpected("clear"); }
    const trelk::Palette& palette() override { unexpected("palette"); }
    void palette(const trelk::Palette&) override { unexpected("palette"); }
    const trelk::Area& clip() override { unexpected("clip"); }
    void clip(const trelk::Area&) override { unexpected("clip"); }
    int pitch() override { unexpected("pitch"); }
    const trelk::Area& area() override { unexpected("area"); }
    const trelk::Format& format() override { unexpected("format"); }
    bool option(const char*) override { unexpected("option"); }

private:
    [[noreturn]] static void unexpected(const std::string& what) {
        ADD_FAILURE() << "unexpected call of " << what << "()";
        throw std::logic_error("unexpected call of " + what);
    }

    bool locked_ = false;
    std::vector<std::uint32_t> shadow_;
};

#endif
