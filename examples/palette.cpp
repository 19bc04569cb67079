// palette: opens an 8-bit indexed console (8 bits, all four masks 0), gives it a palette of its
// own and draws with colour numbers: each pixel is one byte, an index into the palette. The
// palette's colours are set with trelk_display_palette_set (trelk/display.h); a new palette is
// the grey ramp. Rotating the colours of the palette animates the picture without redrawing it.
#include <cmath>
#include <cstdint>

#include "trelk/trelk.h"

int main() {
    try {
        trelk::Console console;
        console.open("palette", 320, 200, trelk::Format(8, 0, 0, 0, 0), 0);
        const int width = console.width();
        const int height = console.height();

        // Concentric rings of colour numbers 0 to 255
        auto* pixels = static_cast<std::uint8_t*>(console.lock());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double distance = std::hypot(x - width / 2.0, y - height / 2.0);
                pixels[y * console.pitch() + x] = static_cast<std::uint8_t>(distance * 2);
            }
        }
        console.unlock();

        // A rainbow: colour i is 0xAARRGGBB with each channel a sine shifted by a third
        std::uint32_t rainbow[256];
        const double pi = 3.14159265358979323846;  // M_PI is not standard C++
        for (int i = 0; i < 256; ++i) {
            const double angle = i * 2 * pi / 256;
            const auto channel = [&](double shift) {
                return static_cast<std::uint32_t>(127.5 + 127.5 * std::sin(angle + shift));
            };
            rainbow[i] = 0xff000000 | channel(0) << 16 | channel(2.094) << 8 | channel(4.189);
        }

        trelk::Palette palette;
        std::uint32_t colors[256];
        for (int t = 0; !console.key(); ++t) {
            for (int i = 0; i < 256; ++i) colors[i] = rainbow[(i + t) % 256];
            trelk_display_palette_set(palette.handle(), colors);
            console.palette(palette);
            console.update();
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
