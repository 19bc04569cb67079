// The picture loader. One zero-filled buffer, one read per row, one load call; the display
// library converts the 24-bit rows into the surface's own format.
#include "demo/picture.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "trelk/error.h"
#include "trelk/format.h"
#include "trelk/palette.h"

namespace {

// A file that is not there, or is not a regular file, could not be loaded, and that is all
// there is to say; where the system gave another reason (no descriptor left, no permission),
// it is said
[[noreturn]] void fail(int error) {
    if (error == 0 || error == ENOENT) throw trelk::DynamicError("could not load image");
    throw trelk::DynamicError(
        (std::string("could not load image: ") + std::strerror(error)).c_str());
}

void load_picture_unguarded(trelk::BaseSurface& surface, const char* file_name) {
    // Only a regular file (or a link to one) is a picture; anything else counts as missing.
    // Asked before the stream opens, because opening a FIFO waits for a writer for ever, and
    // with one the stream cannot skip the header, so a black picture would load; a directory
    // opens as a stream but reads as an empty one. A name swapped for a FIFO between this
    // check and the open can still make the open wait: standard streams cannot open without
    // blocking, and the check keeps the loader on them.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file_name, error)) fail(error.value());
    errno = 0;
    std::ifstream file(file_name, std::ios::in | std::ios::binary);
    if (!file) fail(errno);
    file.seekg(18);  // the header: never consulted

    const int width = surface.width();
    const int height = surface.height();
    if (width < 0 || height < 0 || width > max_picture_side || height > max_picture_side) {
        throw trelk::DynamicError("could not load image: picture size out of range");
    }
    const std::size_t pitch = static_cast<std::size_t>(width) * 3;

    // Zero-filled, so rows that a short file leaves unread come out black.
    std::vector<unsigned char> pixels(pitch * static_cast<std::size_t>(height));

    // The file's first row is the picture's bottom row. After a short read the stream stays
    // failed and the later reads store nothing.
    for (int y = height - 1; y >= 0; --y) {
        file.read(reinterpret_cast<char*>(pixels.data() + static_cast<std::size_t>(y) * pitch),
                  static_cast<std::streamsize>(pitch));
    }

    const trelk::Palette palette;
    const trelk::Format format(24, 0xff0000, 0xff00, 0xff, 0);
    surface.load(pixels.data(), width, height, static_cast<int>(pitch), format, palette);
}

}  // namespace

// Memory can run out anywhere here, the file stream's own buffer included: that is a picture
// that could not be loaded, reported like the others
void load_picture(trelk::BaseSurface& surface, const char* file_name) {
    try {
        load_picture_unguarded(surface, file_name);
    } catch (const std::bad_alloc&) {
        throw trelk::DynamicError("could not load image: not enough memory");
    }
}
