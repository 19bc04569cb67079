// What surfaces and consoles share: their pixels, and every operation on them that the surface
// interface offers (copy, load, save, clear, palette, clip, getters, options). The operations
// take plain values (canvases, areas, images, a colour): the entries have resolved the handles.
//
// Decisions:
// - copy(target) copies the whole canvas onto the whole target, scaled when sizes differ;
//   load and save without areas do the same between the canvas and the caller's buffer.
// - Areas are normalised: (320, 200, -3, -7) names the pixels of (-3, -7, 320, 200), upright.
//   An empty area draws nothing. Parts outside either image are clipped, keeping the scale.
// - The clip area bounds every write into a canvas: copy, load and clear (never save, which
//   writes the caller's buffer). set_clip stores the area normalised and cut to the canvas.
// - clear() sets every pixel to 0 (black; index 0 when indexed); clear(colour) converts the
//   colour 0xAARRGGBB into the canvas format, alpha as given.
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/display/objects.h"

namespace display {

void canvas_make_handles(Canvas& canvas) {
    trelk_handle made[4] = {};
    try {
        made[0] = areas.add(Rect{}, Owner::library);
        made[1] = areas.add(Rect{}, Owner::library);
        made[2] = formats.add(default_format(), Owner::library);
        made[3] = palettes.add(default_palette(), Owner::library);
    } catch (...) {
        if (made[0]) areas.remove(made[0]);
        if (made[1]) areas.remove(made[1]);
        if (made[2]) formats.remove(made[2]);
        throw;
    }
    canvas.area_handle = made[0];
    canvas.clip_handle = made[1];
    canvas.format_handle = made[2];
    canvas.palette_handle = made[3];
}

void canvas_free_handles(Canvas& canvas) {
    areas.remove(canvas.area_handle);
    areas.remove(canvas.clip_handle);
    formats.remove(canvas.format_handle);
    palettes.remove(canvas.palette_handle);
    canvas.area_handle = canvas.clip_handle = canvas.format_handle = canvas.palette_handle =
        nullptr;
}

void canvas_allocate(Canvas& canvas, int width, int height, const PixelFormat& format,
                     const char* what) {
    if (width < 1 || height < 1 || width > max_dimension || height > max_dimension) {
        fail("%s: size %dx%d is out of range (1 to %d pixels each way)", what, width, height,
             max_dimension);
    }
    // At most 16384 * 16384 * 4 bytes: no overflow in size_t
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * std::size_t(format.bytes);
    void* pixels = std::calloc(bytes, 1);
    if (!pixels)
        fail("%s: out of memory for %dx%d pixels (%llu bytes)", what, width, height,
             static_cast<unsigned long long>(bytes));
    canvas.pixels = static_cast<std::uint8_t*>(pixels);
    canvas.width = width;
    canvas.height = height;
    canvas.pitch = width * format.bytes;
    canvas.format = format;
    canvas.palette = default_palette();
    canvas.clip = Rect{0, 0, width, height};
    canvas.locks = 0;
    canvas.row_width = width;
}

void canvas_free_pixels(Canvas& canvas) {
    std::free(canvas.pixels);
    canvas.pixels = nullptr;
    canvas.width = canvas.height = canvas.pitch = 0;
    canvas.clip = Rect{};
    canvas.locks = 0;
    canvas.row_width = 0;
}

void held_by_another_thread(const char* what) {
    fail(
        "%s: the pixels are locked by another thread (one object is used by one thread at a "
        "time)",
        what);
}

void unlock_refused(const Canvas& canvas) {
    if (canvas.locks == 0) fail("unlock: the pixels are not locked");
    held_by_another_thread("unlock");
}

Image canvas_image(Canvas& canvas) {
    return Image{canvas.pixels, canvas.width,   canvas.height,
                 canvas.pitch,  &canvas.format, canvas.palette.colors};
}

namespace {

// A blit whose scratch buffers (a copy of a canvas onto itself, the scaling maps) cannot grow
// is an error of the entry, not an exception of another kind
void blit_or_fail(const Image& source, Rect source_area, const Image& destination,
                  Rect destination_area, Rect clip, const char* what) {
    try {
        blit(source, source_area, destination, destination_area, clip);
    } catch (const std::bad_alloc&) {
        fail("%s: out of memory for a scratch buffer", what);
    }
}

}  // namespace

void canvas_copy(Canvas& from, Rect source, Canvas& to, Rect destination) {
    canvas_check_holder(to, "copy");
    blit_or_fail(canvas_image(from), source, canvas_image(to), destination, to.clip, "copy");
}

void canvas_load(Canvas& canvas, const Image& from, Rect source, Rect destination) {
    canvas_check_holder(canvas, "load");
    blit_or_fail(from, source, canvas_image(canvas), destination, canvas.clip, "load");
}

void canvas_save(Canvas& canvas, const Image& to, Rect source, Rect destination) {
    blit_or_fail(canvas_image(canvas), source, to, destination, whole(to), "save");
}

void canvas_clear(Canvas& canvas, Rect area, const std::uint32_t* color) {
    canvas_check_holder(canvas, "clear");
    const std::uint32_t pixel =
        color ? color_to_pixel(canvas.format, canvas.palette.colors, *color) : 0;
    fill(canvas_image(canvas), area, canvas.clip, pixel);
}

trelk_handle canvas_area(Canvas& canvas) {
    areas.get(canvas.area_handle) = Rect{0, 0, canvas.width, canvas.height};
    return canvas.area_handle;
}

trelk_handle canvas_clip(Canvas& canvas) {
    areas.get(canvas.clip_handle) = canvas.clip;
    return canvas.clip_handle;
}

trelk_handle canvas_format(Canvas& canvas) {
    formats.get(canvas.format_handle) = canvas.format;
    return canvas.format_handle;
}

trelk_handle canvas_palette(Canvas& canvas) {
    palettes.get(canvas.palette_handle) = canvas.palette;
    return canvas.palette_handle;
}

int canvas_option(const Canvas& canvas, const char* option) {
    if (!option) fail("option: null option string");
    if (std::strcmp(option, "indexed") == 0) return canvas.format.indexed ? 1 : 0;
    if (std::strcmp(option, "alpha") == 0) return canvas.format.mask[3] ? 1 : 0;
    if (std::strcmp(option, "locked") == 0) return canvas.locks > 0 ? 1 : 0;
    return -1;
}

}  // namespace display
