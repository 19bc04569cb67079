// What the window tests do through Xlib: press a window's close button as a window manager
// does (WM_DELETE_WINDOW sent to the window), and show a window of another client to take the
// focus. In a file of their own, since Xlib's macros (None, Bool) clash with GoogleTest's names.
#include <X11/Xlib.h>

namespace display_test {

bool press_close_button(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XFlush(display);
    XCloseDisplay(display);
    return sent;
}

}  // namespace display_test

namespace {
Display* other_display = nullptr;  // the connection of the other client's window
}  // namespace

namespace display_test {

// A window of another client, mapped and given the focus: somewhere for the focus to go.
// Returns its id, 0 when it cannot be made.
unsigned long open_other_window() {
    if (!other_display) other_display = XOpenDisplay(nullptr);
    if (!other_display) return 0;
    const int screen = DefaultScreen(other_display);
    const Window window =
        XCreateSimpleWindow(other_display, RootWindow(other_display, screen), 0, 0, 100, 100, 0,
                            BlackPixel(other_display, screen), WhitePixel(other_display, screen));
    XSelectInput(other_display, window, ExposureMask);
    XMapWindow(other_display, window);
    XEvent event;
    XWindowEvent(other_display, window, ExposureMask, &event);  // mapped and shown
    XSetInputFocus(other_display, window, RevertToParent, CurrentTime);
    XSync(other_display, False);
    return window;
}

void close_other_window(unsigned long window) {
    if (!other_display) return;
    XDestroyWindow(other_display, window);
    XCloseDisplay(other_display);
    other_display = nullptr;
}

}  // namespace display_test
