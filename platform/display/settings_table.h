// The display library's settings, one row each, read from the environment each time a console
// opens. Everything about a setting is here: the console's parser (settings.cpp), the back ends
// that ask for a value, demo.sh --help (which prints the rows) and the check that docs/library.md,
// README.md and trelk/display.h list every setting (scripts/check_settings.py) all read these rows.
//
// TRELK_SETTING(id, "NAME", kind, "accepted", "default", "help")
// - kind: choice (one of the accepted values, separated by |), backend (the name of a back end
//   of this build; the accepted text is the desktop's list), count (a whole number, 0 or more),
//   file (any path).
// - default: the value taken when the variable is unset or empty; "" when unset means
//   something no value says (the automatic choice, no limit, no capture).
// - help: one line, said by --help after NAME=accepted.
// Adding a setting is adding a row; its readers ask settings.h for its value by id.
// clang-format off
TRELK_SETTING(display,         "TRELK_DISPLAY",    backend, "window|terminal|headless", "",      "where to draw (unset: a window, else the terminal, else headless)")
TRELK_SETTING(frames,          "TRELK_FRAMES",     count,   "N",                        "",      "end after N frames (key() becomes true)")
TRELK_SETTING(capture,         "TRELK_CAPTURE",    file,    "FILE.png",                 "",      "save the last frame as PNG when the console closes")
TRELK_SETTING(vsync,           "TRELK_VSYNC",      choice,  "0|1",                      "1",     "0: update() does not keep step with the display")
TRELK_SETTING(fullscreen,      "TRELK_FULLSCREEN", choice,  "0|1",                      "0",     "1: every open is full screen (window)")
TRELK_SETTING(scale,           "TRELK_SCALE",      choice,  "whole|fit",                "whole", "a window's scale: whole-number factors, or fit: fill it")
TRELK_SETTING(terminal_colors, "TRELK_COLORS",     choice,  "24|256",                   "",      "the terminal's colours (unset: what the terminal says it has)")
TRELK_SETTING(error_box,       "TRELK_ERROR_BOX",  choice,  "0|1",                      "1",     "0: an error is not also shown in a message box (Windows)")
TRELK_SETTING(record,          "TRELK_RECORD",       file,  "FILE.mp4|.webm|.mkv", "",   "record a video with the music and exit, as fast as the machine allows")
TRELK_SETTING(record_fps,      "TRELK_RECORD_FPS",   count, "N",                   "60", "the video's frames a second, 1 to 1000")
TRELK_SETTING(record_scale,    "TRELK_RECORD_SCALE", count, "N",                   "",   "each pixel N x N in the video (unset: the least N giving 720 lines)")
// clang-format on
