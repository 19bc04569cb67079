// The drawing helpers of draw.h, over the public interface alone: lock() for the pixels, the
// format's masks and the clip area from display.h's readers, clear() for fills.
#include "draw.h"

#include <algorithm>
#include <cstring>

#include "area.h"
#include "color.h"
#include "display.h"
#include "error.h"
#include "format.h"

namespace trelk {
namespace {

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;  // the largest value the channel holds, 0 when absent
};

// A format as the helpers need it: bytes a pixel and red, green, blue, alpha channels
struct Layout {
    int bytes = 4;
    bool indexed = false;
    Channel channel[4];
};

Layout layout_of(BaseSurface& surface) {
    std::uint32_t masks[4];
    const int bits = trelk_display_format_values(surface.format().handle(), masks);
    Layout layout;
    layout.bytes = (bits + 7) / 8;
    layout.indexed = masks[0] == 0 && masks[1] == 0 && masks[2] == 0 && masks[3] == 0;
    for (int c = 0; c < 4; ++c) {
        Channel& channel = layout.channel[c];
        channel.mask = masks[c];
        if (!channel.mask) continue;
        while (!(channel.mask >> channel.shift & 1)) ++channel.shift;
        channel.max = channel.mask >> channel.shift;
    }
    return layout;
}

// The clip area, inside the surface: left, top, right, bottom
struct Bounds {
    long long left, top, right, bottom;
};

Bounds clip_of(BaseSurface& surface) {
    int v[4];
    trelk_display_area_values(surface.clip().handle(), v);
    return Bounds{v[0], v[1], v[2], v[3]};
}

std::uint32_t load(const std::uint8_t* p, int bytes) {
    switch (bytes) {
        case 1:
            return p[0];
        case 2: {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case 3:
            return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
        default: {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

void store(std::uint8_t* p, int bytes, std::uint32_t value) {
    switch (bytes) {
        case 1:
            p[0] = std::uint8_t(value);
            break;
        case 2: {
            const auto v = std::uint16_t(value);
            std::memcpy(p, &v, 2);
            break;
        }
        case 3:
            p[0] = std::uint8_t(value);
            p[1] = std::uint8_t(value >> 8);
            p[2] = std::uint8_t(value >> 16);
            break;
        default:
            std::memcpy(p, &value, 4);
    }
}

// Channel order in 0xAARRGGBB: red, green, blue, alpha
constexpr int argb_shift[4] = {16, 8, 0, 24};

std::uint32_t to_pixel(const Layout& layout, std::uint32_t argb) {
    if (layout.indexed) return argb & 0xff;
    std::uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) {
        const Channel& channel = layout.channel[c];
        if (!channel.max) continue;
        const std::uint32_t value = argb >> argb_shift[c] & 0xff;
        pixel |= (value * channel.max + 127) / 255 << channel.shift;
    }
    return pixel;
}

std::uint32_t to_argb(const Layout& layout, std::uint32_t pixel) {
    if (layout.indexed) return pixel & 0xff;
    std::uint32_t argb = layout.channel[3].max ? 0 : 0xff000000u;
    for (int c = 0; c < 4; ++c) {
        const Channel& channel = layout.channel[c];
        if (!channel.max) continue;
        const std::uint32_t value = (pixel & channel.mask) >> channel.shift;
        argb |= (value * 255 + channel.max / 2) / channel.max << argb_shift[c];
    }
    return argb;
}

// The pixels, locked for one helper's work and unlocked when it ends, however it ends
class Locked {
public:
    explicit Locked(BaseSurface& surface)
        : surface_(surface), pixels_(static_cast<std::uint8_t*>(surface.lock())) {}
    ~Locked() {
        try {
            surface_.unlock();
        } catch (...) {  // only if the surface went away under us: nothing left to unlock
        }
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    std::uint8_t* at(long long x, long long y, int bytes) const {
        return pixels_ + y * surface_.pitch() + x * bytes;
    }

private:
    BaseSurface& surface_;
    std::uint8_t* pixels_;
};

enum class Mix { keyed, blended };

void copy_mixed(BaseSurface& source, BaseSurface& target, int x, int y, Mix mix,
                std::uint32_t key) {
    if (&source == &target || source.handle() == target.handle()) {
        throw DynamicError(mix == Mix::keyed
                               ? "copy_keyed: the source and the target are the same surface"
                               : "copy_blended: the source and the target are the same surface");
    }
    const Layout from = layout_of(source);
    const Layout to = layout_of(target);
    const Bounds clip = clip_of(target);
    const long long width = source.width(), height = source.height();
    const long long left = std::max<long long>(clip.left, x);
    const long long top = std::max<long long>(clip.top, y);
    const long long right = std::min<long long>(clip.right, x + width);
    const long long bottom = std::min<long long>(clip.bottom, y + height);
    if (left >= right || top >= bottom) return;
    const bool has_alpha = from.channel[3].max != 0;
    const Locked in(source);
    const Locked out(target);
    for (long long ty = top; ty < bottom; ++ty) {
        const std::uint8_t* s = in.at(left - x, ty - y, from.bytes);
        std::uint8_t* d = out.at(left, ty, to.bytes);
        for (long long tx = left; tx < right; ++tx, s += from.bytes, d += to.bytes) {
            const std::uint32_t argb = to_argb(from, load(s, from.bytes));
            if (mix == Mix::keyed) {
                if ((argb & 0xffffff) != (key & 0xffffff)) store(d, to.bytes, to_pixel(to, argb));
                continue;
            }
            const std::uint32_t alpha = has_alpha ? argb >> 24 : 255;
            if (alpha == 0) continue;
            if (alpha == 255) {
                store(d, to.bytes, to_pixel(to, argb));
                continue;
            }
            const std::uint32_t under = to_argb(to, load(d, to.bytes));
            std::uint32_t mixed = under & 0xff000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                const std::uint32_t a = argb >> shift & 0xff, b = under >> shift & 0xff;
                mixed |= (a * alpha + b * (255 - alpha) + 127) / 255 << shift;
            }
            store(d, to.bytes, to_pixel(to, mixed));
        }
    }
}

}  // namespace

void put(BaseSurface& target, int x, int y, std::uint32_t argb) {
    const Bounds clip = clip_of(target);
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
    const Layout layout = layout_of(target);
    const Locked pixels(target);
    store(pixels.at(x, y, layout.bytes), layout.bytes, to_pixel(layout, argb));
}

std::uint32_t get(BaseSurface& source, int x, int y) {
    if (x < 0 || y < 0 || x >= source.width() || y >= source.height()) return 0;
    const Layout layout = layout_of(source);
    const Locked pixels(source);
    return to_argb(layout, load(pixels.at(x, y, layout.bytes), layout.bytes));
}

void fill(BaseSurface& target, int left, int top, int right, int bottom, std::uint32_t argb) {
    target.clear(Color(argb), Area(left, top, right, bottom));
}

void copy_keyed(BaseSurface& source, BaseSurface& target, int x, int y, std::uint32_t key) {
    copy_mixed(source, target, x, y, Mix::keyed, key);
}

void copy_blended(BaseSurface& source, BaseSurface& target, int x, int y) {
    copy_mixed(source, target, x, y, Mix::blended, 0);
}

bool held(BaseConsole& console, int code) {
    return trelk_display_key_held(console.handle(), code) == 1;
}

}  // namespace trelk
