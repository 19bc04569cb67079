// The probes in the browser: no window system (the page's canvas is the web back end's), and
// audio is the page's to give or refuse (the music library asks its player, not this).
#include "platform/os/probe.h"

namespace os {

bool window_system_named() { return false; }
bool audio_output_possible() { return true; }

}  // namespace os
