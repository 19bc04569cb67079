/// @file
/// Key codes: what Key::code() gives for a key read from a console (Console::read(), or the key
/// entries of trelk/library.h). A code is that of the key, not of the character: 'a' and 'A'
/// both give TRELK_KEY_A, with shift as a modifier. Modifiers: Key::modifier1() is alt,
/// modifier2() shift, modifier3() control. Codes follow the common virtual-key numbering; codes
/// inside a range are the first code plus the offset: TRELK_KEY_A + ('Q' - 'A') is Q,
/// TRELK_KEY_F1 + 11 is F12. Valid C and C++.
#ifndef TRELK_KEYS_H
#define TRELK_KEYS_H

/// Key codes of the display library
enum {
    TRELK_KEY_QUIT = -1,    ///< not a key: a quit was asked (close button, Ctrl-C, SIGTERM, SIGHUP,
                            ///< TRELK_FRAMES reached); key() stays true and every read gives it
    TRELK_KEY_UNKNOWN = 0,  ///< a key without a code of its own
    TRELK_KEY_BACKSPACE = 8,
    TRELK_KEY_TAB = 9,
    TRELK_KEY_ENTER = 13,
    TRELK_KEY_SHIFT = 16,
    TRELK_KEY_CONTROL = 17,
    TRELK_KEY_ALT = 18,
    TRELK_KEY_PAUSE = 19,
    TRELK_KEY_CAPSLOCK = 20,
    TRELK_KEY_ESCAPE = 27,
    TRELK_KEY_SPACE = 32,
    TRELK_KEY_PAGEUP = 33,
    TRELK_KEY_PAGEDOWN = 34,
    TRELK_KEY_END = 35,
    TRELK_KEY_HOME = 36,
    TRELK_KEY_LEFT = 37,
    TRELK_KEY_UP = 38,
    TRELK_KEY_RIGHT = 39,
    TRELK_KEY_DOWN = 40,
    TRELK_KEY_INSERT = 45,
    TRELK_KEY_DELETE = 46,
    TRELK_KEY_0 = 48,        ///< '0' to '9': 48 to 57
    TRELK_KEY_A = 65,        ///< 'A' to 'Z': 65 to 90, for lower case too
    TRELK_KEY_NUMPAD0 = 96,  ///< keypad digits 96 to 105
    TRELK_KEY_MULTIPLY = 106,
    TRELK_KEY_ADD = 107,
    TRELK_KEY_SUBTRACT = 109,
    TRELK_KEY_DECIMAL = 110,
    TRELK_KEY_DIVIDE = 111,
    TRELK_KEY_F1 = 112,  ///< F1 to F12: 112 to 123
    TRELK_KEY_NUMLOCK = 144,
    TRELK_KEY_SCROLLLOCK = 145,
    TRELK_KEY_SEMICOLON = 186,
    TRELK_KEY_EQUALS = 187,
    TRELK_KEY_COMMA = 188,
    TRELK_KEY_MINUS = 189,
    TRELK_KEY_PERIOD = 190,
    TRELK_KEY_SLASH = 191,
    TRELK_KEY_BACKQUOTE = 192,
    TRELK_KEY_OPENBRACKET = 219,
    TRELK_KEY_BACKSLASH = 220,
    TRELK_KEY_CLOSEBRACKET = 221,
    TRELK_KEY_QUOTE = 222
};

#endif
