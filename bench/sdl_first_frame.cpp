// A bare SDL2 program's start-up: initialise video, make a 320x200 window, present one frame,
// quit. The benchmark times it from process start as the yardstick for our demo's start-up.
// With --audio it also opens the audio device the demo's music opens (44.1 kHz, 16-bit stereo,
// 256-frame buffers, a callback that plays silence), starts it before the frame and closes it
// after, loading no music: the yardstick for the demo started as a user meets it, with sound.
// With --key as well it waits after the frame for a byte on standard input, the key, and then
// closes the window and the sound and quits: the yardstick for the demo's exit.
#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

void SDLCALL silence(void*, Uint8* stream, int len) { std::memset(stream, 0, std::size_t(len)); }

}  // namespace

int main(int argc, char** argv) {
    const bool audio = argc > 1 && std::strcmp(argv[1], "--audio") == 0;
    const bool key = argc > 2 && std::strcmp(argv[2], "--key") == 0;
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
    SDL_AudioDeviceID device = 0;
    if (audio) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            std::fprintf(stderr, "SDL_InitSubSystem: %s\n", SDL_GetError());
            return 1;
        }
        SDL_AudioSpec want;
        SDL_zero(want);
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 256;
        want.callback = silence;
        SDL_AudioSpec have;
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (!device) {
            std::fprintf(stderr, "SDL_OpenAudioDevice: %s\n", SDL_GetError());
            return 1;
        }
        SDL_PauseAudioDevice(device, 0);
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface) SDL_FillRect(surface, nullptr, 0);
    SDL_UpdateWindowSurface(window);
    if (key) {
        char byte = 0;
        while (read(STDIN_FILENO, &byte, 1) < 0) {
        }
    }
    SDL_DestroyWindow(window);
    if (device) {
        SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    SDL_Quit();
    return 0;
}
