// The capture's PNG encoder; where and how the file is written is the OS seam's (files.h).
//
// Decisions:
// - libpng encodes into memory and the bytes are written by us: libpng's own file writer
//   removes the file it fails to write (a device, a FIFO, a link it was handed) and reports a
//   failed write only as "Write Error", where we can say why ("No space left on device").
// - The first buffer is the size of the raw pixels, which a PNG of a frame does not exceed in
//   practice; when it does, libpng says how much it needs and the frame is encoded again.
#include "platform/display/capture.h"

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/os/files.h"

namespace display {
namespace {

// The frame as a PNG file's bytes; false and a reason when libpng cannot make them
bool encode(const std::vector<std::uint8_t>& pixels, int width, int height, bool alpha,
            std::vector<std::uint8_t>* png, std::string* reason) {
    const int bytes = alpha ? 4 : 3;
    png->resize(pixels.size() + 1024);
    for (int attempt = 0; attempt < 2; ++attempt) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = png_uint_32(width);
        image.height = png_uint_32(height);
        image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
        png_alloc_size_t size = png->size();
        const bool encoded = png_image_write_to_memory(&image, png->data(), &size, 0, pixels.data(),
                                                       width * bytes, nullptr) != 0;
        char message[sizeof image.message];
        std::memcpy(message, image.message, sizeof message);
        png_image_free(&image);
        if (encoded) {
            png->resize(size);
            return true;
        }
        if (size <= png->size()) {  // not for want of room
            *reason = message;
            return false;
        }
        png->resize(size);
    }
    *reason = "the encoded frame did not fit its buffer";
    return false;
}

bool save(const char* path, const Image& frame, bool alpha, std::string* reason) {
    if (!os::file_replaceable(path, reason)) return false;

    // Bytes blue, green, red (and alpha): the format of the masks below, libpng's BGR or BGRA
    PixelFormat bgr;
    const char* why = nullptr;
    const int bytes = alpha ? 4 : 3;
    make_format(bytes * 8, 0xff0000, 0xff00, 0xff, alpha ? 0xff000000 : 0, &bgr, &why);
    std::vector<std::uint8_t> pixels(std::size_t(frame.width) * std::size_t(frame.height) *
                                     std::size_t(bytes));
    const Image out{pixels.data(), frame.width, frame.height, frame.width * bytes, &bgr, nullptr};
    const Rect all{0, 0, frame.width, frame.height};
    blit(frame, all, out, all, all);

    std::vector<std::uint8_t> png;
    if (!encode(pixels, frame.width, frame.height, alpha, &png, reason)) return false;
    return os::replace_file(path, png.data(), png.size(), reason);
}

}  // namespace

bool capture_target_usable(const char* path, std::string* reason) {
    try {
        return os::file_replaceable(path, reason);
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return false;
    }
}

bool save_png(const char* path, const Image& frame, std::string* reason) {
    return save_png(path, frame, false, reason);
}

bool save_png(const char* path, const Image& frame, bool alpha, std::string* reason) {
    try {
        return save(path, frame, alpha, reason);
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return false;
    }
}

}  // namespace display
