// The console on Windows. See terminal.h.
//
// The program is a GUI program: started by a double-click it has no console, and started from
// a console window it is not given that console's handles unless they are redirected. So the
// console is reached on demand: the standard handle when it is a console, else the console of
// the program that started us (AttachConsole), opened as CONIN$ and CONOUT$.
//
// Drawing needs a console that understands virtual-terminal sequences (Windows Terminal, the
// console host of Windows 10 and later): output_is_terminal() is true only once that mode is
// on. Keys are read as the console's key events and handed on as the bytes a terminal sends:
// with virtual-terminal input on, the console turns arrows and function keys into the same
// escape sequences, so the decoder is the one of every other terminal. Everything the console
// had (both modes, the output code page) is put back when the last user ends, at exit and by
// terminal_restore_now(). Windows has no stopping of a program (Ctrl-Z) and no hang-ups: closing
// the console is a control event (signals_win32.cpp).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/os/terminal.h"

namespace os {
namespace {

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// The console of the program that started us, when we were given none. Once per process.
void join_parent_console() {
    static bool tried = false;
    if (tried) return;
    tried = true;
    if (!GetConsoleWindow()) AttachConsole(ATTACH_PARENT_PROCESS);
}

// A console handle for `which` (STD_INPUT_HANDLE or STD_OUTPUT_HANDLE), or null. A standard
// handle redirected to a file or a pipe is not replaced by the console: that is not where the
// user wanted the program to read or write. *own is true when the handle was opened here.
HANDLE console_handle(DWORD which, bool even_if_redirected, bool* own) {
    *own = false;
    const HANDLE standard = GetStdHandle(which);
    if (is_console(standard)) return standard;
    const bool redirected = standard && standard != INVALID_HANDLE_VALUE;
    if (redirected && !even_if_redirected) return nullptr;
    join_parent_console();
    const HANDLE opened =
        CreateFileA(which == STD_INPUT_HANDLE ? "CONIN$" : "CONOUT$", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!is_console(opened)) {
        if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
        return nullptr;
    }
    *own = true;
    return opened;
}

// ---- what is to be put back ----

HANDLE input = nullptr;  // the console's input while in raw mode
bool own_input = false;
DWORD saved_input_mode = 0;
int raw_users = 0;

HANDLE output = nullptr;  // the console's output, once output_is_terminal() said yes
DWORD saved_output_mode = 0;
UINT saved_code_page = 0;
bool output_changed = false;

struct Bytes {  // a short sequence to write, kept without memory of its own
    std::atomic<int> fd{-1};
    char bytes[64] = "";
    void set(int to, const char* what) {
        fd = -1;
        if (to < 0 || !what) return;
        std::strncpy(bytes, what, sizeof bytes - 1);
        bytes[sizeof bytes - 1] = '\0';
        fd = to;
    }
};
Bytes restore_output;
bool exit_hook = false;

void restore_at_exit() { terminal_restore_now(); }

void hook_exit() {
    if (!exit_hook) exit_hook = std::atexit(restore_at_exit) == 0;
}

bool write_all(HANDLE handle, const char* data, std::size_t length) {
    while (length > 0) {
        DWORD written = 0;
        const DWORD chunk = length > 65536 ? 65536 : DWORD(length);
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        length -= written;
    }
    return true;
}

HANDLE handle_of(int fd) {
    const intptr_t handle = _get_osfhandle(fd);
    return handle == -1 ? nullptr : reinterpret_cast<HANDLE>(handle);
}

// Size watching
int watched_columns = 0, watched_rows = 0;
bool size_watched = false;

bool console_size(HANDLE handle, int* columns, int* rows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!handle || !GetConsoleScreenBufferInfo(handle, &info)) return false;
    *columns = info.srWindow.Right - info.srWindow.Left + 1;
    *rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return *columns > 0 && *rows > 0;
}

// UTF-8 of one UTF-16 unit or pair; 0 for a lone surrogate
int utf8(unsigned code, unsigned char* out) {
    if (code < 0x80) {
        out[0] = static_cast<unsigned char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<unsigned char>(0xc0 | code >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (code & 0x3f));
        return 2;
    }
    if (code >= 0xd800 && code < 0xe000) return 0;
    if (code < 0x10000) {
        out[0] = static_cast<unsigned char>(0xe0 | code >> 12);
        out[1] = static_cast<unsigned char>(0x80 | (code >> 6 & 0x3f));
        out[2] = static_cast<unsigned char>(0x80 | (code & 0x3f));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xf0 | code >> 18);
    out[1] = static_cast<unsigned char>(0x80 | (code >> 12 & 0x3f));
    out[2] = static_cast<unsigned char>(0x80 | (code >> 6 & 0x3f));
    out[3] = static_cast<unsigned char>(0x80 | (code & 0x3f));
    return 4;
}

unsigned high_surrogate = 0;  // the first half of a character typed as two key events

}  // namespace

// ---- keys ----

TerminalKeys::TerminalKeys(bool controlling_terminal) {
    if (raw_users == 0) {
        bool own = false;
        const HANDLE handle = console_handle(STD_INPUT_HANDLE, controlling_terminal, &own);
        if (!handle) return;
        DWORD mode = 0;
        GetConsoleMode(handle, &mode);
        // No line editing, no echo; Ctrl-C stays a control event (ENABLE_PROCESSED_INPUT)
        DWORD raw = (mode & ~DWORD(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT |
                                   ENABLE_WINDOW_INPUT)) |
                    ENABLE_PROCESSED_INPUT | ENABLE_EXTENDED_FLAGS;
        if (!SetConsoleMode(handle, raw | ENABLE_VIRTUAL_TERMINAL_INPUT) &&
            !SetConsoleMode(handle, raw)) {  // an old console: characters only
            if (own) CloseHandle(handle);
            return;
        }
        input = handle;
        own_input = own;
        saved_input_mode = mode;
        high_surrogate = 0;
        hook_exit();
    }
    ++raw_users;
    active_ = true;
}

