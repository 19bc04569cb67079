// Reading a whole file on POSIX systems. See file_read.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/os/file_read.h"

namespace os {

FileRead read_regular_file(const char* name, long long max_bytes, std::vector<std::uint8_t>& bytes,
                           std::string& error) {
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return FileRead::cannot_open;
    }
    struct stat st;
    FileRead refused = FileRead::done;
    if (fstat(fd, &st) != 0) {
        refused = FileRead::cannot_examine;
    } else if (!S_ISREG(st.st_mode)) {
        refused = FileRead::not_a_file;
    } else if (st.st_size == 0) {
        refused = FileRead::empty;
    } else if (st.st_size > max_bytes) {
        refused = FileRead::too_large;
    }
    if (refused != FileRead::done) {
        close(fd);
        return refused;
    }
    try {
        bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        close(fd);
        return FileRead::no_memory;
    }
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    return got == bytes.size() ? FileRead::done : FileRead::cannot_read;
}

}  // namespace os
