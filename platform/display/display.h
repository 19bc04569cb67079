// What the display library offers beyond the entries of trelk/library.h: counters that tests
// use to prove that nothing leaks and that frames were presented, palette contents (no entry
// of the object layer fills a palette), readers of values the layer cannot read, and the key
// codes that trelk_console_read reports. Every function checks its handle like an entry.
//
// Settings, read from the environment each time a console opens (the program reads none):
//   TRELK_DISPLAY=window|terminal|headless  forces a back end; unset: a window when a
//                                  display is available, else the terminal when standard
//                                  output is one, else headless
//   TRELK_FRAMES=N                 key() becomes true once N frames have been presented
//   TRELK_CAPTURE=FILE.png         the last presented frame is saved as PNG when the console closes
//                                  (FILE absent, a regular file or a link to one; see capture.h)
//   TRELK_VSYNC=0                  update() in a window does not keep step with the display
#ifndef PLATFORM_DISPLAY_DISPLAY_H
#define PLATFORM_DISPLAY_DISPLAY_H

#include <cstdint>

#include "trelk/library.h"

extern "C" {

// Objects made by create entries and not yet destroyed, of every kind
int trelk_display_live_objects(void);
// Objects the library made for itself (what getters hand out) and still holds
int trelk_display_library_objects(void);
// Frames presented by update() on every console since the process started
long long trelk_display_presented_frames(void);

// The 256 colours of a palette, 0xAARRGGBB; the default palette is the opaque grey ramp
// (entry i is 0xff000000 + i * 0x010101)
void trelk_display_palette_set(trelk_handle palette, const std::uint32_t colors[256]);
void trelk_display_palette_get(trelk_handle palette, std::uint32_t colors[256]);

// What the object layer has no entry to read: an area's left, top, right, bottom; a format's
// bits per pixel (the result) and masks red, green, blue, alpha (all 0 when indexed); a mode's
// size (0 x 0 for the invalid mode that ends a list)
void trelk_display_area_values(trelk_handle area, int values[4]);
int trelk_display_format_values(trelk_handle format, std::uint32_t masks[4]);
void trelk_display_mode_size(trelk_handle mode, int* width, int* height);

}  // extern "C"

// Key codes. Keys have the code of the key, not of the character: 'a' and 'A' both give
// TRELK_KEY_A; shift, alt and control are the modifiers: modifier1 is alt, modifier2 shift,
// modifier3 control. Codes follow the common virtual-key numbering.
enum : int {
    TRELK_KEY_QUIT = -1,    // not a key: the close button, Ctrl-C (SIGINT), SIGTERM or TRELK_FRAMES
    TRELK_KEY_UNKNOWN = 0,  // a key without a code of its own
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
    TRELK_KEY_0 = 48,        // '0' to '9': 48 to 57
    TRELK_KEY_A = 65,        // 'A' to 'Z': 65 to 90
    TRELK_KEY_NUMPAD0 = 96,  // keypad digits 96 to 105
    TRELK_KEY_MULTIPLY = 106,
    TRELK_KEY_ADD = 107,
    TRELK_KEY_SUBTRACT = 109,
    TRELK_KEY_DECIMAL = 110,
    TRELK_KEY_DIVIDE = 111,
    TRELK_KEY_F1 = 112,  // F1 to F12: 112 to 123
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
    TRELK_KEY_QUOTE = 222,
};

#endif
