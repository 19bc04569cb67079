// The demo's command line; see command_line.h
#include "demo/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kelvra_version.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::vector<std::string> split_command_line(const char* command_line) {
    std::vector<std::string> arguments;
    if (!command_line) return arguments;
    const char* p = command_line;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        std::string argument;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                std::size_t slashes = 0;
                while (*p == '\\') ++slashes, ++p;
                if (*p == '"') {
                    // 2n backslashes and a quote: n backslashes, and the quote opens or closes;
                    // 2n + 1: n backslashes and a literal quote
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        argument += '"';
                        ++p;
                    }
                } else {
                    argument.append(slashes, '\\');
                }
            } else if (*p == '"') {
                // Inside quotes, a doubled quote is one literal quote
                if (quoted && p[1] == '"') {
                    argument += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                argument += *p++;
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::string join_command_line(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        line += '"';
        std::size_t slashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++slashes;
                continue;
            }
            // Backslashes before a quote are doubled, and the quote escaped
            line.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
            slashes = 0;
            line += c;
        }
        line.append(slashes * 2, '\\');  // before the closing quote
        line += '"';
    }
    return line;
}

namespace {

struct Setting {
    const char* name;
    const char* accepted;
    const char* fallback;
    const char* help;
};

// The display library's settings, in the order of its table
const Setting settings[] = {
#define TRELK_SETTING(id, name, kind, accepted, fallback, help) {name, accepted, fallback, help},
#include "platform/display/settings_table.h"
#undef TRELK_SETTING
};

// One setting's line: the help at column 28, or on a line of its own when the setting is long
void add_setting(std::string& text, const std::string& line, const std::string& help) {
    constexpr std::size_t column = 27;
    text += line;
    if (line.size() < column) {
        text.append(column - line.size(), ' ');
    } else {
        text += '\n';
        text.append(column, ' ');
    }
    text += help;
    text += '\n';
}

}  // namespace

std::string help_text() {
    std::string text =
        "Usage: kelvra-demo [--help | --version]\n"
        "\n"
        "The kelvra demo: a picture shaking under a spinning cube while music plays. It\n"
        "draws in a window when there is a desktop, else in the terminal, else headless.\n"
        "It reads flagga.tga and bla.xm from the working folder, else from its own folder,\n"
        "else from ../share/games/kelvra-demo beside its folder.\n"
        "\n"
        "Keys:\n"
        "  any key           ends the demo (Shift, Control, Alt or the system key alone do not,\n"
        "                    nor does switching windows)\n"
        "  Alt+Enter, F11    full screen on and off (window)\n"
        "  Ctrl-L            draws the picture again (terminal)\n"
        "  Ctrl-C            ends the demo; Ctrl-Z stops it, fg brings it back (terminal)\n"
        "\n"
        "Settings (environment variables):\n";
    for (const Setting& setting : settings) {
        std::string help = setting.help;
        if (setting.fallback[0] != '\0')
            help += std::string(" (default: ") + setting.fallback + ")";
        add_setting(text, std::string("  ") + setting.name + "=" + setting.accepted, help);
    }
    add_setting(text, "  SDL_AUDIODRIVER=dummy", "no sound");
    return text;
}

std::string version_text() { return "kelvra demo " KELVRA_VERSION "\n"; }

CommandLineAnswer answer_command_line(const std::vector<std::string>& arguments) {
    CommandLineAnswer answer;
    if (arguments.empty()) return answer;
    answer.run = false;
    for (const std::string& argument : arguments) {
        if (argument != "--help" && argument != "--version") {
            answer.status = 2;
            answer.error = "unknown argument \"" + argument + "\"; try --help\n";
            return answer;
        }
    }
    answer.output = arguments.front() == "--help" ? help_text() : version_text();
    return answer;
}

#ifdef _WIN32
namespace {

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0],
                            length);
    }
    return result;
}

bool usable(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }

// A GUI program has standard handles only when its starter redirected them; else the text goes
// to the console it was started from, when there is one. False when there is nowhere to write.
bool write_text(DWORD which, const std::string& text) {
    HANDLE handle = GetStdHandle(which);
    if (!usable(handle)) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) {
            return false;
        }
        handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
        if (!usable(handle)) return false;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // A console: its own text, so that every character shows whatever its code page
        std::string crlf;
        crlf.push_back('\n');  // the prompt came first: start on a line of our own
        for (const char c : text) {
            if (c == '\n') crlf += '\r';
            crlf += c;
        }
        const std::wstring shown = wide(crlf);
        DWORD written = 0;
        return WriteConsoleW(handle, shown.data(), static_cast<DWORD>(shown.size()), &written,
                             nullptr) != 0;
    }
    DWORD written = 0;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
}

void show_box(const std::string& text, bool error) {
    const char* box = std::getenv("TRELK_ERROR_BOX");
    if (error && box && std::strcmp(box, "0") == 0) return;
    MessageBoxW(nullptr, wide(text).c_str(), L"kelvra demo",
                MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace
#endif

int handle_command_line(const char* command_line) {
    const CommandLineAnswer answer = answer_command_line(split_command_line(command_line));
    if (answer.run) return -1;
    const bool error = answer.status != 0;
    const std::string& text = error ? answer.error : answer.output;
#ifdef _WIN32
    if (!write_text(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, text)) show_box(text, error);
#else
    std::FILE* stream = error ? stderr : stdout;
    std::fputs(text.c_str(), stream);
    if (std::fflush(stream) != 0 && !error) return 1;  // a help text lost is not a success
#endif
    return answer.status;
}
