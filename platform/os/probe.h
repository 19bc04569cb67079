// Questions about the machine asked before starting a device, so that nothing slow or noisy is
// started where it cannot work. POSIX: probe_posix.cpp.
#ifndef PLATFORM_OS_PROBE_H
#define PLATFORM_OS_PROBE_H

namespace os {

// A window system may be reachable: one is named in the environment (X11's DISPLAY, Wayland's
// WAYLAND_DISPLAY). SDL is not even started without one.
bool window_system_named();

// Any audio output can exist here: a sound card the kernel knows, or a sound server to talk to.
// Asking SDL on a machine with neither costs tens of milliseconds of start-up (the sound card
// library probes and sleeps, and prints its complaints to standard error) only to end in
// silence. A driver named in SDL_AUDIODRIVER, or a server in PULSE_SERVER, is always tried.
bool audio_output_possible();

// Whether a block of `bytes` could be had now: the address space for it is reserved and given
// back at once, without touching it (no page is made resident). This answers for the limits a
// process meets in practice (ulimit -v, the kernel's commit limit) at the cost of two system
// calls, where a trial allocation would also pay for the allocator's own bookkeeping (under
// AddressSanitizer, milliseconds for a few megabytes).
bool memory_available(unsigned long long bytes);

}  // namespace os

#endif
