// Fuzz target: the picture loader over arbitrary file bytes and surface sizes.
//
// Input: the surface's format and real size, then the size the surface reports to the loader
// (the same most of the time; a surface may report any size, and the loader must stay within
// what it allocated), then the file's bytes. A DynamicError is a correct answer; a crash, a
// sanitizer report, a hang or another exception is a finding. When the surface reports its
// real size in the demo's 32-bit format, the loaded pixels are compared with what the file
// holds: rows bottom-up, blue-green-red, black where a short file ends.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo/picture.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_support.h"
#include "platform/display/test_counters.h"
#include "trelk/error.h"
#include "trelk/format.h"
#include "trelk/surface.h"

namespace {

// A surface that forwards everything to a real one but may report another size
class SizedSurface : public trelk::BaseSurface {
public:
    SizedSurface(trelk::Surface& real, int width, int height)
        : real_(real), width_(width), height_(height) {}

    void copy(BaseSurface& s, const trelk::Area& a, const trelk::Area& b) override {
        real_.copy(s, a, b);
    }
    void copy(BaseSurface& s) override { real_.copy(s); }
    void* lock() override { return real_.lock(); }
    void unlock() override { real_.unlock(); }
    void load(const void* p, int w, int h, int pitch, const trelk::Format& f,
              const trelk::Palette& pal, const trelk::Area& a, const trelk::Area& b) override {
        real_.load(p, w, h, pitch, f, pal, a, b);
    }
    void load(const void* p, int w, int h, int pitch, const trelk::Format& f,
              const trelk::Palette& pal) override {
        real_.load(p, w, h, pitch, f, pal);
    }
    void save(void* p, int w, int h, int pitch, const trelk::Format& f, const trelk::Palette& pal,
              const trelk::Area& a, const trelk::Area& b) override {
        real_.save(p, w, h, pitch, f, pal, a, b);
    }
    void save(void* p, int w, int h, int pitch, const trelk::Format& f,
              const trelk::Palette& pal) override {
        real_.save(p, w, h, pitch, f, pal);
    }
    void clear(const trelk::Color& c, const trelk::Area& a) override { real_.clear(c, a); }
    void clear(const trelk::Color& c) override { real_.clear(c); }
    void clear() override { real_.clear(); }
    const trelk::Palette& palette() override { return real_.palette(); }
    void palette(const trelk::Palette& p) override { real_.palette(p); }
    const trelk::Area& clip() override { return real_.clip(); }
    void clip(const trelk::Area& a) override { real_.clip(a); }
    int width() override { return width_; }
    int height() override { return height_; }
    int pitch() override { return real_.pitch(); }
    const trelk::Area& area() override { return real_.area(); }
    const trelk::Format& format() override { return real_.format(); }
    bool option(const char* o) override { return real_.option(o); }
    trelk_handle handle() override { return real_.handle(); }

private:
    trelk::Surface& real_;
    int width_, height_;
};

struct SurfaceFormat {
    int bits;
    std::uint32_t red, green, blue;
};

const SurfaceFormat surface_formats[] = {
    {32, 0xff0000, 0xff00, 0xff}, {32, 0xff0000, 0xff00, 0xff}, {32, 0xff0000, 0xff00, 0xff},
    {24, 0xff0000, 0xff00, 0xff}, {16, 0xf800, 0x7e0, 0x1f},    {8, 0, 0, 0},
};

// The 32-bit pixel the loader must produce at (x, y) of a w x h picture from a file of
// `size` bytes
std::uint32_t expected_pixel(const std::uint8_t* file, std::size_t size, int x, int y, int w,
                             int h) {
    std::uint32_t pixel = 0;
    const std::size_t row_bytes = std::size_t(w) * 3;
    const std::size_t at = 18 + std::size_t(h - 1 - y) * row_bytes + std::size_t(x) * 3;
    for (int c = 0; c < 3; ++c) {
        if (at + c < size) pixel |= std::uint32_t(file[at + c]) << (8 * c);
    }
    return pixel;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const SurfaceFormat format = in.pick(surface_formats);
    // Real sizes: mostly small, sometimes at the edges (the library refuses what it cannot make)
    int width = in.byte() < 200 ? 1 + in.byte() % 64 : in.edgy();
    int height = in.byte() < 200 ? 1 + in.byte() % 64 : in.edgy();
    int reported_width = width, reported_height = height;
    if (in.byte() >= 192) {
        reported_width = in.edgy();
        reported_height = in.edgy();
    }
    // Sizes that would only test how fast memory fills are left out: the loader's buffer and
    // the surface stay within a few megabytes
    if (std::int64_t(width) * height > (1 << 20)) return 0;
    if (reported_width >= 0 && reported_height >= 0 && reported_width <= max_picture_side &&
        reported_height <= max_picture_side &&
        std::int64_t(reported_width) * reported_height > (1 << 20)) {
        return 0;
    }

    const std::string& path = fuzz_scratch_file("picture.tga");
    fuzz_write_file(path, in.rest(), in.remaining());
    const std::uint8_t* file = in.rest();
    const std::size_t file_size = in.remaining();

    const int live = trelk_display_live_objects();
    try {
        trelk::Format surface_format(format.bits, format.red, format.green, format.blue, 0);
        trelk::Surface real(width, height, surface_format);
        SizedSurface surface(real, reported_width, reported_height);
        load_picture(surface, path.c_str());

        if (format.bits == 32 && reported_width == width && reported_height == height) {
            const auto* pixels = static_cast<const std::uint32_t*>(real.lock());
            const int pitch = real.pitch() / 4;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const std::uint32_t want = expected_pixel(file, file_size, x, y, width, height);
                    const std::uint32_t got = pixels[std::size_t(y) * pitch + x];
                    if (got != want) {
                        fuzz_finding("pixel (%d, %d) of %dx%d: expected %#x, got %#x", x, y, width,
                                     height, want, got);
                    }
                }
            }
            real.unlock();
        }
    } catch (const trelk::DynamicError&) {
        // A clear error is a correct answer
    } catch (...) {
        fuzz_finding("an exception other than trelk::DynamicError left the loader");
    }
    if (trelk_display_live_objects() != live) {
        fuzz_finding("library objects leaked: %d live before, %d after", live,
                     trelk_display_live_objects());
    }
    return 0;
}
