// The demo's pseudo-random numbers: the same sequence on every run, whatever the C library's
// own rand() does. state = state * 214013 + 2531011 modulo 2^32, starting at 1; each number
// is bits 16..30 of the new state, 0..32767.
#ifndef DEMO_RANDOM_H
#define DEMO_RANDOM_H

#include <cstdint>

extern std::uint32_t random_state;  // 1 at program start; never seeded by the demo

int next_random();  // 0..32767

#endif
