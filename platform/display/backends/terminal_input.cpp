// Keys from a terminal: the decoder of what terminals send, over os::TerminalKeys.
#include "platform/display/backends/terminal_input.h"

#include <algorithm>

#include "platform/os/clock.h"
#include "platform/os/signals.h"
#include "trelk/input.h"
#include "trelk/keys.h"

namespace display {
namespace {

KeyValue key(int code, int alt = 0, int shift = 0, int control = 0) {
    return KeyValue{code, alt, shift, control};
}

// One byte that is a key by itself
KeyValue decode_byte(unsigned char b) {
    static const char unshifted[] = ";=,-./`[\\]'";
    static const int unshifted_codes[] = {
        TRELK_KEY_SEMICOLON, TRELK_KEY_EQUALS,       TRELK_KEY_COMMA,     TRELK_KEY_MINUS,
        TRELK_KEY_PERIOD,    TRELK_KEY_SLASH,        TRELK_KEY_BACKQUOTE, TRELK_KEY_OPENBRACKET,
        TRELK_KEY_BACKSLASH, TRELK_KEY_CLOSEBRACKET, TRELK_KEY_QUOTE};
    static const char shifted[] = ":+<_>?~{|}\"!@#$%^&*()";
    static const int shifted_codes[] = {TRELK_KEY_SEMICOLON,
                                        TRELK_KEY_EQUALS,
                                        TRELK_KEY_COMMA,
                                        TRELK_KEY_MINUS,
                                        TRELK_KEY_PERIOD,
                                        TRELK_KEY_SLASH,
                                        TRELK_KEY_BACKQUOTE,
                                        TRELK_KEY_OPENBRACKET,
                                        TRELK_KEY_BACKSLASH,
                                        TRELK_KEY_CLOSEBRACKET,
                                        TRELK_KEY_QUOTE,
                                        '1',
                                        '2',
                                        '3',
                                        '4',
                                        '5',
                                        '6',
                                        '7',
                                        '8',
                                        '9',
                                        '0'};
    if (b >= 'a' && b <= 'z') return key(TRELK_KEY_A + (b - 'a'));
    if (b >= 'A' && b <= 'Z') return key(TRELK_KEY_A + (b - 'A'), 0, 1);
    if (b >= '0' && b <= '9') return key(b);
    switch (b) {
        case ' ':
            return key(TRELK_KEY_SPACE);
        case '\r':
        case '\n':
            return key(TRELK_KEY_ENTER);
        case '\t':
            return key(TRELK_KEY_TAB);
        case 8:
        case 127:
            return key(TRELK_KEY_BACKSPACE);
        case 27:
            return key(TRELK_KEY_ESCAPE);
        case 0:
            return key(TRELK_KEY_SPACE, 0, 0, 1);
        case 28:
            return key(TRELK_KEY_BACKSLASH, 0, 0, 1);
        case 29:
            return key(TRELK_KEY_CLOSEBRACKET, 0, 0, 1);
        case 30:
            return key('6', 0, 1, 1);
        case 31:
            return key(TRELK_KEY_MINUS, 0, 0, 1);
        default:
            break;
    }
    if (b >= 1 && b <= 26) return key(TRELK_KEY_A + (b - 1), 0, 0, 1);
    for (int i = 0; unshifted[i]; ++i) {
        if (b == (unsigned char)unshifted[i]) return key(unshifted_codes[i]);
    }
    for (int i = 0; shifted[i]; ++i) {
        if (b == (unsigned char)shifted[i]) return key(shifted_codes[i], 0, 1);
    }
    return key(TRELK_KEY_UNKNOWN);
}

// The final byte of ESC [ or ESC O with its first number (0 when none)
int decode_sequence(unsigned char final, int number) {
    switch (final) {
        case 'A':
            return TRELK_KEY_UP;
        case 'B':
            return TRELK_KEY_DOWN;
        case 'C':
            return TRELK_KEY_RIGHT;
        case 'D':
            return TRELK_KEY_LEFT;
        case 'H':
            return TRELK_KEY_HOME;
        case 'F':
            return TRELK_KEY_END;
        case 'P':
            return TRELK_KEY_F1;
        case 'Q':
            return TRELK_KEY_F1 + 1;
        case 'R':
            return TRELK_KEY_F1 + 2;
        case 'S':
            return TRELK_KEY_F1 + 3;
        case '~':
            break;
        default:
            return TRELK_KEY_UNKNOWN;
    }
    switch (number) {
        case 1:
        case 7:
            return TRELK_KEY_HOME;
        case 2:
            return TRELK_KEY_INSERT;
        case 3:
            return TRELK_KEY_DELETE;
        case 4:
        case 8:
            return TRELK_KEY_END;
        case 5:
            return TRELK_KEY_PAGEUP;
        case 6:
            return TRELK_KEY_PAGEDOWN;
        default:
            break;
    }
    if (number >= 11 && number <= 15) return TRELK_KEY_F1 + (number - 11);       // F1 to F5
    if (number >= 17 && number <= 21) return TRELK_KEY_F1 + 5 + (number - 17);   // F6 to F10
    if (number == 23 || number == 24) return TRELK_KEY_F1 + 10 + (number - 23);  // F11, F12
    return TRELK_KEY_UNKNOWN;
}

}  // namespace

namespace {

// An SGR mouse report from bytes[at] (ESC [ <): its length when whole, 0 when the bytes end
// inside it, or minus the bytes to pass over when it is none: a sequence of that form that
// ends (in any final byte) otherwise than as a report is passed over whole; one that a byte no
// such sequence holds (a control character, ESC, DEL, beyond ASCII) cuts short is passed over
// up to that byte.
int mouse_report(const unsigned char* bytes, int count, int at, TerminalMouse* report) {
    int numbers[3] = {0, 0, 0}, which = 0, digits = 0;
    bool form = true;  // numbers, two semicolons between them
    for (int j = at + 3; j < count; ++j) {
        const unsigned char b = bytes[j];
        if (b >= '0' && b <= '9') {
            if (numbers[which] < 100000) numbers[which] = numbers[which] * 10 + (b - '0');
            ++digits;
        } else if (b == ';') {
            form = form && digits > 0 && which < 2;
            if (which < 2) ++which;
            digits = 0;
        } else if (b >= 0x20 && b < 0x40) {
            form = false;  // parameter and intermediate bytes that a report never has
        } else if (b >= 0x40 && b <= 0x7e) {
            if (!((b == 'M' || b == 'm') && form && digits > 0 && which == 2 && numbers[1] >= 1 &&
                  numbers[2] >= 1)) {
                return -(j + 1 - at);
            }
            report->code = numbers[0];
            report->column = numbers[1] - 1;
            report->row = numbers[2] - 1;
            report->release = b == 'm';
            return j + 1 - at;
        } else {
            return -(j - at);
        }
    }
    return 0;
}

TerminalEvent key_event(const KeyValue& key) {
    TerminalEvent event;
    event.kind = TerminalEvent::key;
    event.key_value = key;
    return event;
}

TerminalEvent text_event(const unsigned char* bytes, int length) {
    TerminalEvent event;
    event.kind = TerminalEvent::text;
    // A UTF-8 character is at most four bytes (utf8_length): the loop runs over the whole
    // array, so that no compiler has to follow that through the decoder to see the stores stay
    // inside it (GCC's link-time optimiser did not, and warned)
    length = std::min(length, int(sizeof event.character));
    for (int i = 0; i < int(sizeof event.character); ++i)
        event.character[i] = i < length ? char(bytes[i]) : '\0';
    event.length = length;
    return event;
}

// Whether bytes from `at` are the start of a UTF-8 character that the read cut short
bool cut_character(const unsigned char* bytes, int count, int at) {
    if (count - at >= 4 || bytes[at] < 0xc2 || bytes[at] > 0xf4) return false;
    for (int k = at + 1; k < count; ++k) {
        if ((bytes[k] & 0xc0) != 0x80) return false;
    }
    const int whole = bytes[at] < 0xe0 ? 2 : bytes[at] < 0xf0 ? 3 : 4;
    return count - at < whole;
}

}  // namespace

int decode_terminal_input(const unsigned char* bytes, int count, bool more_to_come,
                          TerminalEvent* out, int max, int* used) {
    int n = 0, i = 0;
    while (i < count && n + 2 <= max) {  // room for a key and its character
        const unsigned char b = bytes[i];
        if (b == 27 && i + 2 < count && bytes[i + 1] == '[' && bytes[i + 2] == '<') {
            TerminalEvent event;
            event.kind = TerminalEvent::mouse;
            const int length = mouse_report(bytes, count, i, &event.report);
            if (length == 0) break;  // cut short: left for the next read
            if (length > 0) out[n++] = event;
            i += length > 0 ? length : -length;
        } else if (b == 27 && i + 1 < count && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
            // ESC [ numbers ; modifier final: the modifier is 1 + shift 1, alt 2, control 4
            int j = i + 2, numbers[2] = {0, 0}, which = 0;
            while (j < count && ((bytes[j] >= '0' && bytes[j] <= '9') || bytes[j] == ';')) {
                if (bytes[j] == ';') {
                    which = which < 1 ? which + 1 : 1;
                } else if (numbers[which] < 1000) {
                    numbers[which] = numbers[which] * 10 + (bytes[j] - '0');
                }
                ++j;
            }
            if (j >= count) {
                if (more_to_come) break;
                out[n++] = key_event(key(TRELK_KEY_ESCAPE));  // Escape, then what followed it
                ++i;
                continue;
            }
            const int modifier = numbers[1] > 1 ? numbers[1] - 1 : 0;
            out[n++] = key_event(key(decode_sequence(bytes[j], numbers[0]), (modifier & 2) ? 1 : 0,
                                     (modifier & 1) ? 1 : 0, (modifier & 4) ? 1 : 0));
            i = j + 1;
        } else if (b == 27 && i + 1 == count && more_to_come) {
            break;
        } else if (b == 27 && i + 1 < count && bytes[i + 1] != 27 && bytes[i + 1] < 128) {
            KeyValue k = decode_byte(bytes[i + 1]);  // ESC before a character: alt
            k.modifier1 = 1;
            out[n++] = key_event(k);
            i += 2;
        } else if (b >= 128) {
            // A character beyond ASCII is one key without a code, and its text when it is
            // whole UTF-8; its continuation bytes go with it
            if (more_to_come && cut_character(bytes, count, i)) break;
            const int length = utf8_length(bytes + i, count - i);
            out[n++] = key_event(key(TRELK_KEY_UNKNOWN));
            if (length > 0) {
                out[n++] = text_event(bytes + i, length);
                i += length;
            } else {
                ++i;
                while (i < count && (bytes[i] & 0xc0) == 0x80) ++i;
            }
        } else {
            out[n++] = key_event(decode_byte(b));
            if (b >= 32 && b < 127) out[n++] = text_event(bytes + i, 1);
            ++i;
        }
    }
    *used = i;
    return n;
}

int decode_terminal_keys(const unsigned char* bytes, int count, KeyValue* out, int max) {
    int n = 0;
    for (int start = 0; start < count && n < max;) {
        TerminalEvent events[64];
        int used = 0;
        const int found =
            decode_terminal_input(bytes + start, count - start, false, events, 64, &used);
        for (int k = 0; k < found && n < max; ++k) {
            if (events[k].kind == TerminalEvent::key) out[n++] = events[k].key_value;
        }
        if (used == 0) break;  // an unfinished mouse report: nothing more to decode
        start += used;
    }
    return n;
}

namespace {

// A mouse report as the console's mouse: the pixel under the cell's centre, then the wheel,
// a press or a release (a motion only moves)
void report_mouse(const TerminalMouse& report, const CellLayout& cells, int width, int height,
                  MouseQueue& mouse) {
    int x = 0, y = 0;
    const bool inside = cell_pixel(cells, width, height, report.column, report.row, &x, &y);
    mouse.move(x, y, inside);
    if (report.code & 128) return;  // buttons beyond the three
    const int low = report.code & 3;
    if (report.code & 64) {  // the wheel: up, down, left, right
        if (!report.release) {
            mouse.wheel(low == 2 ? -1 : low == 3 ? 1 : 0, low == 0 ? 1 : low == 1 ? -1 : 0);
        }
        return;
    }
    if ((report.code & 32) || low == 3) return;  // a motion
    const int button = low == 0   ? TRELK_MOUSE_LEFT
                       : low == 1 ? TRELK_MOUSE_MIDDLE
                                  : TRELK_MOUSE_RIGHT;
    if (report.release) {
        mouse.release(button);
    } else {
        mouse.press(button);
    }
}

bool is_control_l(const KeyValue& key) {
    return key.code == TRELK_KEY_A + ('L' - 'A') && key.modifier3 && !key.modifier1 &&
           !key.modifier2;
}

}  // namespace

int TerminalInput::read_some(TerminalEvent* events, bool* more) {
    unsigned char bytes[sizeof carried_ + chunk];
    for (int i = 0; i < carried_count_; ++i) bytes[i] = carried_[i];
    const int count = keys_.read(bytes + carried_count_, chunk);
    *more = count == chunk;
    if (count <= 0 && carried_count_ == 0) return 0;
    const int total = carried_count_ + (count > 0 ? count : 0);
    // A full read may have more behind it: a sequence it ends inside waits for that
    int used = 0;
    const int n = decode_terminal_input(bytes, total, *more, events, most, &used);
    // What is left, a sequence cut short, is read again with the next bytes; one longer than
    // the room is none that a terminal sends, and is passed over
    const int left = total - used;
    carried_count_ = left <= int(sizeof carried_) ? left : 0;
    for (int i = 0; i < carried_count_; ++i) carried_[i] = bytes[used + i];
    return n;
}

void TerminalInput::deliver(const TerminalEvent& event, KeyQueue& queue, bool* control_l) {
    if (event.kind == TerminalEvent::text) {
        queue.text.push(event.character, event.length);
    } else if (event.kind == TerminalEvent::mouse) {
        if (cells_) report_mouse(event.report, *cells_, width_, height_, queue.mouse);
    } else if (control_l && is_control_l(event.key_value)) {
        *control_l = true;
    } else {
        queue.push(event.key_value);
    }
}

void TerminalInput::poll(KeyQueue& queue, bool* control_l) {
    for (int i = 0; i < early_count_; ++i) deliver(early_[i], queue, control_l);
    early_count_ = 0;
    early_key_ = false;
    TerminalEvent events[most];
    for (bool more = true; more;) {
        const int n = read_some(events, &more);
        for (int i = 0; i < n; ++i) deliver(events[i], queue, control_l);
    }
}

// Returns early when a key is typed or a signal arrives (a quit asks to end the wait)
void TerminalInput::wait(KeyQueue& queue, int milliseconds, bool* control_l) {
    keys_.wait(milliseconds);
    poll(queue, control_l);
}

bool TerminalInput::sleep_until(std::int64_t until) {
    if (early_key_) return true;
    const std::int64_t left = until - now_nanoseconds();
    if (active() && left >= 1000000) {
        // The terminal is watched for whole milliseconds; what is left of the last one, and
        // the rest of a wait that ended with nothing typed (a terminal gone, whose input is
        // always ready), is slept on the clock
        keys_.wait(int(std::min<std::int64_t>(left / 1000000, 1000)));
        for (bool more = true;
             more && early_count_ + most <= int(sizeof early_ / sizeof *early_);) {
            const int n = read_some(early_ + early_count_, &more);
            for (int i = 0; i < n; ++i)
                early_key_ |= early_[early_count_ + i].kind == TerminalEvent::key;
            early_count_ += n;
        }
        if (early_key_) return true;
        if (os::quit_signalled() || os::terminal_hung_up()) return false;
    }
    return os::sleep_until(until);
}

}  // namespace display
