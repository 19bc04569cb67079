// Fuzz target: the music library's module load over arbitrary bytes, then a moment of play.
//
// Each input is written to a file and loaded with MIDASloadModule, as the demo loads "bla.xm".
// A null module is a correct answer (MIDASerrorText must then say why); a module that loads is
// played from its start and mixed for a tenth of a second, offline, as the audio callback
// would. A crash, a sanitizer report, a hang or an allocation beyond the fuzzer's limit is a
// finding. The library runs without an audio device, so nothing here depends on sound hardware.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "platform/midas.h"
#include "platform/music/mixer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A driver that does not exist: the library then stays silent and mixes only on request
    setenv("SDL_AUDIODRIVER", "trelk-fuzz-no-audio", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = fuzz_scratch_file("module.xm");
    fuzz_write_file(path, data, size);

    MIDASstartup();
    MIDASinit();
    MIDASstartBackgroundPlay(0);
    MIDASmodule module = MIDASloadModule(path.c_str());
    if (!module) {
        if (!*MIDASerrorText()) fuzz_finding("a module failed to load without a reason");
    } else if (MIDASplayModule(module, 1) != 0) {
        static std::int16_t sound[4410 * 2];
        for (int i = 0; i < 4; ++i) midas::mix(sound, sizeof sound / 4);
    }
    MIDASstopBackgroundPlay();
    MIDASclose();  // frees the module
    if (midas::module_count() != 0)
        fuzz_finding("MIDASclose left %zu modules", midas::module_count());
    return 0;
}
