// Fuzz target: the display library's load, save, copy and clear, called through its entries,
// over arbitrary formats, pitches, sizes and areas (reversed, empty, huge, far outside), with
// clip areas, palettes, locks and handles that are not live objects.
//
// Input: two surfaces (format and size each), then a list of operations. Every caller buffer
// is allocated at exactly the size its width, height and pitch describe, so a read or write
// past it is a sanitizer report. A DynamicError is a correct answer and the next operation
// goes on; a crash, a sanitizer report, a hang, another exception, a write into the padding
// between a caller's rows, or a library object left alive at the end is a finding.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_support.h"
#include "platform/display/test_counters.h"
#include "trelk/error.h"

namespace {

struct FormatSpec {
    int bits;
    std::uint32_t red, green, blue, alpha;
};

// Formats the library knows, then ones it must refuse
const FormatSpec format_specs[] = {
    {32, 0xff0000, 0xff00, 0xff, 0},
    {32, 0xff0000, 0xff00, 0xff, 0xff000000},
    {32, 0xff, 0xff00, 0xff0000, 0},
    {32, 0x3ff00000, 0xffc00, 0x3ff, 0xc0000000},
    {24, 0xff0000, 0xff00, 0xff, 0},
    {24, 0xff, 0xff00, 0xff0000, 0},
    {16, 0xf800, 0x7e0, 0x1f, 0},
    {16, 0x7c00, 0x3e0, 0x1f, 0x8000},
    {16, 0xf00, 0xf0, 0xf, 0xf000},
    {8, 0xe0, 0x1c, 0x3, 0},
    {8, 0, 0, 0, 0},
    {8, 0, 0, 0, 0},
    {12, 0xf00, 0xf0, 0xf, 0},
    {32, 0xff00ff, 0xff00, 0xff, 0},
    {16, 0x1f0000, 0x7e0, 0x1f, 0},
    {32, 0xf0f000, 0xff, 0xf, 0},
    {0, 0, 0, 0, 0},
    {32, 0, 0, 0, 0xff000000},
};

// A fuzzed format; null when the library refused it
trelk_handle make_format(FuzzInput& in) {
    FormatSpec spec = in.pick(format_specs);
    if (in.byte() >= 240) {  // now and then masks from the input itself
        spec.red = in.u32();
        spec.green = in.u32();
        spec.blue = in.u32();
        spec.alpha = in.u32();
    }
    try {
        return trelk_format_create_direct(spec.bits, spec.red, spec.green, spec.blue, spec.alpha);
    } catch (const trelk::DynamicError&) {
        return nullptr;
    }
}

int size_value(FuzzInput& in, int small) {
    const std::uint8_t how = in.byte();
    if (how < 220) return in.byte() % small;
    return in.edgy();
}

trelk_handle make_area(FuzzInput& in) {
    const int left = in.edgy(), top = in.edgy(), right = in.edgy(), bottom = in.edgy();
    return trelk_area_create(left, top, right, bottom);
}

// Objects of one input, destroyed whatever happens
struct Objects {
    std::vector<trelk_handle> areas, formats, palettes, colors, surfaces;

