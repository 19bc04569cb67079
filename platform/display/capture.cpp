#include "platform/display/capture.h"

#include <png.h>

#include <new>
#include <vector>

namespace display {

bool save_png(const char* path, const Image& frame, std::string* reason) {
    // Three bytes blue, green, red: the 24-bit format of the masks below, libpng's BGR
    PixelFormat bgr;
    const char* why = nullptr;
    make_format(24, 0xff0000, 0xff00, 0xff, 0, &bgr, &why);
    std::vector<std::uint8_t> pixels;
    try {
        pixels.resize(std::size_t(frame.width) * frame.height * 3);
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return false;
    }
    const Image out{pixels.data(), frame.width, frame.height, frame.width * 3, &bgr, nullptr};
    const Rect all{0, 0, frame.width, frame.height};
    blit(frame, all, out, all, all);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(frame.width);
    image.height = png_uint_32(frame.height);
    image.format = PNG_FORMAT_BGR;
    if (!png_image_write_to_file(&image, path, 0, pixels.data(), frame.width * 3, nullptr)) {
        *reason = image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace display
