// Image files (trelk/graphics.h): PNG read and written by libpng, TGA read by our own decoder.
//
// Decisions:
// - A file is read whole first (at most 256 MiB, a regular file only, as the music library
//   reads modules), then decoded in memory into 0xAARRGGBB pixels, and only a picture decoded
//   to its last pixel becomes a surface: a bad file makes nothing.
// - What a file is comes from its bytes, not its name: PNG by its signature; anything else is
//   read as TGA when its header says 24- or 32-bit colour, uncompressed or run-length.
// - TGA: the picture's rows may run from the bottom (the default) or the top, and from the
//   left or the right, as the header says; a run-length packet may carry on into the next row.
//   The fourth byte of a 32-bit pixel is alpha when the header says it has 8 alpha bits, and
//   ignored (opaque) when it says 0. A colour map before the pixels is skipped.
// - Sizes above the library's largest surface (16384 either way) are refused before any
//   pixel memory is asked for.
// - Writing is the capture's encoder (capture.cpp) with alpha kept where the format has it.
#include "platform/display/image_files.h"

#include <png.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/display/capture.h"
#include "platform/display/objects.h"
#include "platform/os/file_read.h"
#include "trelk/graphics.h"

namespace display {
namespace {

constexpr long long max_file_bytes = 256LL << 20;

// A decoded picture: width * height pixels 0xAARRGGBB, rows top first; or why not
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::string error;  // empty when decoded
};

bool size_refused(Picture& picture, long long width, long long height) {
    if (width < 1 || height < 1) {
        picture.error = "the image has no pixels (" + std::to_string(width) + "x" +
                        std::to_string(height) + ")";
        return true;
    }
    if (width > max_dimension || height > max_dimension) {
        picture.error = "the image is " + std::to_string(width) + "x" + std::to_string(height) +
                        ", larger than a surface can be (" + std::to_string(max_dimension) +
                        " pixels either way)";
        return true;
    }
    picture.width = int(width);
    picture.height = int(height);
    return false;
}

void read_png(const std::vector<std::uint8_t>& bytes, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        picture.error = std::string("a corrupt PNG: ") + image.message;
        png_image_free(&image);
        return;
    }
    if (size_refused(picture, image.width, image.height)) {
        png_image_free(&image);
        return;
    }
    // Deflate makes at most about 1032 bytes of each byte it is given: a file too small to
    // hold its rows (of 1 bit a pixel at the least) is cut short, found before any pixel
    // memory is asked for
    const unsigned long long least =
        (unsigned long long)picture.height * (1 + (unsigned long long)(picture.width + 7) / 8);
    if (least > 1100ULL * bytes.size()) {
        picture.error = "a PNG cut short: its " + std::to_string(bytes.size()) +
                        " bytes cannot hold " + std::to_string(picture.width) + "x" +
                        std::to_string(picture.height) + " pixels";
        png_image_free(&image);
        return;
    }
    image.format = PNG_FORMAT_BGRA;  // bytes blue, green, red, alpha
    picture.pixels.assign(std::size_t(picture.width) * std::size_t(picture.height), 0);
    auto* rows = reinterpret_cast<std::uint8_t*>(picture.pixels.data());
    if (!png_image_finish_read(&image, nullptr, rows, picture.width * 4, nullptr)) {
        picture.error = std::string("a corrupt PNG: ") + image.message;
        png_image_free(&image);
        return;
    }
    png_image_free(&image);
    // Each pixel's four bytes become its 0xAARRGGBB, in place
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        const std::uint8_t* p = rows + i * 4;
        picture.pixels[i] =
            std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    }
}

unsigned le16(const std::uint8_t* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }

constexpr std::size_t tga_header_bytes = 18;

// Whether the bytes look like a TGA of a kind we read, by its header alone
bool tga_header_fits(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < tga_header_bytes) return false;
    const unsigned colormap_type = bytes[1], type = bytes[2], depth = bytes[16];
    return colormap_type <= 1 && (type == 2 || type == 10) && (depth == 24 || depth == 32);
}

void read_tga(const std::vector<std::uint8_t>& bytes, Picture& picture) {
    const std::uint8_t* header = bytes.data();
    const unsigned id_length = header[0], colormap_type = header[1], type = header[2];
    const unsigned map_entries = le16(header + 5), map_bits = header[7];
    const unsigned depth = header[16], descriptor = header[17];
    if (size_refused(picture, le16(header + 12), le16(header + 14))) return;
    const bool alpha = depth == 32 && (descriptor & 15) == 8;
    const bool from_top = descriptor & 0x20, from_right = descriptor & 0x10;
    std::size_t at = tga_header_bytes + id_length;
    if (colormap_type == 1) at += std::size_t(map_entries) * ((map_bits + 7) / 8);
    const std::size_t size = depth / 8,
                      total = std::size_t(picture.width) * std::size_t(picture.height);
    const auto color = [&](const std::uint8_t* p) {
        return (alpha ? std::uint32_t(p[3]) << 24 : 0xff000000u) | std::uint32_t(p[2]) << 16 |
               std::uint32_t(p[1]) << 8 | p[0];
    };
    // The pixels in file order first, then put in place
    std::vector<std::uint32_t> stream;
    const auto cut_short = [&] {
        picture.error = "a TGA cut short (" + std::to_string(stream.size()) + " of " +
                        std::to_string(total) + " pixels)";
    };
    // A run-length packet of 1 + size bytes makes at most 128 pixels: a file too small for its
    // pixels is found before memory is asked for them
    const std::size_t left = at < bytes.size() ? bytes.size() - at : 0;
    if (total / 128 > left / (1 + size)) return cut_short();
    stream.reserve(total);
    if (type == 2) {
        if (at > bytes.size() || (bytes.size() - at) / size < total) return cut_short();
        for (std::size_t i = 0; i < total; ++i, at += size) stream.push_back(color(&bytes[at]));
    } else {
        while (stream.size() < total) {
            if (at >= bytes.size()) return cut_short();
            const unsigned packet = bytes[at++];
            const std::size_t count = (packet & 0x7f) + 1;
            if (count > total - stream.size()) {
                picture.error = "a corrupt TGA: a run goes past the last pixel";
                return;
            }
            const std::size_t need = packet & 0x80 ? size : count * size;
            if (at > bytes.size() || bytes.size() - at < need) return cut_short();
            if (packet & 0x80) {
                stream.insert(stream.end(), count, color(&bytes[at]));
            } else {
                for (std::size_t i = 0; i < count; ++i)
                    stream.push_back(color(&bytes[at + i * size]));
            }
            at += need;
        }
    }
    picture.pixels.resize(total);
    const std::size_t width = std::size_t(picture.width), height = std::size_t(picture.height);
    for (std::size_t row = 0; row < height; ++row) {
        const std::size_t to_row = from_top ? row : height - 1 - row;
        for (std::size_t column = 0; column < width; ++column) {
            const std::size_t to_column = from_right ? width - 1 - column : column;
            picture.pixels[to_row * width + to_column] = stream[row * width + column];
        }
    }
}

