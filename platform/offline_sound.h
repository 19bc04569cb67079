// Where a program's sound meets a recording of its frames, so that neither library knows the
// other: the music library offers an offline render of what it plays; a recorder (the display
// library's, while TRELK_RECORD is set) says that a recording runs and pulls the sound from
// that render, frame by frame, instead of letting a sound device play it.
//
// Sound is 16-bit signed stereo, interleaved, at `rate` sample frames a second. Every function
// is for the program's one thread.
#ifndef PLATFORM_OFFLINE_SOUND_H
#define PLATFORM_OFFLINE_SOUND_H

#include <cstdint>

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

extern "C" {

struct trelk_offline_sound {
    int rate;  // sample frames a second
    // Sample frames of one pass of what plays now (to its end, or to where it loops back);
    // -1 when nothing plays
    long long (*pass_length)(void);
    // The next `frames` sample frames (silence where nothing plays) into `samples`
    void (*render)(std::int16_t* samples, int frames);
    // From now on the sound is pulled by render alone: a sound device open until now is given
    // back and no other is opened
    void (*take_over)(void);
};

// The music library offers its render while it is initialised (null withdraws it); the
// recorder asks for it. Null when nothing is offered.
void trelk_offline_sound_offer(const trelk_offline_sound* sound);
const trelk_offline_sound* trelk_offline_sound_offered(void);

// The recorder says that a recording runs (1) or has ended (0); the music library then opens
// no sound device
void trelk_offline_sound_set_recording(int recording);
int trelk_offline_sound_recording(void);

}  // extern "C"

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#endif
