// The lines, shapes, text and image files of draw.h: each passes its target's handle to the
// display library's function of trelk/graphics.h, which checks it and throws DynamicError.
// Kept apart from draw.cpp, so that a program using only put() and the rest links nothing of
// these.
#include "draw.h"

namespace trelk {

void line(BaseSurface& target, int x0, int y0, int x1, int y1, std::uint32_t argb) {
    trelk_draw_line(target.handle(), x0, y0, x1, y1, argb);
}

void rect(BaseSurface& target, int left, int top, int right, int bottom, std::uint32_t argb) {
    trelk_draw_rect(target.handle(), left, top, right, bottom, argb);
}

void circle(BaseSurface& target, int x, int y, int radius, std::uint32_t argb) {
    trelk_draw_circle(target.handle(), x, y, radius, argb);
}

void fill_circle(BaseSurface& target, int x, int y, int radius, std::uint32_t argb) {
    trelk_draw_fill_circle(target.handle(), x, y, radius, argb);
}

void text(BaseSurface& target, int x, int y, const char* text, std::uint32_t foreground) {
    trelk_draw_text(target.handle(), x, y, text, foreground);
}

void text(BaseSurface& target, int x, int y, const char* text, std::uint32_t foreground,
          std::uint32_t background) {
    trelk_draw_text_on(target.handle(), x, y, text, foreground, background);
}

TextSize text_size(const char* text) {
    TextSize size;
    trelk_text_size(text, &size.width, &size.height);
    return size;
}

// The file becomes a library surface first; the program's Surface gets its pixels by a copy
// within one format, and the library's is destroyed however that ends
std::unique_ptr<Surface> load_image(const char* file, const Format& format) {
    struct Loaded {
        trelk_handle handle;
        ~Loaded() {
            try {
                trelk_surface_destroy(handle);
            } catch (...) {  // only if it is already gone: nothing left to free
            }
        }
    } const loaded{trelk_image_load(file, format.handle())};
    auto surface = std::make_unique<Surface>(trelk_surface_width(loaded.handle),
                                             trelk_surface_height(loaded.handle), format);
    trelk_surface_copy(loaded.handle, surface->handle());
    return surface;
}

void save_image(BaseSurface& source, const char* file) { trelk_image_save(source.handle(), file); }

}  // namespace trelk
