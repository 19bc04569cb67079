// A bare SDL2 program's start-up: initialise video, make a 320x200 window, present one frame,
// quit. The benchmark times it from process start as the yardstick for our demo's start-up.
#include <SDL.h>

#include <cstdio>

int main() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("first frame", SDL_WINDOWPOS_UNDEFINED,
                                          SDL_WINDOWPOS_UNDEFINED, 320, 200, 0);
    if (!window) {
        std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface) SDL_FillRect(surface, nullptr, 0);
    SDL_UpdateWindowSurface(window);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