TerminalKeys::~TerminalKeys() {
    if (!active_) return;
    if (--raw_users > 0) return;
    SetConsoleMode(input, saved_input_mode);
    if (own_input) CloseHandle(input);
    input = nullptr;
    own_input = false;
}

int TerminalKeys::read(unsigned char* bytes, int max) {
    if (!active_ || !input || max <= 0) return 0;
    int count = 0;
    // A wait, even of no time, makes a console fed by another program (Wine's, over a POSIX
    // terminal) take in what was typed; Windows' own console has queued it already
    WaitForSingleObject(input, 0);
    for (;;) {
        DWORD waiting = 0;
        INPUT_RECORD record;
        if (!GetNumberOfConsoleInputEvents(input, &waiting) || waiting == 0) break;
        if (!PeekConsoleInputW(input, &record, 1, &waiting) || waiting == 0) break;
        unsigned char encoded[4];
        int length = 0;
        int repeat = 0;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
            const unsigned unit = record.Event.KeyEvent.uChar.UnicodeChar;
            repeat =
                record.Event.KeyEvent.wRepeatCount > 0 ? record.Event.KeyEvent.wRepeatCount : 1;
            if (unit >= 0xd800 && unit < 0xdc00) {
                high_surrogate = unit;
            } else if (unit >= 0xdc00 && unit < 0xe000) {
                if (high_surrogate)
                    length = utf8(0x10000 + ((high_surrogate - 0xd800) << 10) + (unit - 0xdc00),
                                  encoded);
                high_surrogate = 0;
            } else if (unit != 0) {
                length = utf8(unit, encoded);
            }
        }
        // Left waiting when it does not fit: the next read takes it
        if (length > 0 && count + length > max) break;
        ReadConsoleInputW(input, &record, 1, &waiting);
        for (int r = 0; r < repeat && length > 0 && count + length <= max; ++r) {
            std::memcpy(bytes + count, encoded, std::size_t(length));
            count += length;
        }
    }
    return count;
}

void TerminalKeys::wait(int milliseconds) {
    if (!active_ || !input) {
        Sleep(milliseconds > 0 ? DWORD(milliseconds) : 0);
        return;
    }
    WaitForSingleObject(input, milliseconds > 0 ? DWORD(milliseconds) : 0);
}

// ---- the screen ----

bool output_is_terminal() {
    if (output) return true;
    bool own = false;
    const HANDLE handle = console_handle(STD_OUTPUT_HANDLE, false, &own);
    if (!handle) return false;
    DWORD mode = 0;
    GetConsoleMode(handle, &mode);
    if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
        !SetConsoleMode(handle,
                        mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        if (own) CloseHandle(handle);
        return false;  // a console that would print the sequences as text
    }
    output = handle;
    saved_output_mode = mode;
    saved_code_page = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    output_changed = true;
    hook_exit();
    return true;
}

const char* terminal_type() {
    const char* named = std::getenv("TERM");  // a terminal emulator of a POSIX layer
    if (named && *named) return named;
    // The console's virtual-terminal mode: xterm's sequences and its 256 colours
    return output_is_terminal() ? "xterm-256color" : nullptr;
}

// The console's output code page is set to UTF-8 while we draw
bool terminal_takes_utf8(const char**) { return true; }

int open_terminal_output() {
    HANDLE duplicate = nullptr;
    if (!output_is_terminal() || !DuplicateHandle(GetCurrentProcess(), output, GetCurrentProcess(),
                                                  &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return 1;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(duplicate), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(duplicate);
        return 1;
    }
    return fd;
}

void close_terminal_output(int fd) {
    if (fd > 2) _close(fd);
}

bool terminal_size(int fd, int* columns, int* rows) {
    return console_size(handle_of(fd), columns, rows);
}

TerminalRoom terminal_room(int fd) {
    return handle_of(fd) ? TerminalRoom::ready : TerminalRoom::gone;
}

TerminalWrite terminal_write(int fd, const char* data, std::size_t length, int /*patience*/) {
    // Writes to a console are taken whole: there is no partial write to continue
    const HANDLE handle = handle_of(fd);
    if (!handle) return TerminalWrite::gone;
    return write_all(handle, data, length) ? TerminalWrite::done : TerminalWrite::gone;
}

void terminal_restore_output(int fd, const char* bytes) {
    restore_output.set(fd, bytes);
    if (fd >= 0 && bytes) hook_exit();
}

void terminal_resume_output(int, const char*) {}  // nothing stops a Windows program

int terminal_resumes() { return 0; }

void terminal_restore_now() {
    const int fd = restore_output.fd.exchange(-1);
    if (fd >= 0) {
        if (const HANDLE handle = handle_of(fd))
            write_all(handle, restore_output.bytes, std::strlen(restore_output.bytes));
    }
    if (input) SetConsoleMode(input, saved_input_mode);
    if (output_changed) {
        SetConsoleMode(output, saved_output_mode);
        if (saved_code_page) SetConsoleOutputCP(saved_code_page);
    }
}

// ---- size changes; a console has no hang-up ----

void watch_terminal_changes() {
    size_watched = console_size(output, &watched_columns, &watched_rows);
}

void unwatch_terminal_changes() { size_watched = false; }

bool terminal_resized() {
    int columns = 0, rows = 0;
    if (!size_watched || !console_size(output, &columns, &rows)) return false;
    if (columns == watched_columns && rows == watched_rows) return false;
    watched_columns = columns;
    watched_rows = rows;
    return true;
}

bool terminal_hung_up() { return false; }

}  // namespace os
