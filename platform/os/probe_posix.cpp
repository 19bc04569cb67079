// The probes on POSIX systems (Linux paths first). See probe.h.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os/probe.h"

namespace os {
namespace {

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

bool window_system_named() { return named("DISPLAY") || named("WAYLAND_DISPLAY"); }

bool audio_output_possible() {
    if (std::getenv("SDL_AUDIODRIVER") || std::getenv("PULSE_SERVER")) return true;
    if (std::FILE* cards = std::fopen("/proc/asound/cards", "r")) {
        char line[256] = "";
        const bool listed = std::fgets(line, sizeof line, cards) != nullptr &&
                            std::strstr(line, "no soundcards") == nullptr;
        std::fclose(cards);
        if (listed) return true;
    }
    if (exists("/dev/dsp")) return true;
    std::string runtime;
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR")) {
        runtime = dir;
    } else {
        runtime = "/run/user/" + std::to_string(getuid());
    }
    return exists(runtime + "/pulse/native") || exists(runtime + "/pipewire-0") ||
           exists("/run/pulse/native") || exists("/var/run/pulse/native");
}

bool memory_available(unsigned long long bytes) {
    if (bytes == 0) return true;
    if (bytes > static_cast<unsigned long long>(SIZE_MAX)) return false;
    const std::size_t size = static_cast<std::size_t>(bytes);
    // A private writable mapping is what the C library makes for a large block, so it counts
    // against the same limits; it is never touched, so no page of it becomes resident
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return false;
    munmap(block, size);
    return true;
}

}  // namespace os
