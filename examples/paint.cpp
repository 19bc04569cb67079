// paint: draws with the helpers of trelk/draw.h, without pointers or pitches: a checkerboard
// filled square by square, a soft ball (a sprite with alpha) blended over it as it moves, a
// star on a magenta background copied with magenta as its transparent colour, moved by the
// arrow keys for as long as they are held, a row of dots put one by one, and a swatch of the
// colour read back under the ball's centre. Any other key ends it.
#include <cmath>
#include <cstdint>

#include "trelk/trelk.h"

int main() {
    try {
        const trelk::Format xrgb(32, 0xff0000, 0xff00, 0xff, 0);
        trelk::Console console;
        console.open("paint", xrgb, 0);
        const int width = console.width();
        const int height = console.height();

        // A yellow ball whose edge fades out through its alpha
        trelk::Surface ball(24, 24, trelk::Format(32, 0xff0000, 0xff00, 0xff, 0xff000000));
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                const double distance = std::hypot(x - 11.5, y - 11.5);
                const double cover = std::fmin(1.0, std::fmax(0.0, (12.0 - distance) / 4.0));
                const auto alpha = static_cast<std::uint32_t>(cover * 255);
                trelk::put(ball, x, y, alpha << 24 | 0xffe040);
            }
        }
        // A white star on magenta, the colour that copy_keyed leaves out
        trelk::Surface star(15, 15, xrgb);
        trelk::fill(star, 0, 0, 15, 15, 0xffff00ff);
        for (int i = 0; i < 15; ++i) {
            trelk::put(star, 7, i, 0xffffffff);
            trelk::put(star, i, 7, 0xffffffff);
            trelk::put(star, i, i, 0xffc0c0ff);
            trelk::put(star, i, 14 - i, 0xffc0c0ff);
        }

        int star_x = width - 60, star_y = 120;
        for (int t = 0;; ++t) {
            // The arrows move the star while held; any other key ends the program
            if (trelk::held(console, TRELK_KEY_LEFT)) star_x -= 2;
            if (trelk::held(console, TRELK_KEY_RIGHT)) star_x += 2;
            if (trelk::held(console, TRELK_KEY_UP)) star_y -= 2;
            if (trelk::held(console, TRELK_KEY_DOWN)) star_y += 2;
            if (console.key()) {
                const int code = console.read().code();
                if (code < TRELK_KEY_LEFT || code > TRELK_KEY_DOWN) break;
            }
            for (int y = 0; y < height; y += 20) {
                for (int x = 0; x < width; x += 20) {
                    const bool dark = (x / 20 + y / 20) % 2 == 0;
                    trelk::fill(console, x, y, x + 20, y + 20, dark ? 0xff303040 : 0xff505070);
                }
            }
            const int ball_x = (t * 2) % (width + 24) - 24;
            trelk::copy_blended(ball, console, ball_x, 60);
            trelk::copy_keyed(star, console, star_x, star_y, 0xffff00ff);
            for (int i = 0; i < 64; ++i) trelk::put(console, (t + i * 5) % width, 180, 0xff40ff80);
            trelk::fill(console, 4, 4, 20, 20, trelk::get(console, ball_x + 12, 72));
            console.update();
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
