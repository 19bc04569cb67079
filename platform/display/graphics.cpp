// Lines, rectangles, circles and text on a surface or an open console (trelk/graphics.h).
//
// Decisions:
// - A shape is defined as a set of pixels first, and clipping only leaves some of them out: a
//   line's pixel at each step is given by a closed form (below), so a clipped line starts at
//   its first visible step with the same rounding as the whole line, and a circle is drawn
//   row by row from the exact half-widths of its disc. Work is bounded by the clip area, not
//   by the coordinates: a line or a circle of any size far outside costs a few steps.
// - Colours are converted as the layer's put() converts them (the channel scaled with
//   rounding; an indexed target takes the colour's low byte as the colour number), so a
//   program mixing put() and these functions gets the same pixel values from both.
// - Nothing is written before every argument has been checked.
#include "trelk/graphics.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/display/font.h"
#include "platform/display/objects.h"

namespace display {
namespace {

// The canvas a drawing function writes: a surface, or a console while it is open
Canvas& drawing_target(trelk_handle target, const char* what) {
    if (Canvas** surface = surfaces.find(target)) {
        canvas_check_holder(**surface, what);
        return **surface;
    }
    if (ConsoleCanvas** console = consoles.find(target)) {
        if (!(*console)->open) fail("%s: the console is not open", what);
        canvas_check_holder((*console)->canvas, what);
        return (*console)->canvas;
    }
    invalid_handle_of_either(target, Kind::surface, Kind::console);
}

// A colour as trelk::put() stores it
std::uint32_t put_value(const PixelFormat& format, std::uint32_t argb) {
    if (format.indexed) return argb & 0xff;
    constexpr int argb_shift[4] = {16, 8, 0, 24};  // red, green, blue, alpha in 0xAARRGGBB
    std::uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) {
        if (!format.width[c]) continue;
        const std::uint32_t max = format.mask[c] >> format.shift[c];
        const std::uint32_t value = argb >> argb_shift[c] & 0xff;
        pixel |= (value * max + 127) / 255 << format.shift[c];
    }
    return pixel;
}

// Writes one pixel value into a canvas, inside its clip area only
class Pen {
public:
    Pen(Canvas& canvas, std::uint32_t argb)
        : canvas_(canvas), clip_(canvas.clip), value_(put_value(canvas.format, argb)) {}

    const Rect& clip() const { return clip_; }

    void set_color(std::uint32_t argb) { value_ = put_value(canvas_.format, argb); }

    void dot(long long x, long long y) const {
        if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom) return;
        store(canvas_.pixels + y * canvas_.pitch + x * canvas_.format.bytes);
    }

    // The pixels from left to right (both included) of row y: a few one by one, more by the
    // pixel engine's fill, whose call costs more than a short run
    void span(long long y, long long left, long long right) const {
        if (y < clip_.top || y >= clip_.bottom) return;
        left = std::max<long long>(left, clip_.left);
        right = std::min<long long>(right, clip_.right - 1);
        if (right - left >= 16) {
            fill(canvas_image(canvas_), Rect{int(left), int(y), int(right) + 1, int(y) + 1}, clip_,
                 value_);
            return;
        }
        std::uint8_t* p = canvas_.pixels + y * canvas_.pitch + left * canvas_.format.bytes;
        for (long long x = left; x <= right; ++x, p += canvas_.format.bytes) store(p);
    }

private:
    void store(std::uint8_t* p) const {
        switch (canvas_.format.bytes) {
            case 1:
                p[0] = std::uint8_t(value_);
                break;
            case 2: {
                const auto v = std::uint16_t(value_);
                std::memcpy(p, &v, 2);
                break;
            }
            case 3:
                p[0] = std::uint8_t(value_);
                p[1] = std::uint8_t(value_ >> 8);
                p[2] = std::uint8_t(value_ >> 16);
                break;
            default:
                std::memcpy(p, &value_, 4);
        }
    }

    Canvas& canvas_;
    Rect clip_;
    std::uint32_t value_;
};

// The line's minor-axis offset at step i of `steps` for a minor-axis distance `rise`:
// round(i * rise / steps), halves up, exactly for any int coordinates
struct Rounding {
    std::uint64_t rise, steps;
    std::uint64_t at(std::uint64_t i) const {
        std::uint64_t quotient, remainder;
        multiply_divide(i, rise, steps, &quotient, &remainder);
        return quotient + (2 * remainder >= steps ? 1 : 0);
    }
};

