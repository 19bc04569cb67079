// Files written for the user on Windows. See files.h.
//
// - Names are in the program's code page, as getenv gives them; converted to UTF-16 for the
//   wide functions.
// - What a path is, is asked of a handle opened on it without access: a disk file or folder
//   (GetFileType FILE_TYPE_DISK, then its attributes), a device (CON, NUL, COM1: character
//   devices) or a pipe. Opening follows symbolic links; the link itself is looked at first
//   (FILE_FLAG_OPEN_REPARSE_POINT), so a link to nothing is told apart from an absent path and
//   a link to a regular file is replaced through: its final path is the one written.
// - A file that cannot be opened for writing (read-only, or its permissions) is refused, and
//   so is an absent file in a folder that does not exist; a folder where no file may be
//   created is found out when the new file is made.
// - The new file is created beside that final path (CREATE_NEW, so never anyone else's) and
//   put in its place by ReplaceFileW, which keeps the replaced file's attributes and security
//   (its owner and permissions), or by MoveFileExW where there was no file.
#include <windows.h>

#include <string>

#include "platform/os/files.h"
#include "platform/os/text_win32.h"

namespace os {
namespace {

using win32::narrow;
using win32::system_message;
using win32::wide;

bool absent(DWORD error) { return error == ERROR_FILE_NOT_FOUND; }

// The kind of what a handle opened on a path is; null for a regular file
const char* kind_of(HANDLE handle) {
    switch (GetFileType(handle)) {
        case FILE_TYPE_DISK:
            break;
        case FILE_TYPE_CHAR:
            return "a device";
        case FILE_TYPE_PIPE:
            return "a pipe";
        default:
            return "not a regular file";
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return "not a regular file";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "a folder";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return "a device";
    return nullptr;
}

HANDLE open_to_look(const std::wstring& path, bool follow) {
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                       nullptr);
}

// What the path leads to: `written`, the path to put the new file at (a link's final target),
// and whether a regular file is there. False and a reason when it must be left alone.
struct Target {
    std::wstring written;
    bool existing = false;
};

bool find_target(const char* path, Target* target, std::string* reason) {
    const std::string name = path;
    if (name.empty() || name.back() == '/' || name.back() == '\\') {
        *reason = "it names a folder, not a file";
        return false;
    }
    const std::wstring wide_path = wide(path);
    const HANDLE itself = open_to_look(wide_path, false);
    if (itself == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (!absent(error)) {
            *reason = system_message(error);
            return false;
        }
        target->written = wide_path;  // absent: created, in a folder that must exist
        target->existing = false;
        return true;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool link =
        GetFileInformationByHandleEx(itself, FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    CloseHandle(itself);
    const HANDLE handle = link ? open_to_look(wide_path, true) : open_to_look(wide_path, false);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *reason = link && absent(error) ? "it is a link to nothing"
                                        : (link ? "it is a link to " : "") + system_message(error);
        return false;
    }
    const char* kind = kind_of(handle);
    if (kind) {
        CloseHandle(handle);
        *reason = std::string(link ? "it is a link to " : "it is ") + kind +
                  (link ? ", not to a regular file" : ", not a regular file");
        return false;
    }
    // A file its user may not write is refused now rather than after the run (opening it for
    // writing changes nothing in it)
    const HANDLE writable = CreateFileW(wide_path.c_str(), FILE_WRITE_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writable == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        *reason = "it cannot be written: " + system_message(error);
        return false;
    }
    CloseHandle(writable);
    if (link) {
        wchar_t final_path[MAX_PATH * 4];
        const DWORD length = GetFinalPathNameByHandleW(handle, final_path, DWORD(MAX_PATH * 4),
                                                       FILE_NAME_NORMALIZED);
        if (length == 0 || length >= MAX_PATH * 4) {
            const DWORD error = GetLastError();
            CloseHandle(handle);
            *reason = "cannot follow the link: " + system_message(error);
            return false;
        }
        target->written.assign(final_path, length);
    } else {
        target->written = wide_path;
    }
    CloseHandle(handle);
    target->existing = true;
    return true;
}

// Creates a new file of our own beside the target; invalid and a reason when it cannot
HANDLE create_beside(const std::wstring& target, std::wstring* temporary, std::string* reason) {
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring base =
        (slash == std::wstring::npos ? target : target.substr(slash + 1)).substr(0, 200);
    static unsigned serial = 0;
    DWORD error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = folder + L"." + base + L".capture-" + std::to_wstring(GetCurrentProcessId()) +
                     L"-" + std::to_wstring(serial++);
        const HANDLE file = CreateFileW(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    *reason = "cannot create a file in " + (folder.empty() ? std::string(".") : narrow(folder)) +
              ": " + system_message(error);
    temporary->clear();
    return INVALID_HANDLE_VALUE;
}

bool write_whole(HANDLE file, const void* bytes, std::size_t size, std::string* reason) {
    const char* data = static_cast<const char*>(bytes);
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > (1u << 30) ? DWORD(1u << 30) : DWORD(size);
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            *reason = system_message(GetLastError());
            return false;
        }
        data += written;
        size -= written;
    }
    if (!FlushFileBuffers(file)) {
        *reason = system_message(GetLastError());
        return false;
    }
    return true;
}

}  // namespace

bool file_replaceable(const char* path, std::string* reason) {
    Target target;
    return find_target(path, &target, reason);
}

bool replace_file(const char* path, const void* bytes, std::size_t size, std::string* reason) {
    Target target;
    if (!find_target(path, &target, reason)) return false;
    std::wstring temporary;
    const HANDLE file = create_beside(target.written, &temporary, reason);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = write_whole(file, bytes, size, reason);
    CloseHandle(file);
    bool replaced = false;
    if (written) {
        // Again just before replacing it: the target may have changed while we wrote
        Target now;
        if (find_target(narrow(target.written).c_str(), &now, reason)) {
            replaced = now.existing
                           ? ReplaceFileW(target.written.c_str(), temporary.c_str(), nullptr,
                                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                           : MoveFileExW(temporary.c_str(), target.written.c_str(),
                                         MOVEFILE_WRITE_THROUGH) != 0;
            if (!replaced)
                *reason = "cannot replace " + narrow(target.written) + ": " +
                          system_message(GetLastError());
        }
    }
    if (!replaced) DeleteFileW(temporary.c_str());  // ours alone
    return replaced;
}

}  // namespace os
