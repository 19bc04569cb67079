// sprite: draws a 16x16 sprite into an off-screen surface once, then each frame copies it onto
// the console scaled four times, moving, with a clip area that keeps it inside a frame.
// copy(target, source, destination) scales the source area (in the surface) to fill the
// destination area (in the target); nothing lands outside the target's clip area.
#include <cstdint>

#include "trelk/trelk.h"

int main() {
    try {
        const trelk::Format format(32, 0xff0000, 0xff00, 0xff, 0);
        trelk::Console console;
        console.open("sprite", format, 0);
        const int width = console.width();
        const int height = console.height();

        // The sprite: a yellow disc with a dark outline on a blue square
        trelk::Surface sprite(16, 16, format);
        auto* pixels = static_cast<std::uint8_t*>(sprite.lock());
        for (int y = 0; y < 16; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(pixels + y * sprite.pitch());
            for (int x = 0; x < 16; ++x) {
                const int dx = 2 * x - 15, dy = 2 * y - 15;  // twice the offset from the centre
                const int distance = dx * dx + dy * dy;
                row[x] = distance < 120 ? 0xffd020 : distance < 200 ? 0x302010 : 0x2040a0;
            }
        }
        sprite.unlock();

        const trelk::Color background(0xff101010);
        const trelk::Color frame(0xff808080);
        const trelk::Area inside(32, 24, width - 32, height - 24);
        const trelk::Area whole(0, 0, 16, 16);
        for (int t = 0; !console.key(); ++t) {
            console.clip(console.area());  // the whole console again
            console.clear(background);
            console.clear(frame, inside);
            console.clip(inside);  // the sprite is cut off at the frame's edges
            const int x = (t * 3) % (width + 64) - 64;
            const int y = (t * 2) % (height + 64) - 64;
            sprite.copy(console, whole, trelk::Area(x, y, x + 64, y + 64));
            console.update();
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
