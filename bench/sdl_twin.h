// The demo's frame written directly against SDL2, the way a programmer without our layer would
// write it: one fill, one scaled blit, the cube drawn inside one lock, one blit to the window
// surface. The yardstick our frame is measured against.
#ifndef BENCH_SDL_TWIN_H
#define BENCH_SDL_TWIN_H

#include <SDL.h>

struct SdlTwin {
    SdlTwin(int width, int height);
    ~SdlTwin();
    SdlTwin(const SdlTwin&) = delete;
    SdlTwin& operator=(const SdlTwin&) = delete;

    // One frame; lock_per_pixel locks and unlocks the screen around every cube pixel instead
    // of once around the whole cube.
    void frame(bool lock_per_pixel);
    void scale_picture();            // the picture scaled into the jittering rectangle
    void cube(bool lock_per_pixel);  // the cube drawn and turned on

    SDL_Surface* screen;   // the off-screen frame
    SDL_Surface* picture;  // 320x200 picture
    SDL_Surface* window;   // stands in for the window's surface
    unsigned random_state = 1;
    int angle_x = 0, angle_y = 0, angle_z = 0;
};

#endif
