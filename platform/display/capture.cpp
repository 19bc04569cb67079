// The capture's PNG writer and its rule for the file it writes (see capture.h).
//
// Decisions:
// - libpng's own file writer removes the file it fails to write. Handed a device (/dev/full as
//   root), a FIFO or a link, that removes something that was never ours. So libpng writes to a
//   stream on a file we create with O_EXCL beside the target, in the same folder so that the
//   final rename stays within one file system and is atomic.
// - A target replaced by something else between our check and the rename cannot be ruled out
//   without a rename that asks about the type it replaces; we look again just before renaming,
//   which leaves that window as short as it can be.
// - Replacing a regular file keeps its permission bits (not its owner, nor other hard links to
//   it, which keep the old contents). A new file gets 0666 less the umask, like fopen's.
// - The folder of the target must let us create a file; a writable file in a read-only folder
//   can no longer be captured to.
#include "platform/display/capture.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace display {
namespace {

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// What the capture replaces: `written` is the path to rename onto (a link's final target), and
// `existing` whether a regular file is there (its mode in `mode`). False and a reason when the
// path is something we must leave alone.
struct Target {
    std::string written;
    bool existing = false;
    mode_t mode = 0;
};

bool find_target(const char* path, Target* target, std::string* reason) {
    const std::string name = path;
    if (name.empty() || name.back() == '/') {
        *reason = "it names a folder, not a file";
        return false;
    }
    struct stat st;
    if (lstat(path, &st) != 0) {
        if (errno != ENOENT) {
            *reason = std::strerror(errno);
            return false;
        }
        target->written = name;  // absent: created
        return true;
    }
    if (S_ISLNK(st.st_mode)) {
        if (stat(path, &st) != 0) {
            *reason = "it is a link to " +
                      (errno == ENOENT ? std::string("nothing") : std::strerror(errno));
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            *reason =
                std::string("it is a link to ") + kind_of(st.st_mode) + ", not to a regular file";
            return false;
        }
        char* resolved = realpath(path, nullptr);
        if (!resolved) {
            *reason = std::strerror(errno);
            return false;
        }
        try {
            target->written = resolved;
        } catch (...) {
            std::free(resolved);
            throw;
        }
        std::free(resolved);
    } else if (S_ISREG(st.st_mode)) {
        target->written = name;
    } else {
        *reason = std::string("it is ") + kind_of(st.st_mode) + ", not a regular file";
        return false;
    }
    target->existing = true;
    target->mode = st.st_mode & 07777;
    return true;
}

// Creates a new file of our own in the target's folder; -1 and a reason when it cannot
int create_beside(const std::string& target, std::string* temporary, std::string* reason) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    // The name's start is enough to tell whose it is, and keeps ours within a name's 255 bytes
    const std::string base =
        (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = folder + "." + base + ".capture-" + std::to_string(getpid()) + "-" +
                     std::to_string(serial++);
        const int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    *reason = "cannot create a file in " + (folder.empty() ? std::string(".") : folder) + ": " +
              std::strerror(errno);
    temporary->clear();
    return -1;
}

// Writes the PNG to our new file and closes it; false and a reason when that fails. The file
// is closed on every path before anything that could throw.
bool write_png(int fd, const std::vector<std::uint8_t>& pixels, int width, int height,
               std::string* reason) {
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        close(fd);
        *reason = std::strerror(error);
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_BGR;
    const bool encoded =
        png_image_write_to_stdio(&image, file, 0, pixels.data(), width * 3, nullptr) != 0;
    char message[sizeof image.message];
    std::memcpy(message, image.message, sizeof message);
    png_image_free(&image);
    // Data held in the stream's buffer fails only here (a full disk)
    const bool flushed = std::fflush(file) == 0;
    const int flush_error = errno;
    const bool closed = std::fclose(file) == 0;
    const int close_error = errno;
    if (!encoded) *reason = message;
    if (encoded && !flushed) *reason = std::strerror(flush_error);
    if (encoded && flushed && !closed) *reason = std::strerror(close_error);
    return encoded && flushed && closed;
}

// Fills our new file and renames it over the target; false and a reason when it cannot
bool fill_and_rename(int fd, const std::string& temporary, const Target& target,
                     const std::vector<std::uint8_t>& pixels, const Image& frame,
                     std::string* reason) {
    if (target.existing && fchmod(fd, target.mode) != 0) {
        const int error = errno;
        close(fd);
        *reason = "cannot keep the permissions of " + target.written + ": " + std::strerror(error);
        return false;
    }
    if (!write_png(fd, pixels, frame.width, frame.height, reason)) return false;
    // Again just before replacing it: the target may have changed while we wrote
    Target now;
    if (!find_target(target.written.c_str(), &now, reason)) return false;
    if (rename(temporary.c_str(), target.written.c_str()) != 0) {
        *reason = "cannot replace " + target.written + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool save(const char* path, const Image& frame, std::string* reason) {
    Target target;
    if (!find_target(path, &target, reason)) return false;

    // Three bytes blue, green, red: the 24-bit format of the masks below, libpng's BGR
    PixelFormat bgr;
    const char* why = nullptr;
    make_format(24, 0xff0000, 0xff00, 0xff, 0, &bgr, &why);
    std::vector<std::uint8_t> pixels(std::size_t(frame.width) * std::size_t(frame.height) * 3);
    const Image out{pixels.data(), frame.width, frame.height, frame.width * 3, &bgr, nullptr};
    const Rect all{0, 0, frame.width, frame.height};
    blit(frame, all, out, all, all);

    std::string temporary;
    const int fd = create_beside(target.written, &temporary, reason);
    if (fd < 0) return false;
    bool saved = false;
    try {
        saved = fill_and_rename(fd, temporary, target, pixels, frame, reason);
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
    if (!saved) unlink(temporary.c_str());  // ours alone
    return saved;
}

}  // namespace

bool capture_target_usable(const char* path, std::string* reason) {
    try {
        Target target;
        return find_target(path, &target, reason);
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return false;
    }
}

bool save_png(const char* path, const Image& frame, std::string* reason) {
    try {
        return save(path, frame, reason);
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return false;
    }
}

}  // namespace display
