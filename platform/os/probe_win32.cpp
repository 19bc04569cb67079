// The probes on Windows. See probe.h. Every Windows session that runs a program has a window
// system and a sound service to ask (without a device, SDL's audio opens nothing and the music
// stays silent), so the first two questions are always yes.
#include <windows.h>

#include <cstdint>

#include "platform/os/probe.h"

namespace os {

bool window_system_named() { return true; }

bool audio_output_possible() { return true; }

bool memory_available(unsigned long long bytes) {
    if (bytes == 0) return true;
    if (bytes > static_cast<unsigned long long>(SIZE_MAX)) return false;
    // Reserved and committed, never touched: committing counts against the system's commit
    // limit as the allocator's own block would, without making a page resident
    void* block =
        VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!block) return false;
    VirtualFree(block, 0, MEM_RELEASE);
    return true;
}

}  // namespace os
