#include "surface.h"

namespace trelk {

Surface::Surface(int width, int height, const Format& format) {
    trelk_prepare();
    handle_ = trelk_surface_create(width, height, format.handle());
}

Surface::~Surface() { trelk_surface_destroy(handle_); }

// The target is named by its virtual handle(), so a Console reaches the library as a console.
void Surface::copy(BaseSurface& surface, const Area& source, const Area& destination) {
    trelk_surface_copy_area(handle_, surface.handle(), source.handle(), destination.handle());
}

void Surface::copy(BaseSurface& surface) { trelk_surface_copy(handle_, surface.handle()); }

void* Surface::lock() { return trelk_surface_lock(handle_); }

void Surface::unlock() { trelk_surface_unlock(handle_); }

void Surface::load(const void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette, const Area& source, const Area& destination) {
    trelk_surface_load_area(handle_, pixels, width, height, pitch, format.handle(),
                            palette.handle(), source.handle(), destination.handle());
}

void Surface::load(const void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette) {
    trelk_surface_load(handle_, pixels, width, height, pitch, format.handle(), palette.handle());
}

void Surface::save(void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette, const Area& source, const Area& destination) {
    trelk_surface_save_area(handle_, pixels, width, height, pitch, format.handle(),
                            palette.handle(), source.handle(), destination.handle());
}

void Surface::save(void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette) {
    trelk_surface_save(handle_, pixels, width, height, pitch, format.handle(), palette.handle());
}

void Surface::clear(const Color& color, const Area& area) {
    trelk_surface_clear_color_area(handle_, color.handle(), area.handle());
}

void Surface::clear(const Color& color) { trelk_surface_clear_color(handle_, color.handle()); }

void Surface::clear() { trelk_surface_clear(handle_); }

// Each cached query copies the library's current value into the member and returns that
// member: a reference kept from an earlier call shows the latest value.
const Palette& Surface::palette() {
    trelk_palette_copy(palette_.handle(), trelk_surface_palette(handle_));
    return palette_;
}

void Surface::palette(const Palette& palette) {
    trelk_surface_set_palette(handle_, palette.handle());
}

const Area& Surface::clip() {
    trelk_area_copy(clip_.handle(), trelk_surface_clip(handle_));
    return clip_;
}

void Surface::clip(const Area& area) { trelk_surface_set_clip(handle_, area.handle()); }

int Surface::width() { return trelk_surface_width(handle_); }

int Surface::height() { return trelk_surface_height(handle_); }

int Surface::pitch() { return trelk_surface_pitch(handle_); }

const Area& Surface::area() {
    trelk_area_copy(area_.handle(), trelk_surface_area(handle_));
    return area_;
}

const Format& Surface::format() {
    trelk_format_copy(format_.handle(), trelk_surface_format(handle_));
    return format_;
}

bool Surface::option(const char* option) { return trelk_surface_option(handle_, option) == 1; }

trelk_handle Surface::handle() { return handle_; }

}  // namespace trelk
