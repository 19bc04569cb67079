// A tiny program that calls the music entries in the demo's order and then leaves main without
// stopping or closing, as the demo does on its error path. Run under the sanitizers, it proves
// that the process still exits cleanly: the library's exit clean-up closes the audio device
// (no audio thread runs during exit) and frees every module (LeakSanitizer finds nothing).
// An exit hook of ours, registered before the library's and so run after it, checks that the
// clean-up happened.
// Usage: music_exit_program MODULE skip-close|close
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/midas.h"
#include "platform/music/mixer.h"

namespace {

void check_closed_at_exit() {
    if (midas::state() != midas::State::closed || midas::audio_open() ||
        midas::module_count() != 0 || SDL_WasInit(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "music library still open at exit\n");
        std::_Exit(3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MODULE skip-close|close\n", argv[0]);
        return 2;
    }
    std::atexit(check_closed_at_exit);
    const bool close = std::strcmp(argv[2], "close") == 0;

    int ok = MIDASstartup() & MIDASinit() & MIDASstartBackgroundPlay(0);
    MIDASmodule module = MIDASloadModule(argv[1]);
    ok &= MIDASstartBackgroundPlay(0);
    MIDASplayModule(module, 1);
    std::printf("module %s, audio %s\n", module ? "loaded" : "not loaded",
                midas::audio_open() ? "open" : "silent");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (close) ok &= MIDASstopBackgroundPlay() & MIDASclose();
    return ok ? 0 : 1;
}
