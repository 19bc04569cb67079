// pixels: opens a console and draws a colour gradient straight into its pixels, then waits for
// a key. The default format is 32 bits a pixel, 0x00RRGGBB in a native 32-bit word; rows are
// pitch() bytes apart.
#include <cstdint>

#include "trelk/trelk.h"

int main() {
    try {
        trelk::Console console;
        console.open("pixels", trelk::Format(32, 0xff0000, 0xff00, 0xff, 0), 0);
        const int width = console.width();
        const int height = console.height();

        while (!console.key()) {
            auto* pixels = static_cast<std::uint8_t*>(console.lock());
            const int pitch = console.pitch();
            for (int y = 0; y < height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(pixels + y * pitch);
                for (int x = 0; x < width; ++x) {
                    const auto red = static_cast<std::uint32_t>(x * 255 / (width - 1));
                    const auto green = static_cast<std::uint32_t>(y * 255 / (height - 1));
                    const std::uint32_t blue = 255 - red;
                    row[x] = red << 16 | green << 8 | blue;
                }
            }
            console.unlock();
            console.update();
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