// The smallest i in [low, high] with at(i) >= target (at() never decreases); high + 1 if none
std::uint64_t first_reaching(const Rounding& r, std::uint64_t low, std::uint64_t high,
                             std::uint64_t target) {
    std::uint64_t end = high + 1;
    while (low < end) {
        const std::uint64_t middle = low + (end - low) / 2;
        if (r.at(middle) >= target) {
            end = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

// A line, as the pixels (major = a0 + i, minor = b0 + direction * round(i * rise / steps)) for
// i from 0 to steps, with a0 <= a1 so that both directions of drawing give the same pixels
void line(const Pen& pen, long long x0, long long y0, long long x1, long long y1) {
    const bool steep = std::llabs(y1 - y0) > std::llabs(x1 - x0);
    long long a0 = steep ? y0 : x0, b0 = steep ? x0 : y0;
    long long a1 = steep ? y1 : x1, b1 = steep ? x1 : y1;
    if (a0 > a1) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    const auto plot = [&](long long a, long long b) { steep ? pen.dot(b, a) : pen.dot(a, b); };
    if (a0 == a1) {
        plot(a0, b0);
        return;
    }
    const Rect& clip = pen.clip();
    const long long a_low = steep ? clip.top : clip.left;
    const long long a_high = (steep ? clip.bottom : clip.right) - 1;
    const long long b_low = steep ? clip.left : clip.top;
    const long long b_high = (steep ? clip.right : clip.bottom) - 1;
    if (a_low > a_high || b_low > b_high || a1 < a_low || a0 > a_high) return;

    const std::uint64_t steps = std::uint64_t(a1 - a0);
    const int direction = b1 >= b0 ? 1 : -1;
    const Rounding rounding{std::uint64_t(direction * (b1 - b0)), steps};
    // The steps whose major coordinate is inside the clip area...
    std::uint64_t first = a0 >= a_low ? 0 : std::uint64_t(a_low - a0);
    std::uint64_t last = a1 <= a_high ? steps : std::uint64_t(a_high - a0);
    // ...and of those, the ones whose minor offset is: offsets from offset_low to offset_high
    const long long offset_low = direction > 0 ? b_low - b0 : b0 - b_high;
    const long long offset_high = direction > 0 ? b_high - b0 : b0 - b_low;
    if (offset_high < 0 || offset_low > (long long)rounding.rise) return;
    if (offset_low > 0) first = first_reaching(rounding, first, last, std::uint64_t(offset_low));
    if (first > last) return;
    const std::uint64_t beyond =
        first_reaching(rounding, first, last, std::uint64_t(offset_high) + 1);
    if (beyond == 0) return;
    last = std::min(last, beyond - 1);
    if (first > last) return;

    // Bresenham's steps from the first visible one: offset = quotient, rounded by remainder
    std::uint64_t quotient, remainder;
    multiply_divide(first, rounding.rise, steps, &quotient, &remainder);
    for (std::uint64_t i = first;; ++i) {
        const long long offset = (long long)(quotient + (2 * remainder >= steps ? 1 : 0));
        plot(a0 + (long long)i, b0 + direction * offset);
        if (i == last) break;
        remainder += rounding.rise;
        if (remainder >= steps) {
            remainder -= steps;
            ++quotient;
        }
    }
}

// The half-width of the disc of this radius on the row dy from its centre: the largest dx with
// dx * dx + dy * dy <= radius * (radius + 1); -1 on a row the disc does not reach
long long half_width(long long radius, long long dy) {
    if (dy < -radius || dy > radius) return -1;
    const std::uint64_t room =
        std::uint64_t(radius) * std::uint64_t(radius + 1) - std::uint64_t(dy) * std::uint64_t(dy);
    auto root = std::uint64_t(std::sqrt(static_cast<long double>(room)));
    while (root * root > room) --root;
    while ((root + 1) * (root + 1) <= room) ++root;
    return (long long)root;
}

void circle(const Pen& pen, long long x, long long y, long long radius, bool filled) {
    if (radius < 0) return;
    const Rect& clip = pen.clip();
    const long long top = std::max<long long>(y - radius, clip.top);
    const long long bottom = std::min<long long>(y + radius, clip.bottom - 1);
    // The half-widths of the rows above, at and below the one drawn, moved down a row at a time
    long long above = half_width(radius, top - 1 - y), width = half_width(radius, top - y);
    for (long long row = top; row <= bottom; ++row) {
        const long long below = half_width(radius, row + 1 - y);
        if (filled) {
            pen.span(row, x - width, x + width);
        } else {
            // The ring: pixels of the row with the row above or below shorter than they reach
            const long long inner = std::min(std::min(above, below) + 1, width);
            pen.span(row, x - width, x - inner);
            pen.span(row, x + inner, x + width);
        }
        above = width;
        width = below;
    }
}

void text(Canvas& canvas, long long x, long long y, const char* characters,
          std::uint32_t foreground, const std::uint32_t* background) {
    Pen ink(canvas, foreground);
    Pen paper(canvas, background ? *background : 0);
    const Rect& clip = ink.clip();
    long long left = x;
    for (const char* c = characters; *c; ++c) {
        if (*c == '\n') {
            left = x;
            y += glyph_size;
            continue;
        }
        const bool visible = left < clip.right && left + glyph_size > clip.left &&
                             y < clip.bottom && y + glyph_size > clip.top;
        if (visible) {
            const std::uint8_t* rows = glyph(static_cast<unsigned char>(*c));
            for (int row = 0; row < glyph_size; ++row) {
                for (int column = 0; column < glyph_size; ++column) {
                    if (rows[row] & (0x80 >> column)) {
                        ink.dot(left + column, y + row);
                    } else if (background) {
                        paper.dot(left + column, y + row);
                    }
                }
            }
        }
        left += glyph_size;
    }
}

const char* checked_text(const char* text, const char* what) {
    if (!text) fail("%s: null text", what);
    return text;
}

}  // namespace
}  // namespace display

using namespace display;

extern "C" {

void trelk_draw_line(trelk_handle target, int x0, int y0, int x1, int y1, uint32_t argb) {
    line(Pen(drawing_target(target, "draw_line"), argb), x0, y0, x1, y1);
}

void trelk_draw_rect(trelk_handle target, int left, int top, int right, int bottom, uint32_t argb) {
    const Pen pen(drawing_target(target, "draw_rect"), argb);
    if (right <= left || bottom <= top) return;
    const long long r = (long long)right - 1, b = (long long)bottom - 1;
    pen.span(top, left, r);
    if (b != top) pen.span(b, left, r);
    // The sides between, only over the rows the clip area has
    const long long first = std::max<long long>((long long)top + 1, pen.clip().top);
    const long long last = std::min<long long>(b - 1, (long long)pen.clip().bottom - 1);
    for (long long row = first; row <= last; ++row) {
        pen.dot(left, row);
        pen.dot(r, row);
    }
}

void trelk_draw_circle(trelk_handle target, int x, int y, int radius, uint32_t argb) {
    circle(Pen(drawing_target(target, "draw_circle"), argb), x, y, radius, false);
}

void trelk_draw_fill_circle(trelk_handle target, int x, int y, int radius, uint32_t argb) {
    circle(Pen(drawing_target(target, "draw_fill_circle"), argb), x, y, radius, true);
}

void trelk_draw_text(trelk_handle target, int x, int y, const char* text, uint32_t foreground) {
    Canvas& canvas = drawing_target(target, "draw_text");
    display::text(canvas, x, y, checked_text(text, "draw_text"), foreground, nullptr);
}

void trelk_draw_text_on(trelk_handle target, int x, int y, const char* text, uint32_t foreground,
                        uint32_t background) {
    Canvas& canvas = drawing_target(target, "draw_text_on");
    display::text(canvas, x, y, checked_text(text, "draw_text_on"), foreground, &background);
}

void trelk_text_size(const char* text, int* width, int* height) {
    checked_text(text, "text_size");
    if (!width || !height) fail("text_size: null width or height pointer");
    long long lines = *text ? 1 : 0, longest = 0, length = 0;
    for (const char* c = text; *c; ++c) {
        if (*c == '\n') {
            ++lines;
            length = 0;
        } else {
            longest = std::max(longest, ++length);
        }
    }
    if (longest > INT_MAX / glyph_size || lines > INT_MAX / glyph_size)
        fail("text_size: the text is too large to measure (%lld characters, %lld lines)", longest,
             lines);
    *width = int(longest * glyph_size);
    *height = int(lines * glyph_size);
}

}  // extern "C"
