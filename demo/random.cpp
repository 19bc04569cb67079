#include "demo/random.h"

std::uint32_t random_state = 1;

int next_random() {
    random_state = random_state * 214013u + 2531011u;  // unsigned: wraps modulo 2^32
    return static_cast<int>((random_state >> 16) & 0x7fffu);
}
