// The memory bound of the demo's frame as a program of its own, for instruction counts: per
// frame the clear's memset of the screen, the picture's memcpy into it and the memcpy of the
// finished screen to the console's pixels, 320x200 32-bit pixels each. Frames from the first
// argument (default 1); bench/instructions.sh counts a run of 201 minus a run of 1.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Tells the compiler that the bytes behind p are read and written here, so no copy is dropped
inline void touched(void* p) { asm volatile("" : : "r"(p) : "memory"); }

}  // namespace

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1;
    constexpr std::size_t screen = 320 * 200;
    std::vector<std::uint32_t> picture(330 * 210, 0x00ff8040u), back(screen), front(screen);
    for (long f = 0; f < frames; ++f) {
        std::memset(back.data(), 0, screen * 4);
        touched(back.data());
        std::memcpy(back.data(), picture.data(), screen * 4);
        touched(back.data());
        std::memcpy(front.data(), back.data(), screen * 4);
        touched(front.data());
    }
    return front[0] == 1 ? 1 : 0;
}
