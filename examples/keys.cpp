// keys: prints each key read from the console with its code and modifiers, and ends on Escape
// (or when the window is closed). read() waits for the next key; key() only tells whether one
// is waiting. Codes are those of the key, not the character: 'a' and 'A' are both TRELK_KEY_A,
// with shift as a modifier (trelk/keys.h).
#include <cstdio>
#include <string>

#include "trelk/trelk.h"

// A name for a key code: letters, digits and F-keys, and a few keys by name
static std::string key_name(int code) {
    if ((code >= TRELK_KEY_A && code <= TRELK_KEY_A + 25) ||
        (code >= TRELK_KEY_0 && code <= TRELK_KEY_0 + 9)) {
        return std::string(1, static_cast<char>(code));  // letters and digits are their codes
    }
    if (code >= TRELK_KEY_F1 && code <= TRELK_KEY_F1 + 11) {
        return "F" + std::to_string(code - TRELK_KEY_F1 + 1);
    }
    switch (code) {
        case TRELK_KEY_ESCAPE:
            return "Escape";
        case TRELK_KEY_ENTER:
            return "Enter";
        case TRELK_KEY_TAB:
            return "Tab";
        case TRELK_KEY_SPACE:
            return "Space";
        case TRELK_KEY_BACKSPACE:
            return "Backspace";
        case TRELK_KEY_LEFT:
            return "Left";
        case TRELK_KEY_UP:
            return "Up";
        case TRELK_KEY_RIGHT:
            return "Right";
        case TRELK_KEY_DOWN:
            return "Down";
        case TRELK_KEY_QUIT:
            return "(quit)";
        default:
            return "?";
    }
}

int main() {
    try {
        trelk::Console console;
        console.open("keys: press Escape to end", 0);
        console.clear(trelk::Color(0xff203040));
        console.update();

        for (;;) {
            const trelk::Key key = console.read();
            const int code = key.code();
            std::printf("key %d %s%s%s%s\n", code, key_name(code).c_str(),
                        key.modifier1() ? " +alt" : "", key.modifier2() ? " +shift" : "",
                        key.modifier3() ? " +control" : "");
            std::fflush(stdout);
            if (code == TRELK_KEY_ESCAPE || code == TRELK_KEY_QUIT) break;
        }
        console.close();
    } catch (const trelk::DynamicError& error) {
        error.report();
        return 1;
    }
    return 0;
}
