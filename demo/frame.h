// One frame of the demo: clear the screen surface, copy the picture into it scaled into a
// rectangle that jitters with two pseudo-random numbers, draw the cube over it and turn the
// cube on, then copy the screen to the console and present it. The demo's loop calls it once
// for every frame in which no key was pressed; the benchmarks call it to time the same frame.
#ifndef DEMO_FRAME_H
#define DEMO_FRAME_H

#include "trelk/console.h"
#include "trelk/surface.h"

// Needs build_trig_tables() once before the first frame.
void draw_frame(trelk::BaseConsole& console, trelk::BaseSurface& screen,
                trelk::BaseSurface& picture);

#endif