const char* kind_refused(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() >= tga_header_bytes && bytes[1] <= 1) {
        const unsigned type = bytes[2];
        if (type == 2 || type == 10) return "a TGA of a pixel depth we do not read (24 or 32 bits)";
        if (type == 1 || type == 3 || type == 9 || type == 11)
            return "a TGA of a kind we do not read (colour-mapped or grey; we read 24- and "
                   "32-bit colour)";
    }
    return "not an image we read (PNG, or TGA of 24- or 32-bit colour)";
}

Picture decode(const std::vector<std::uint8_t>& bytes) {
    static const std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Picture picture;
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), png_signature, 8) == 0) {
        read_png(bytes, picture);
    } else if (tga_header_fits(bytes)) {
        read_tga(bytes, picture);
    } else {
        picture.error = kind_refused(bytes);
    }
    if (!picture.error.empty()) picture.pixels.clear();
    return picture;
}

std::string read_failure(os::FileRead result, const std::string& reason) {
    switch (result) {
        case os::FileRead::cannot_open:
            return "cannot open it: " + reason;
        case os::FileRead::cannot_examine:
            return "it cannot be examined";
        case os::FileRead::not_a_file:
            return "it is not a file";
        case os::FileRead::empty:
            return "it is empty";
        case os::FileRead::too_large:
            return "it is larger than 256 MiB";
        case os::FileRead::no_memory:
            return "not enough memory to read it";
        default:
            return "it cannot be read";
    }
}

const PixelFormat& argb_format() {
    static const PixelFormat format = [] {
        PixelFormat f;
        const char* reason = nullptr;
        make_format(32, 0xff0000, 0xff00, 0xff, 0xff000000u, &f, &reason);
        return f;
    }();
    return format;
}

}  // namespace

std::vector<std::uint32_t> decode_image(const std::vector<std::uint8_t>& bytes, int* width,
                                        int* height, std::string* error) {
    Picture picture = decode(bytes);
    *width = picture.width;
    *height = picture.height;
    *error = picture.error;
    return std::move(picture.pixels);
}

}  // namespace display

using namespace display;

extern "C" {

trelk_handle trelk_image_load(const char* file, trelk_handle format) {
    formats.get(format);  // checked before the file is read
    if (!file) fail("image_load: null file name");
    Picture picture;
    try {
        std::vector<std::uint8_t> bytes;
        std::string reason;
        const os::FileRead result = os::read_regular_file(file, max_file_bytes, bytes, reason);
        if (result != os::FileRead::done) {
            picture.error = read_failure(result, reason);
        } else {
            picture = decode(bytes);
        }
    } catch (const std::bad_alloc&) {
        fail("image_load: %s: out of memory", file);
    }
    if (!picture.error.empty()) fail("image_load: %s: %s", file, picture.error.c_str());
    trelk_handle surface = trelk_surface_create(picture.width, picture.height, format);
    try {
        const Image from{reinterpret_cast<std::uint8_t*>(picture.pixels.data()),
                         picture.width,
                         picture.height,
                         picture.width * 4,
                         &argb_format(),
                         nullptr};
        Canvas& canvas = *surfaces.get(surface);
        canvas_load(canvas, from, whole(from), whole(canvas_image(canvas)));
    } catch (...) {
        trelk_surface_destroy(surface);
        throw;
    }
    return surface;
}

void trelk_image_save(trelk_handle source, const char* file) {
    Canvas* canvas = nullptr;
    if (Canvas** surface = surfaces.find(source)) {
        canvas = *surface;
    } else if (ConsoleCanvas** console = consoles.find(source)) {
        if (!(*console)->open) fail("image_save: the console is not open");
        canvas = &(*console)->canvas;
    } else {
        invalid_handle_of_either(source, Kind::surface, Kind::console);
    }
    if (!file) fail("image_save: null file name");
    canvas_check_holder(*canvas, "image_save");
    std::string reason;
    if (!save_png(file, canvas_image(*canvas), canvas->format.width[3] > 0, &reason))
        fail("image_save: %s: %s", file, reason.c_str());
}

}  // extern "C"
