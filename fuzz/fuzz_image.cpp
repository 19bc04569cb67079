// Fuzz target: the image file loader (PNG and TGA) over arbitrary file bytes, then the
// shapes and text drawn on what it made, at coordinates far inside and outside.
//
// Input: the surface format, a line's two ends, a circle's centre and radius and a text
// position (each an edgy int), then the file's bytes. A DynamicError from the load is a
// correct answer. A finding: a crash, a sanitizer report, a hang, another exception, the
// loader and the in-memory decoder disagreeing, a decoded picture whose size and pixel count
// do not match, a refusal without a reason, or a library object left alive.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_support.h"
#include "platform/display/image_files.h"
#include "platform/display/test_counters.h"
#include "trelk/error.h"
#include "trelk/graphics.h"

namespace {

struct FormatSpec {
    int bits;
    std::uint32_t red, green, blue, alpha;
};

const FormatSpec format_specs[] = {
    {32, 0xff0000, 0xff00, 0xff, 0},   {32, 0xff0000, 0xff00, 0xff, 0xff000000},
    {24, 0xff0000, 0xff00, 0xff, 0},   {16, 0xf800, 0x7e0, 0x1f, 0},
    {16, 0x7c00, 0x3e0, 0x1f, 0x8000}, {8, 0, 0, 0, 0},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const FormatSpec spec = in.pick(format_specs);
    int v[9];
    for (int& value : v) value = in.edgy();
    const std::vector<std::uint8_t> bytes(in.rest(), in.rest() + in.remaining());

    int width = -1, height = -1;
    std::string error;
    const std::vector<std::uint32_t> pixels = display::decode_image(bytes, &width, &height, &error);
    if (error.empty() != !pixels.empty())
        fuzz_finding("decoded %zu pixels with the reason \"%s\"", pixels.size(), error.c_str());
    if (!pixels.empty() && (width < 1 || height < 1 || width > 16384 || height > 16384 ||
                            pixels.size() != std::size_t(width) * std::size_t(height)))
        fuzz_finding("decoded %zu pixels for %dx%d", pixels.size(), width, height);

    const int live = trelk_display_live_objects();
    const std::string& file = fuzz_scratch_file("image");
    fuzz_write_file(file, bytes.data(), bytes.size());
    trelk_handle format =
        trelk_format_create_direct(spec.bits, spec.red, spec.green, spec.blue, spec.alpha);
    trelk_handle surface = nullptr;
    try {
        surface = trelk_image_load(file.c_str(), format);
    } catch (const trelk::DynamicError&) {
    }
    // An empty file cannot be read at all, so the decoder is not asked about it
    if ((surface != nullptr) != !pixels.empty() && !bytes.empty())
        fuzz_finding("the loader %s what the decoder %s", surface ? "took" : "refused",
                     pixels.empty() ? "refused" : "took");
    if (surface) {
        if (trelk_surface_width(surface) != width || trelk_surface_height(surface) != height)
            fuzz_finding("a %dx%d picture made a %dx%d surface", width, height,
                         trelk_surface_width(surface), trelk_surface_height(surface));
        trelk_draw_line(surface, v[0], v[1], v[2], v[3], 0xffffffff);
        trelk_draw_circle(surface, v[4], v[5], v[6], 0xff00ff00);
        trelk_draw_fill_circle(surface, v[5], v[4], v[6] / 2, 0x80ff0000);
        trelk_draw_rect(surface, v[0], v[2], v[1], v[3], 0xff0000ff);
        trelk_draw_text_on(surface, v[7], v[8], "Fuzz\n\x01~", 0xffffffff, 0xff000000);
        trelk_surface_destroy(surface);
    }
    trelk_format_destroy(format);
    if (trelk_display_live_objects() != live)
        fuzz_finding("%d library objects left alive", trelk_display_live_objects() - live);
    return 0;
}
