// Text helpers shared by the Windows files of the OS seam: names between the program's code
// page (as getenv and the program's own strings give them) and UTF-16 for the wide functions,
// and the system's own words for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace os {
namespace win32 {

inline std::wstring wide(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring result(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &result[0], length);
    result.resize(std::size_t(length - 1));
    return result;
}

inline std::string narrow(const std::wstring& text) {
    const int length =
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string result(std::size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &result[0], length, nullptr, nullptr);
    result.resize(std::size_t(length - 1));
    return result;
}

// The system's message for an error code, without its closing full stop and line end
inline std::string system_message(DWORD code) {
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace win32
}  // namespace os
