// Inside view of the music library, for its audio callback and its tests: the library's
// state, and the mixer that fills an output buffer from the playing module.
#ifndef PLATFORM_MUSIC_MIXER_H
#define PLATFORM_MUSIC_MIXER_H

#include <cstddef>

namespace midas {

// The library's states, in the order the entries move it forward:
//   closed       nothing held; before startup and after close
//   started      startup done; modules can be loaded, no audio yet
//   initialised  audio prepared: the output device is open and paused, or there is none
//                (silence); a module may be chosen to play but nothing is mixed yet
//   playing      background play: the device pulls sound from the mixer
// Stopping background play goes back to initialised; close goes back to closed from any state.
enum class State { closed, started, initialised, playing };

constexpr int output_rate = 44100;  // frames a second, 16-bit signed stereo, native byte order
constexpr int output_frame_bytes = 4;

State state();
bool audio_open();  // whether an output device is open (false: silent)
// Whether SDL is asked for audio at all: a driver is named in SDL_AUDIODRIVER, or a sound card
// or sound server exists here
bool audio_output_possible();
size_t module_count();  // modules loaded and not yet freed by close
bool module_playing();  // whether a module is chosen and has not reached its end

// Fills exactly `bytes` bytes of `buffer` with the chosen module's sound at output_rate, or
// with silence when nothing plays or the module has ended. The audio device's callback calls
// this; tests call it to render offline when no device is open.
void mix(void* buffer, int bytes);

}  // namespace midas

#endif
