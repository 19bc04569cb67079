// Keys from a terminal: the decoder of what terminals send, over os::TerminalKeys.
#include "platform/display/backends/terminal_input.h"

#include <algorithm>

#include "platform/os/clock.h"
#include "platform/os/signals.h"
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

int decode_terminal_keys(const unsigned char* bytes, int count, KeyValue* out, int max) {
    int n = 0, i = 0;
    while (i < count && n < max) {
        const unsigned char b = bytes[i];
        if (b == 27 && i + 1 < count && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
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
            if (j >= count) {  // an unfinished sequence: Escape, then what followed it
                out[n++] = key(TRELK_KEY_ESCAPE);
                ++i;
                continue;
            }
            const int modifier = numbers[1] > 1 ? numbers[1] - 1 : 0;
            out[n++] = key(decode_sequence(bytes[j], numbers[0]), (modifier & 2) ? 1 : 0,
                           (modifier & 1) ? 1 : 0, (modifier & 4) ? 1 : 0);
            i = j + 1;
        } else if (b == 27 && i + 1 < count && bytes[i + 1] != 27 && bytes[i + 1] < 128) {
            KeyValue k = decode_byte(bytes[i + 1]);  // ESC before a character: alt
            k.modifier1 = 1;
            out[n++] = k;
            i += 2;
        } else if (b >= 128) {
            // A character beyond ASCII is one key without a code; its continuation bytes too
            out[n++] = key(TRELK_KEY_UNKNOWN);
            ++i;
            while (i < count && (bytes[i] & 0xc0) == 0x80) ++i;
        } else {
            out[n++] = decode_byte(b);
            ++i;
        }
    }
    return n;
}

void TerminalInput::poll(KeyQueue& queue) {
    for (KeyValue early; typed_.pop(&early);) queue.push(early);
    unsigned char bytes[64];
    for (int count; (count = keys_.read(bytes, int(sizeof bytes))) > 0;) {
        KeyValue decoded[64];
        const int n = decode_terminal_keys(bytes, count, decoded, 64);
        for (int i = 0; i < n; ++i) queue.push(decoded[i]);
    }
}

// Returns early when a key is typed or a signal arrives (a quit asks to end the wait)
void TerminalInput::wait(KeyQueue& queue, int milliseconds) {
    keys_.wait(milliseconds);
    poll(queue);
}

bool TerminalInput::sleep_until(std::int64_t until) {
    if (typed_.size() > 0) return true;
    const std::int64_t left = until - now_nanoseconds();
    if (active() && left >= 1000000) {
        // The terminal is watched for whole milliseconds; what is left of the last one, and
        // the rest of a wait that ended with nothing typed (a terminal gone, whose input is
        // always ready), is slept on the clock
        keys_.wait(int(std::min<std::int64_t>(left / 1000000, 1000)));
        poll(typed_);
        if (typed_.size() > 0) return true;
        if (os::quit_signalled() || os::terminal_hung_up()) return false;
    }
    return os::sleep_until(until);
}

}  // namespace display