    ~Objects() {
        for (trelk_handle h : areas) trelk_area_destroy(h);
        for (trelk_handle h : formats) trelk_format_destroy(h);
        for (trelk_handle h : palettes) trelk_palette_destroy(h);
        for (trelk_handle h : colors) trelk_color_destroy(h);
        for (trelk_handle h : surfaces) trelk_surface_destroy(h);
    }
    trelk_handle area(FuzzInput& in) { return areas.emplace_back(make_area(in)); }
};

// A caller's buffer of exactly the bytes that width, height and pitch describe
struct Buffer {
    std::uint8_t* pixels = nullptr;
    std::size_t size = 0;
    int width = 0, height = 0, pitch = 0, bytes = 1;
    bool valid = false;  // a buffer the library must accept (sizes in range, pitch wide enough)

    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { std::free(pixels); }
};

// Returns false when the described buffer would be too large to be worth allocating
bool make_buffer(FuzzInput& in, int bytes, Buffer& b) {
    b.bytes = bytes;
    b.width = size_value(in, 80);
    b.height = size_value(in, 80);
    // Computed wide: a fuzzed width times the pixel size may not fit an int
    const std::int64_t row = std::int64_t(b.width) * bytes;
    std::int64_t pitch = 0;
    switch (in.byte() % 5) {
        case 0:
            pitch = row;
            break;
        case 1:
            pitch = row + in.byte() % 16;
            break;
        case 2:
            pitch = row - 1 - in.byte() % 4;
            break;
        case 3:
            pitch = (row + 3) / 4 * 4;
            break;
        default:
            pitch = in.edgy();
            break;
    }
    b.pitch = int(pitch < INT_MIN ? INT_MIN : pitch > INT_MAX ? INT_MAX : pitch);
    const bool sizes_ok = b.width >= 0 && b.height >= 0 && b.width <= 16384 && b.height <= 16384;
    b.valid = sizes_ok && std::int64_t(b.pitch) >= std::int64_t(b.width) * bytes;
    std::int64_t need = 16;  // a buffer the library must refuse is never read
    if (b.valid && b.height > 0) {
        need = std::int64_t(b.height - 1) * b.pitch + std::int64_t(b.width) * bytes;
    }
    if (need > (1 << 20)) return false;
    b.size = std::size_t(need);
    b.pixels = static_cast<std::uint8_t*>(std::malloc(b.size ? b.size : 1));
    if (!b.pixels) return false;
    for (std::size_t i = 0; i < b.size; ++i) b.pixels[i] = std::uint8_t(0x5a + i * 7);
    return true;
}

// The bytes between one row's pixels and the next row must keep what the caller put there
void check_padding(const Buffer& b) {
    if (!b.valid) return;
    const std::size_t row = std::size_t(b.width) * b.bytes;
    for (int y = 0; y + 1 < b.height; ++y) {
        for (std::size_t i = std::size_t(y) * b.pitch + row; i < std::size_t(y + 1) * b.pitch;
             ++i) {
            if (b.pixels[i] != std::uint8_t(0x5a + i * 7)) {
                fuzz_finding(
                    "save wrote byte %zu of a %dx%d buffer of pitch %d: padding after row %d", i,
                    b.width, b.height, b.pitch, y);
            }
        }
    }
}

int format_bytes(trelk_handle format) {
    std::uint32_t masks[4];
    const int bits = trelk_display_format_values(format, masks);
    return bits / 8;
}

void one_operation(FuzzInput& in, Objects& o, trelk_handle palette) {
    const int op = in.byte() % 16;
    trelk_handle target = o.surfaces[in.byte() % o.surfaces.size()];
    trelk_handle other = o.surfaces[in.byte() % o.surfaces.size()];
    switch (op) {
        case 0:
        case 1:
        case 2:
        case 3: {  // load and save, whole or with areas
            trelk_handle format = make_format(in);
            if (!format) return;
            o.formats.push_back(format);
            Buffer b;
            if (!make_buffer(in, format_bytes(format), b)) return;
            const void* pixels = in.byte() == 255 ? nullptr : b.pixels;
            if (op == 0)
                trelk_surface_load(target, pixels, b.width, b.height, b.pitch, format, palette);
            if (op == 1) {
                trelk_handle source = o.area(in), destination = o.area(in);
                trelk_surface_load_area(target, pixels, b.width, b.height, b.pitch, format, palette,
                                        source, destination);
            }
            if (op == 2 || op == 3) {
                try {
                    if (op == 2) {
                        trelk_surface_save(target, const_cast<void*>(pixels), b.width, b.height,
                                           b.pitch, format, palette);
                    } else {
                        trelk_handle source = o.area(in), destination = o.area(in);
                        trelk_surface_save_area(target, const_cast<void*>(pixels), b.width,
                                                b.height, b.pitch, format, palette, source,
                                                destination);
                    }
                } catch (const trelk::DynamicError&) {
                    check_padding(b);
                    throw;
                }
                check_padding(b);
            }
            return;
        }
        case 4:
            trelk_surface_copy(target, other);
            return;
        case 5:
        case 6: {
            trelk_handle source = o.area(in), destination = o.area(in);
            trelk_surface_copy_area(target, op == 5 ? other : target, source, destination);
            return;
        }
        case 7:
            trelk_surface_clear(target);
            return;
        case 8:
        case 9: {
            trelk_handle color = o.colors.emplace_back(trelk_color_create(in.u32()));
            if (op == 8)
                trelk_surface_clear_color(target, color);
            else
                trelk_surface_clear_color_area(target, color, o.area(in));
            return;
        }
        case 10:
            trelk_surface_set_clip(target, o.area(in));
            return;
        case 11: {  // locks, nested or not matched
            const int locks = in.byte() % 3, unlocks = in.byte() % 4;
            for (int i = 0; i < locks; ++i) {
                auto* p = static_cast<std::uint8_t*>(trelk_surface_lock(target));
                // The whole of the locked pixels is ours to read and write
                const std::size_t bytes = std::size_t(trelk_surface_pitch(target)) *
                                          std::size_t(trelk_surface_height(target));
                if (bytes) p[bytes - 1] ^= p[0];
            }
            for (int i = 0; i < unlocks; ++i) trelk_surface_unlock(target);
            return;
        }
        case 12: {
            std::uint32_t colors[256];
            for (std::uint32_t& c : colors) c = in.u32();
            trelk_display_palette_set(palette, colors);
            trelk_surface_set_palette(target, palette);
            return;
        }
        case 13: {  // getters, copied into objects of our own as the object layer does
            trelk_handle area = o.area(in);
            trelk_area_copy(area, trelk_surface_area(target));
            trelk_area_copy(area, trelk_surface_clip(target));
            trelk_format_copy(o.formats.front(), trelk_surface_format(target));
            trelk_palette_copy(palette, trelk_surface_palette(target));
            trelk_surface_option(target, "locked");
            return;
        }
        case 14: {  // a handle that is no live surface: any bits at all, or a destroyed one
            std::uint64_t bits = std::uint64_t(in.u32()) | std::uint64_t(in.u32()) << 32;
            if (in.byte() & 1) bits = reinterpret_cast<std::uintptr_t>(target) ^ (bits & 0xffffff);
            trelk_handle h = reinterpret_cast<trelk_handle>(bits);
            if (h == target || h == other) return;
            bool is_surface = false;
            for (trelk_handle s : o.surfaces) is_surface |= s == h;
            if (is_surface) return;
            trelk_surface_copy(target, h);
            return;
        }
        default: {  // a getter's object may not be destroyed by a caller
            trelk_area_destroy(trelk_surface_area(target));
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const int live = trelk_display_live_objects();
    {
        Objects o;
        try {
            o.palettes.push_back(trelk_palette_create());
            for (int i = 0; i < 2; ++i) {
                trelk_handle format = make_format(in);
                if (!format) return 0;
                o.formats.push_back(format);
                const int width = size_value(in, 48), height = size_value(in, 48);
                if (std::int64_t(width) * height > (1 << 18)) return 0;
                o.surfaces.push_back(trelk_surface_create(width, height, format));
            }
        } catch (const trelk::DynamicError&) {
            return 0;
        }
        for (int n = 0; n < 24 && !in.empty(); ++n) {
            try {
                one_operation(in, o, o.palettes.front());
            } catch (const trelk::DynamicError&) {
                // A clear error is a correct answer
            } catch (...) {
                fuzz_finding("an exception other than trelk::DynamicError left the library");
            }
        }
        // Locks left open are the caller's business; the surfaces still go
    }
    if (trelk_display_live_objects() != live) {
        fuzz_finding("library objects leaked: %d live before, %d after", live,
                     trelk_display_live_objects());
    }
    return 0;
}
