// The probes in the browser: no window system (the page's canvas is the web back end's), and
// audio is the page's to give or refuse (the music library asks its player, not this).
#include "platform/os/probe.h"

namespace os {

bool window_system_named() { return false; }
bool audio_output_possible() { return true; }
// The page's memory grows on demand up to its own maximum; an allocation that cannot be had
// there fails by itself, and the player that runs in the page is not ours to protect
bool memory_available(unsigned long long) { return true; }

}  // namespace os
