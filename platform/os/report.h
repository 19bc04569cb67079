// Errors shown to the person using the program. The display library writes a reported error
// to standard error as one line; where a person may not see that (a Windows program started by
// a double-click), the platform shows it as well. POSIX and the browser: report_posix.cpp
// (standard error is all there is); Windows: report_win32.cpp.
#ifndef PLATFORM_OS_REPORT_H
#define PLATFORM_OS_REPORT_H

namespace os {

// The title a console was opened with: the program's name as the user sees it, kept for the
// title of what show_error() shows (at most 255 bytes are kept)
void note_program_title(const char* title);

// Readies standard error for a message. On Windows a GUI program started from a console is
// not given the console's handles: it joins the console, so the message appears there.
void prepare_error_output();

// Shows the message where a person sees it even without standard error: on Windows a message
// box titled with the noted title, unless TRELK_ERROR_BOX=0 (a row of the display library's
// settings table; read here directly, since showing an error must not fail: for tests and
// scripts, so that nothing waits for a click). Elsewhere nothing beyond standard error.
void show_error(const char* message);

}  // namespace os

#endif
