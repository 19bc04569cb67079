// mouse: a paint program. The left button draws, the right one erases, the wheel makes the brush
// larger or smaller, and the digits typed pick a colour from the bar at the bottom. Every button
// press is printed on standard output as "press X Y BUTTON" (console pixels; left, right or
// middle). Escape, or closing the window, ends it. The mouse, wheel and typed text are those of
// trelk/input.h; headless there is no pointer, and the program only shows its bar.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "trelk/trelk.h"

namespace {

const std::uint32_t colors[10] = {0xffffffff, 0xffe04040, 0xffe0a030, 0xffe0e040, 0xff50d050,
                                  0xff40c0e0, 0xff4060f0, 0xffa050e0, 0xffe070b0, 0xff808080};
constexpr std::uint32_t background = 0xff101820;
constexpr int bar_height = 12;  // the colours and the brush, below the picture

// A square brush of side size centred on (x, y), inside the picture above the bar
void dab(trelk::Console& console, int x, int y, int size, std::uint32_t color) {
    const int left = x - size / 2, top = y - size / 2;
    const int bottom = std::min(top + size, console.height() - bar_height);
    if (top < bottom) trelk::fill(console, left, top, left + size, bottom, color);
}

// The brush moved from (x0, y0) to (x1, y1): a dab every pixel along the way
void stroke(trelk::Console& console, int x0, int y0, int x1, int y1, int size,
            std::uint32_t color) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= steps; ++i) {
        const int x = steps ? x0 + (x1 - x0) * i / steps : x0;
        const int y = steps ? y0 + (y1 - y0) * i / steps : y0;
        dab(console, x, y, size, color);
    }
}

// The bar: the ten colours (keys 1 to 9, then 0) with the chosen one underlined, then the
// brush at its size
void draw_bar(trelk::Console& console, int chosen, int size) {
    const int top = console.height() - bar_height, width = console.width();
    trelk::fill(console, 0, top, width, console.height(), 0xff000000);
    for (int i = 0; i < 10; ++i) {
        const int left = 2 + i * 14;
        trelk::fill(console, left, top + 1, left + 11, top + 9, colors[i]);
        if (i == chosen) trelk::fill(console, left, top + 10, left + 11, top + 12, 0xffffffff);
    }
    const int shown = std::min(size, bar_height - 2);
    trelk::fill(console, 150, top + 1 + (10 - shown) / 2, 150 + shown, top + 1 + (10 + shown) / 2,
                colors[chosen]);
}

const char* button_name(int button) {
    return button == TRELK_MOUSE_LEFT ? "left" : button == TRELK_MOUSE_RIGHT ? "right" : "middle";
}

}  // namespace

int main() {
    try {
        trelk::Console console;
        console.open("mouse: draw with the buttons, size with the wheel, 0-9 for colours", 0);
        trelk::fill(console, 0, 0, console.width(), console.height(), background);
        int chosen = 0, size = 4;
        int last_x = 0, last_y = 0;
        bool drawing = false;
        for (;;) {
            // (a quit stays asked for: read() gives it every time)
            bool done = false;
            while (!done && console.key()) {
                const int code = console.read().code();
                done = code == TRELK_KEY_ESCAPE || code == TRELK_KEY_QUIT;
            }
            if (done) break;

            // Digits typed pick the colour
            for (const char c : trelk::typed(console)) {
                if (c >= '0' && c <= '9') chosen = c == '0' ? 9 : c - '1';
            }
            // A press puts the brush down where it happened (a click between two frames too); the
            // wheel sizes the brush
            trelk::MouseEvent event;
            while (trelk::mouse_event(console, event)) {
                if (event.kind == TRELK_MOUSE_WHEEL) {
                    size = std::max(1, std::min(32, size + event.wheel_y));
                } else if (event.kind == TRELK_MOUSE_RELEASE) {
                    // (a drag that began and ended since the last frame: a straight stroke)
                    if (drawing && event.button != TRELK_MOUSE_MIDDLE) {
                        stroke(console, last_x, last_y, event.x, event.y, size,
                               event.button == TRELK_MOUSE_LEFT ? colors[chosen] : background);
                    }
                    drawing = false;
                } else if (event.kind == TRELK_MOUSE_PRESS) {
                    std::printf("press %d %d %s\n", event.x, event.y, button_name(event.button));
                    std::fflush(stdout);
                    last_x = event.x, last_y = event.y;
                    drawing = event.inside && event.button != TRELK_MOUSE_MIDDLE;
                    if (drawing) {
                        dab(console, event.x, event.y, size,
                            event.button == TRELK_MOUSE_LEFT ? colors[chosen] : background);
                    }
                }
            }
            // While a button is held the stroke follows the pointer
            const trelk::Mouse mouse = trelk::mouse(console);
            if (mouse.left() || mouse.right()) {
                if (drawing) {
                    stroke(console, last_x, last_y, mouse.x, mouse.y, size,
                           mouse.left() ? colors[chosen] : background);
                }
                drawing = true;
                last_x = mouse.x, last_y = mouse.y;
            } else {
                drawing = false;
            }
            draw_bar(console, chosen, size);
            console.update();
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
