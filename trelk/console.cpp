#include "console.h"

#include <limits>

namespace trelk {

Console::Console() {
    trelk_prepare();
    handle_ = trelk_console_create();
}

Console::~Console() { trelk_console_destroy(handle_); }

void Console::copy(BaseSurface& surface, const Area& source, const Area& destination) {
    trelk_console_copy_area(handle_, surface.handle(), source.handle(), destination.handle());
}

void Console::copy(BaseSurface& surface) { trelk_console_copy(handle_, surface.handle()); }

void* Console::lock() { return trelk_console_lock(handle_); }

void Console::unlock() { trelk_console_unlock(handle_); }

void Console::load(const void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette, const Area& source, const Area& destination) {
    trelk_console_load_area(handle_, pixels, width, height, pitch, format.handle(),
                            palette.handle(), source.handle(), destination.handle());
}

void Console::load(const void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette) {
    trelk_console_load(handle_, pixels, width, height, pitch, format.handle(), palette.handle());
}

void Console::save(void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette, const Area& source, const Area& destination) {
    trelk_console_save_area(handle_, pixels, width, height, pitch, format.handle(),
                            palette.handle(), source.handle(), destination.handle());
}

void Console::save(void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette) {
    trelk_console_save(handle_, pixels, width, height, pitch, format.handle(), palette.handle());
}

void Console::clear(const Color& color, const Area& area) {
    trelk_console_clear_color_area(handle_, color.handle(), area.handle());
}

void Console::clear(const Color& color) { trelk_console_clear_color(handle_, color.handle()); }

void Console::clear() { trelk_console_clear(handle_); }

const Palette& Console::palette() {
    trelk_palette_copy(palette_.handle(), trelk_console_palette(handle_));
    return palette_;
}

void Console::palette(const Palette& palette) {
    trelk_console_set_palette(handle_, palette.handle());
}

const Area& Console::clip() {
    trelk_area_copy(clip_.handle(), trelk_console_clip(handle_));
    return clip_;
}

void Console::clip(const Area& area) { trelk_console_set_clip(handle_, area.handle()); }

int Console::width() { return trelk_console_width(handle_); }

int Console::height() { return trelk_console_height(handle_); }

int Console::pitch() { return trelk_console_pitch(handle_); }

const Area& Console::area() {
    trelk_area_copy(area_.handle(), trelk_console_area(handle_));
    return area_;
}

const Format& Console::format() {
    trelk_format_copy(format_.handle(), trelk_console_format(handle_));
    return format_;
}

bool Console::option(const char* option) { return trelk_console_option(handle_, option) == 1; }

trelk_handle Console::handle() { return handle_; }

int Console::entry32(int value) { return trelk_console_entry32(handle_, value); }

// Copies the library's modes 0, 1, ... into the list until the first invalid one, which is
// copied too and ends the list. For each index: the library's mode at that index (34), copied
// into the element (123), then its validity asked of the library's mode, not of the copy (119);
// any non-zero answer counts as valid.
//
// The list holds mode_count (256) elements, end marker included, so 255 valid modes fit:
// - Up to 255 valid modes: elements 0 to k hold the library's modes 0 to k, k being the first
//   invalid one. With exactly 255 valid modes k is 255: index 255 is asked like the others and
//   the library's invalid mode 255 becomes element 255 (256 indexes, 768 calls).
// - 256 valid modes or more: the list cannot hold them, and once the valid mode 255 has been
//   copied into element 255 the layer has no invalid mode of its own to end the list with
//   (making one would create a library object). So the walk goes on: the library's modes 256,
//   257, ... are copied one after another into element 255, until the library reports an
//   invalid one, which stays there as the end marker. Elements 0 to 254 hold modes 0 to 254,
//   the modes between are lost, nothing is written past the list, the list ends with an
//   invalid element, and the walk creates nothing. This relies on the library ending its list
//   at some index, as every library does that answers "invalid" past its last mode (ours does);
//   the walk stops at the largest int index in any case.
Mode* Console::modes() {
    for (int i = 0;; ++i) {
        Mode& element = modes_[i < mode_count ? i : mode_count - 1];
        const trelk_handle mode = trelk_console_mode(handle_, i);
        trelk_mode_copy(element.handle(), mode);
        if (trelk_mode_valid(mode) == 0 || i == std::numeric_limits<int>::max()) break;
    }
    return modes_;
}

void Console::openAlternate(const char* value, const Mode& mode, int extra) {
    trelk_console_open_alternate_mode(handle_, value, mode.handle(), extra);
}

void Console::openAlternate(const char* value, int width, int height, const Format& format,
                            int extra) {
    trelk_console_open_alternate_size(handle_, value, width, height, format.handle(), extra);
}

void Console::openAlternate(const char* value, const Format& format, int extra) {
    trelk_console_open_alternate_format(handle_, value, format.handle(), extra);
}

void Console::openAlternate(const char* value, int extra) {
    trelk_console_open_alternate(handle_, value, extra);
}

void Console::open(const char* title, const Mode& mode, int extra) {
    trelk_console_open_mode(handle_, title, mode.handle(), extra);
}

void Console::open(const char* title, int width, int height, const Format& format, int extra) {
    trelk_console_open_size(handle_, title, width, height, format.handle(), extra);
}

void Console::open(const char* title, const Format& format, int extra) {
    trelk_console_open_format(handle_, title, format.handle(), extra);
}

void Console::open(const char* title, int extra) { trelk_console_open(handle_, title, extra); }

void Console::close() { trelk_console_close(handle_); }

int Console::entry40() { return trelk_console_entry40(handle_); }

int Console::entry41() { return trelk_console_entry41(handle_); }

void Console::update(const Area& area) { trelk_console_update_area(handle_, area.handle()); }

void Console::update() { trelk_console_update(handle_); }

bool Console::key() { return trelk_console_key(handle_) == 1; }

// The library fills a key of ours; the caller gets a copy with a handle of its own, and the
// temporary is destroyed on the way out, also when the read or the copy fails.
Key Console::read() {
    const Key pending;
    trelk_console_read(handle_, pending.handle());
    return Key(pending);
}

int Console::entry62() { return trelk_console_entry62(handle_); }
int Console::entry67() { return trelk_console_entry67(handle_); }
int Console::entry68() { return trelk_console_entry68(handle_); }
int Console::entry69() { return trelk_console_entry69(handle_); }
int Console::entry74() { return trelk_console_entry74(handle_); }
int Console::entry75() { return trelk_console_entry75(handle_); }
int Console::entry76() { return trelk_console_entry76(handle_); }
int Console::entry77() { return trelk_console_entry77(handle_); }
int Console::entry78() { return trelk_console_entry78(handle_); }
int Console::entry79() { return trelk_console_entry79(handle_); }

}  // namespace trelk
