// The surface entries: off-screen pixels owned by the library. lock(), width() and unlock()
// are a table look-up each (the cube effect calls them for every pixel it draws), with no lock
// or atomic operation. Every entry first resolves and checks all its handles into plain values
// (a canvas, areas, a colour, the caller's buffer), then calls canvas.cpp, shared with the
// console, which knows no handles.
//
// A surface's pixels live from create to destroy at one address, zeroed (black) at creation,
// rows exactly width * bytes apart. lock() may nest; each lock() needs one unlock(), and an
// unlock() without a lock() is an error.
#include <new>

#include "platform/display/objects.h"

using namespace display;

extern "C" {

trelk_handle trelk_surface_create(int width, int height, trelk_handle format) {
    const PixelFormat pixel_format = formats.get(format);  // a copy: the tables may grow below
    Canvas* canvas = new (std::nothrow) Canvas;
    if (!canvas) fail("surface: out of memory");
    try {
        canvas_allocate(*canvas, width, height, pixel_format, "surface");
        canvas_make_handles(*canvas);
        return create(surfaces, canvas);
    } catch (...) {
        if (canvas->area_handle) canvas_free_handles(*canvas);
        canvas_free_pixels(*canvas);
        delete canvas;
        throw;
    }
}

void trelk_surface_destroy(trelk_handle surface) {
    canvas_check_holder(*surfaces.get(surface), "destroy");
    Canvas* canvas = destroy(surfaces, surface, Kind::surface);
    canvas_free_handles(*canvas);
    canvas_free_pixels(*canvas);
    delete canvas;
}

void* trelk_surface_lock(trelk_handle surface) { return canvas_lock(*surfaces.get(surface)); }

void trelk_surface_unlock(trelk_handle surface) { canvas_unlock(*surfaces.get(surface)); }
int trelk_surface_width(trelk_handle surface) { return int(surfaces.get(surface)->row_width); }
int trelk_surface_height(trelk_handle surface) { return surfaces.get(surface)->height; }
int trelk_surface_pitch(trelk_handle surface) { return surfaces.get(surface)->pitch; }

void trelk_surface_copy(trelk_handle surface, trelk_handle target) {
    Canvas& from = *surfaces.get(surface);
    Canvas& to = copy_target(target);
    canvas_copy(from, whole(canvas_image(from)), to, whole(canvas_image(to)));
}

// The area forms need both areas: a null handle is an error like any other
void trelk_surface_copy_area(trelk_handle surface, trelk_handle target, trelk_handle source,
                             trelk_handle destination) {
    Canvas& from = *surfaces.get(surface);
    const Rect source_area = areas.get(source);
    const Rect destination_area = areas.get(destination);
    canvas_copy(from, source_area, copy_target(target), destination_area);
}

void trelk_surface_load(trelk_handle surface, const void* pixels, int width, int height, int pitch,
                        trelk_handle format, trelk_handle palette) {
    Canvas& canvas = *surfaces.get(surface);
    const Image from = caller_image("load", pixels, width, height, pitch, format, palette);
    canvas_load(canvas, from, whole(from), whole(canvas_image(canvas)));
}

void trelk_surface_load_area(trelk_handle surface, const void* pixels, int width, int height,
                             int pitch, trelk_handle format, trelk_handle palette,
                             trelk_handle source, trelk_handle destination) {
    Canvas& canvas = *surfaces.get(surface);
    const Rect source_area = areas.get(source);
    const Rect destination_area = areas.get(destination);
    const Image from = caller_image("load", pixels, width, height, pitch, format, palette);
    canvas_load(canvas, from, source_area, destination_area);
}

void trelk_surface_save(trelk_handle surface, void* pixels, int width, int height, int pitch,
                        trelk_handle format, trelk_handle palette) {
    Canvas& canvas = *surfaces.get(surface);
    const Image to = caller_image("save", pixels, width, height, pitch, format, palette);
    canvas_save(canvas, to, whole(canvas_image(canvas)), whole(to));
}

void trelk_surface_save_area(trelk_handle surface, void* pixels, int width, int height, int pitch,
                             trelk_handle format, trelk_handle palette, trelk_handle source,
                             trelk_handle destination) {
    Canvas& canvas = *surfaces.get(surface);
    const Rect source_area = areas.get(source);
    const Rect destination_area = areas.get(destination);
    const Image to = caller_image("save", pixels, width, height, pitch, format, palette);
    canvas_save(canvas, to, source_area, destination_area);
}

void trelk_surface_clear(trelk_handle surface) {
    Canvas& canvas = *surfaces.get(surface);
    canvas_clear(canvas, whole(canvas_image(canvas)), nullptr);
}

void trelk_surface_clear_color(trelk_handle surface, trelk_handle color) {
    Canvas& canvas = *surfaces.get(surface);
    const std::uint32_t value = colors.get(color);
    canvas_clear(canvas, whole(canvas_image(canvas)), &value);
}

void trelk_surface_clear_color_area(trelk_handle surface, trelk_handle color, trelk_handle area) {
    Canvas& canvas = *surfaces.get(surface);
    const std::uint32_t value = colors.get(color);
    canvas_clear(canvas, areas.get(area), &value);
}

void trelk_surface_set_palette(trelk_handle surface, trelk_handle palette) {
    Canvas& canvas = *surfaces.get(surface);
    canvas_set_palette(canvas, palettes.get(palette));
}
trelk_handle trelk_surface_palette(trelk_handle surface) {
    return canvas_palette(*surfaces.get(surface));
}
void trelk_surface_set_clip(trelk_handle surface, trelk_handle area) {
    Canvas& canvas = *surfaces.get(surface);
    canvas_set_clip(canvas, areas.get(area));
}
trelk_handle trelk_surface_clip(trelk_handle surface) {
    return canvas_clip(*surfaces.get(surface));
}
trelk_handle trelk_surface_area(trelk_handle surface) {
    return canvas_area(*surfaces.get(surface));
}
trelk_handle trelk_surface_format(trelk_handle surface) {
    return canvas_format(*surfaces.get(surface));
}

// Options are questions: "indexed", "alpha" and "locked" answer 1 or 0; any other string 0
int trelk_surface_option(trelk_handle surface, const char* option) {
    const int answer = canvas_option(*surfaces.get(surface), option);
    return answer < 0 ? 0 : answer;
}

}  // extern "C"
