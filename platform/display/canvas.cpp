// What surfaces and consoles share: their pixels, and every operation on them that the surface
// interface offers (copy, load, save, clear, palette, clip, getters, options).
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

Image canvas_image(Canvas& canvas) {
    return Image{canvas.pixels, canvas.width,   canvas.height,
                 canvas.pitch,  &canvas.format, canvas.palette.colors};
}

namespace {

// A caller's pixel buffer, checked: the only one of our images whose size we cannot see, so
// everything that can be checked is
Image caller_image(const char* what, const void* pixels, int width, int height, int pitch,
                   trelk_handle format, trelk_handle palette) {
    const PixelFormat& f = formats.get(format);
    const Palette& p = palettes.get(palette);
    if (!pixels) fail("%s: null pixel buffer", what);
    if (width < 0 || height < 0 || width > max_dimension || height > max_dimension) {
        fail("%s: buffer size %dx%d is out of range (0 to %d pixels each way)", what, width, height,
             max_dimension);
    }
    if (pitch < width * f.bytes) {
        fail("%s: pitch %d is smaller than a row of %d pixels of %d bytes", what, pitch, width,
             f.bytes);
    }
    return Image{
        static_cast<std::uint8_t*>(const_cast<void*>(pixels)), width, height, pitch, &f, p.colors};
}

Rect whole(const Image& image) { return Rect{0, 0, image.width, image.height}; }

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

// The two areas of a copy: both given, or neither (the whole images)
void areas_of(trelk_handle source, trelk_handle destination, const Image& from, const Image& to,
              Rect* source_area, Rect* destination_area) {
    *source_area = source ? areas.get(source) : whole(from);
    *destination_area = destination ? areas.get(destination) : whole(to);
}

}  // namespace

void canvas_copy(Canvas& from, trelk_handle target, trelk_handle source, trelk_handle destination) {
    Canvas& to = target_canvas(target);
    canvas_check_holder(to, "copy");
    const Image a = canvas_image(from), b = canvas_image(to);
    Rect sa, da;
    areas_of(source, destination, a, b, &sa, &da);
    blit_or_fail(a, sa, b, da, to.clip, "copy");
}

void canvas_load(Canvas& canvas, const void* pixels, int width, int height, int pitch,
                 trelk_handle format, trelk_handle palette, trelk_handle source,
                 trelk_handle destination) {
    canvas_check_holder(canvas, "load");
    const Image from = caller_image("load", pixels, width, height, pitch, format, palette);
    const Image to = canvas_image(canvas);
    Rect sa, da;
    areas_of(source, destination, from, to, &sa, &da);
    blit_or_fail(from, sa, to, da, canvas.clip, "load");
}

void canvas_save(Canvas& canvas, void* pixels, int width, int height, int pitch,
                 trelk_handle format, trelk_handle palette, trelk_handle source,
                 trelk_handle destination) {
    const Image to = caller_image("save", pixels, width, height, pitch, format, palette);
    const Image from = canvas_image(canvas);
    Rect sa, da;
    areas_of(source, destination, from, to, &sa, &da);
    blit_or_fail(from, sa, to, da, whole(to), "save");
}

void canvas_clear(Canvas& canvas, trelk_handle color, trelk_handle area) {
    canvas_check_holder(canvas, "clear");
    const std::uint32_t pixel =
        color ? color_to_pixel(canvas.format, canvas.palette.colors, colors.get(color)) : 0;
    const Rect r = area ? areas.get(area) : whole(canvas_image(canvas));
    fill(canvas_image(canvas), r, canvas.clip, pixel);
}

void canvas_set_palette(Canvas& canvas, trelk_handle palette) {
    canvas.palette = palettes.get(palette);
}

void canvas_set_clip(Canvas& canvas, trelk_handle area) {
    canvas.clip = clip_to(normalise(areas.get(area)), canvas.width, canvas.height);
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
