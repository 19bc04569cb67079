// The display library's test counters (not installed): what tests use to prove that nothing
// leaks and that frames were presented. What programs use (palette contents, the values of areas,
// formats and modes, the settings) is in the public trelk/display.h, the key codes in
// trelk/keys.h; both are included here. Every function checks its handle like an entry.
#ifndef PLATFORM_DISPLAY_TEST_COUNTERS_H
#define PLATFORM_DISPLAY_TEST_COUNTERS_H

#include "trelk/display.h"
#include "trelk/keys.h"
#include "trelk/library.h"

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

extern "C" {

// Objects made by create entries and not yet destroyed, of every kind
int trelk_display_live_objects(void);
// Objects the library made for itself (what getters hand out) and still holds
int trelk_display_library_objects(void);
// Frames presented by update() on every console since the process started
long long trelk_display_presented_frames(void);

}  // extern "C"

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#endif
