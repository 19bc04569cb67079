// Reading a whole file on Windows. See file_read.h. Opening never waits here (a named pipe's
// name opens at once or fails), and the handle is asked what it is: only a disk file is read.
#include <windows.h>

#include <new>

#include "platform/os/file_read.h"
#include "platform/os/text_win32.h"

namespace os {

using win32::system_message;

FileRead read_regular_file(const char* name, long long max_bytes, std::vector<std::uint8_t>& bytes,
                           std::string& error) {
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder open too, so that it is refused as not a file
    // rather than with a puzzling "access denied"
    const HANDLE file =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = system_message(GetLastError());
        return FileRead::cannot_open;
    }
    FileRead refused = FileRead::done;
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER size;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        refused = FileRead::not_a_file;
    } else if (!GetFileInformationByHandle(file, &info) || !GetFileSizeEx(file, &size)) {
        refused = FileRead::cannot_examine;
    } else if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
        refused = FileRead::not_a_file;
    } else if (size.QuadPart == 0) {
        refused = FileRead::empty;
    } else if (size.QuadPart > max_bytes) {
        refused = FileRead::too_large;
    }
    if (refused != FileRead::done) {
        CloseHandle(file);
        return refused;
    }
    try {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        CloseHandle(file);
        return FileRead::no_memory;
    }
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::size_t rest = bytes.size() - got;
        DWORD n = 0;
        if (!ReadFile(file, bytes.data() + got, rest > 1u << 30 ? 1u << 30 : DWORD(rest), &n,
                      nullptr) ||
            n == 0)
            break;
        got += n;
    }
    CloseHandle(file);
    return got == bytes.size() ? FileRead::done : FileRead::cannot_read;
}

}  // namespace os
