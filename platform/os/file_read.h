// Reading a whole file the user named, refusing what cannot be read whole without waiting.
// POSIX: file_read_posix.cpp.
#ifndef PLATFORM_OS_FILE_READ_H
#define PLATFORM_OS_FILE_READ_H

#include <cstdint>
#include <string>
#include <vector>

namespace os {

enum class FileRead {
    done,            // every byte is in `bytes`
    cannot_open,     // `error` says why
    cannot_examine,  // opened, but the system would not say what it is
    not_a_file,      // a folder, a FIFO, a device...
    empty,
    too_large,  // more than max_bytes
    no_memory,
    cannot_read,  // an error, or fewer bytes than the file had
};

// Opens the file without waiting (opening a FIFO for reading waits for a writer, on POSIX) and
// asks what it is only once open, so that a name swapped after a check cannot make us wait or
// read a device. Reads it whole into bytes when it is a regular file of 1 to max_bytes bytes.
FileRead read_regular_file(const char* name, long long max_bytes, std::vector<std::uint8_t>& bytes,
                           std::string& error);

}  // namespace os

#endif
