// Where the demo finds its files; see data_files.h
#include "demo/data_files.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

std::string program_folder() {
#ifdef _WIN32
    // Long paths included: the buffer grows until the name fits
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return "";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return "";
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return "";
    path.resize(slash);
    const int size = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return "";
    std::string folder(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), &folder[0], size,
                        nullptr, nullptr);
    return folder;
#elif defined(__linux__)
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error || !program.has_parent_path()) return "";
    return program.parent_path().string();
#else
    return "";  // the browser's program has no file of its own
#endif
}

std::vector<std::string> data_folders(const std::string& program_folder) {
    std::vector<std::string> folders{""};
    if (program_folder.empty()) return folders;
    const fs::path folder(program_folder);
    folders.push_back((folder / "").string());
    folders.push_back((folder / ".." / "share" / "games" / "kelvra-demo" / "").string());
    return folders;
}

std::string find_data_file(const std::string& name, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        const std::string path = folder + name;
        std::error_code error;
        if (fs::is_regular_file(path, error)) return path;
    }
    return "";
}

std::string folders_tried(const std::vector<std::string>& folders) {
    std::string text = "looked in: ";
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (i > 0) text += ", ";
        std::error_code error;
        fs::path shown = folders[i].empty() ? fs::current_path(error) : fs::path(folders[i]);
        if (error) shown = ".";
        // "/usr/games/../share/games/kelvra-demo/" is shown as /usr/share/games/kelvra-demo
        shown = shown.lexically_normal();
        std::string name = shown.string();
        while (name.size() > 1 && (name.back() == '/' || name.back() == '\\')) name.pop_back();
        text += name;
    }
    return text;
}
