// Errors on Windows: standard error when there is one (redirected, or the console the program
// was started from), and a message box for the person who double-clicked it. See report.h.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os/report.h"
#include "platform/os/text_win32.h"

namespace os {
namespace {

using win32::wide;

char program_title[256] = "";

bool has_handle(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle && handle != INVALID_HANDLE_VALUE;
}

// Without a noted title: the program file's name without its folder and extension
std::wstring fallback_title() {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length < MAX_PATH ? length : 0);
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.erase(dot);
    return name;
}

}  // namespace

void note_program_title(const char* title) {
    if (!title) return;
    std::strncpy(program_title, title, sizeof program_title - 1);
    program_title[sizeof program_title - 1] = '\0';
}

void prepare_error_output() {
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    if (has_handle(STD_ERROR_HANDLE)) return;  // redirected, or a console program's own
    // A GUI program started from a console: write where the person who started it looks
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (std::freopen("CONOUT$", "w", stderr)) std::setvbuf(stderr, nullptr, _IONBF, 0);
}

void show_error(const char* message) {
    const char* box = std::getenv("TRELK_ERROR_BOX");
    if (box && std::strcmp(box, "0") == 0) return;
    const std::wstring title = program_title[0] ? wide(program_title) : fallback_title();
    MessageBoxW(nullptr, wide(message).c_str(), title.c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TASKMODAL);
}

}  // namespace os
