/// @file
/// The mouse, its wheel, touch and typed text, beyond the keys of read(): functions of our
/// display library (valid C), each checking its console handle like an entry, and in C++ a few
/// helpers over them in namespace trelk.
///
/// The pointer is given in console pixels, whatever the picture's scale on the screen: through a
/// window's whole-number or fractional scale, its black borders and full screen, a page's
/// enlargement, or a terminal's cells. It is "inside" while it is over the picture; over the
/// borders or away from the window it is outside, with the console pixel it would be on (which
/// may lie beyond 0..width-1) or, once it has left the window, the last one it was on.
///
/// Presses, releases and wheel steps wait in order to be read with trelk_input_mouse_event(), as
/// keys wait for read(); the state that trelk_input_mouse() gives is the state after every event
/// that has arrived, read or not, so a program that only polls sees the same. A release always
/// follows its press; a window that loses the focus with a button down gets its release then.
/// Typed text waits apart from keys: reading one consumes nothing of the other.
///
/// On each back end:
///   - window: the mouse in the window; touch screens act as the left button (the system
///     makes a touch a left-button press). Text: the characters keys make, with Shift, the
///     keyboard's layout and key repeat applied.
///   - web page: the page's pointer over the canvas and the wheel; a touch or a pen is the left
///     button. Text: the character of each key pressed (KeyboardEvent.key). Until the program
///     first asks for the mouse, a touch lifted is the space bar, as without this header.
///   - terminal: the terminal's mouse reports, switched on when the program first asks for the
///     mouse (so a program that never asks leaves the terminal's own selection alone) and off
///     again whenever the program stops, ends or is stopped by Ctrl-Z (and on again when it is
///     continued). A cell stands for a block of console pixels and reports the pixel under the
///     centre of the cell. Text: the characters typed, as the terminal sends them.
///   - headless: no pointer: never inside, no button held, no event. Text: as the terminal's,
///     when standard input is one.
#ifndef TRELK_INPUT_H
#define TRELK_INPUT_H

#include "library.h"

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// The mouse buttons, as bits of the buttons held and as the button of a press or release
#define TRELK_MOUSE_LEFT 1
#define TRELK_MOUSE_RIGHT 2
#define TRELK_MOUSE_MIDDLE 4

/// What a mouse event is
#define TRELK_MOUSE_PRESS 1
#define TRELK_MOUSE_RELEASE 2
#define TRELK_MOUSE_WHEEL 3

/// A press, a release or a wheel step, with where the pointer was
typedef struct trelk_mouse_event {
    int kind;     ///< TRELK_MOUSE_PRESS, TRELK_MOUSE_RELEASE or TRELK_MOUSE_WHEEL
    int button;   ///< the button pressed or released (TRELK_MOUSE_LEFT ...); 0 for the wheel
    int x, y;     ///< the console pixel the pointer was on
    int inside;   ///< 1 when the pointer was over the picture
    int wheel_x;  ///< wheel steps to the right (negative: to the left)
    int wheel_y;  ///< wheel steps away from the person, up the page (negative: towards)
} trelk_mouse_event;

/// The pointer over an open console now: its console pixel into *x and *y and the buttons held
/// (TRELK_MOUSE_LEFT | ...) into *buttons, each pointer may be null. Gives 1 while the pointer
/// is over the picture, else 0. Moves waiting input into the queues as key() does and consumes
/// nothing. The first call for an open console asks its back end for the mouse (a terminal
/// starts reporting it). A closed console: 0, with 0 in each.
int trelk_input_mouse(trelk_handle console, int* x, int* y, int* buttons);

/// Reads the oldest waiting press, release or wheel step of an open console into *event and
/// gives 1; gives 0, leaving *event as it was, when none waits (or the console is closed).
/// Asks for the mouse as trelk_input_mouse() does. Up to 64 events wait; later ones are
/// dropped until some are read (the state of trelk_input_mouse() still follows them).
int trelk_input_mouse_event(trelk_handle console, trelk_mouse_event* event);

/// Reads the text typed on an open console and not read yet, as UTF-8 in the order typed:
/// whole characters, at most size - 1 bytes, into text, ending it with a 0 byte. Gives the
/// bytes read, 0 when none waits (or the console is closed). Keys that make no character
/// (arrows, Enter, Escape, Backspace, Tab, with Control) give no text. Up to 256 bytes wait;
/// characters beyond are dropped until some are read. text must not be null and size must be
/// at least 1; a size too small for the next character waiting (5 holds any) is an error,
/// which reads nothing.
int trelk_input_text(trelk_handle console, char* text, int size);

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
#include <string>

#include "console.h"

namespace trelk {

/// The pointer over a console, as trelk_input_mouse() reads it
struct Mouse {
    int x = 0, y = 0;     ///< the console pixel the pointer is on
    int buttons = 0;      ///< the buttons held: TRELK_MOUSE_LEFT | TRELK_MOUSE_RIGHT | ...
    bool inside = false;  ///< over the picture
    bool left() const { return (buttons & TRELK_MOUSE_LEFT) != 0; }
    bool right() const { return (buttons & TRELK_MOUSE_RIGHT) != 0; }
    bool middle() const { return (buttons & TRELK_MOUSE_MIDDLE) != 0; }
};

/// A press, a release or a wheel step (see trelk_mouse_event)
using MouseEvent = trelk_mouse_event;

/// The pointer over the console now (the first call asks the console for the mouse)
inline Mouse mouse(BaseConsole& console) {
    Mouse now;
    now.inside = trelk_input_mouse(console.handle(), &now.x, &now.y, &now.buttons) == 1;
    return now;
}

/// Reads the oldest waiting press, release or wheel step into event; false when none waits
inline bool mouse_event(BaseConsole& console, MouseEvent& event) {
    return trelk_input_mouse_event(console.handle(), &event) == 1;
}

/// All the text typed on the console and not read yet, as UTF-8; empty when none
inline std::string typed(BaseConsole& console) {
    std::string text;
    char part[257];
    for (int n; (n = trelk_input_text(console.handle(), part, int(sizeof part))) > 0;)
        text.append(part, std::size_t(n));
    return text;
}

}  // namespace trelk
#endif

#endif
