// The music library's entries (platform/midas.h) and its state, the same on every platform:
// the sound and the player are the platform's device (music_device.h). This file includes no
// operating-system header; the web build checks that.
//
// Entries check the state first (see State in mixer.h): a call out of order returns 0 or a
// null module and leaves the state unchanged; MIDASerrorText() says why. Memory that runs out
// inside an entry is an answer like any failure (0 or null, "out of memory in ..."), never an
// exception out of the library. Whatever the caller leaves open at exit (a program on its
// error path skips stop and close) is closed by an exit hook, so no audio thread runs while
// the process exits and nothing leaks.
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/midas.h"
#include "platform/music/mixer.h"
#include "platform/music/music_device.h"

namespace midas {
namespace {

struct FreeModule {
    void operator()(midas_module* m) const { device::free_module(m); }
};
using Module = std::unique_ptr<midas_module, FreeModule>;

struct Library {
    State state = State::closed;
    std::vector<Module> modules;
    unsigned last_handle = 0;
    bool exit_hook = false;
    std::string error;
};

// Never destroyed: the exit hook may run after static destructors have started, so the
// library's state must outlive them. Made in static storage, so that even the first entry
// needs no memory for it.
Library& lib() {
    alignas(Library) static unsigned char storage[sizeof(Library)];
    static Library* library = new (storage) Library;
    return *library;
}

// What an entry says when memory ran out under it: the message, or as much as needs no memory
int out_of_memory(const char* where) {
    Library& l = lib();
    try {
        l.error = std::string("out of memory in ") + where;
    } catch (const std::bad_alloc&) {
        l.error = "out of memory";  // fits the string's own room: no allocation
    }
    return 0;
}

int fail(const std::string& why) {
    lib().error = why;
    return 0;
}

// Back to closed from any state; what MIDASclose and the exit hook do. The output goes first,
// so that nothing plays a module while it is freed.
void shut_down() {
    Library& l = lib();
    device::close_output();
    l.modules.clear();
    l.state = State::closed;
}

void exit_hook() { shut_down(); }

bool known(MIDASmodule m) {
    for (auto& owned : lib().modules)
        if (owned.get() == m) return true;
    return false;
}

}  // namespace

State state() { return lib().state; }
size_t module_count() { return lib().modules.size(); }

}  // namespace midas

using midas::lib;
using midas::State;

namespace midas {
namespace {

// Whether the library is started; else says so for the entry `name`
bool started(const char* name) {
    if (lib().state != State::closed) return true;
    fail(std::string(name) + " before MIDASstartup");
    return false;
}

int set_paused(bool paused, const char* name) {
    try {
        if (!started(name)) return 0;
        if (!device::set_paused(paused))
            return fail(std::string(name) + ": no module is chosen to play");
        lib().error.clear();
        return 1;
    } catch (const std::bad_alloc&) {
        return out_of_memory(name);
    }
}

}  // namespace
}  // namespace midas

extern "C" {

int MIDASstartup(void) {
    try {
        auto& l = lib();
        if (!l.exit_hook) {
            l.exit_hook = std::atexit(midas::exit_hook) == 0;
            if (!l.exit_hook) return midas::fail("cannot register the exit clean-up");
        }
        l.error.clear();
        if (l.state == State::closed) l.state = State::started;
        return 1;
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASstartup");
    }
}

int MIDASinit(void) {
    try {
        auto& l = lib();
        if (l.state == State::closed) return midas::fail("MIDASinit before MIDASstartup");
        l.error.clear();
        if (l.state == State::started) {
            // Out of memory on the way is one more reason to play silently
            try {
                midas::device::open_output(l.error);
            } catch (const std::bad_alloc&) {
                midas::out_of_memory("MIDASinit, playing silently");
                if (!midas::audio_open()) midas::device::close_output();
            }
            l.state = State::initialised;
        }
        return 1;
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASinit");
    }
}

int MIDASstartBackgroundPlay(unsigned rate) {
    // The device paces the player, so there is no rate of ours to set: any value is accepted
    (void)rate;
    auto& l = lib();
    if (l.state == State::closed || l.state == State::started) {
        try {
            return midas::fail("MIDASstartBackgroundPlay before MIDASinit");
        } catch (const std::bad_alloc&) {
            return midas::out_of_memory("MIDASstartBackgroundPlay");
        }
    }
    l.error.clear();
    if (l.state == State::initialised) {
        midas::device::start_output();
        l.state = State::playing;
    }
    return 1;
}

MIDASmodule MIDASloadModule(const char* file_name) {
    try {
        auto& l = lib();
        if (l.state == State::closed)
            return midas::fail("MIDASloadModule before MIDASstartup"), nullptr;
        if (!file_name) return midas::fail("MIDASloadModule without a file name"), nullptr;
        std::vector<uint8_t> bytes;
        if (!midas::device::read_module(file_name, bytes, l.error)) return nullptr;
        midas::Module m(midas::device::load_module(file_name, bytes, l.error));
        if (!m) return nullptr;
        l.modules.push_back(std::move(m));
        l.error.clear();
        return l.modules.back().get();
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASloadModule"), nullptr;
    }
}

MIDASmodulePlayHandle MIDASplayModule(MIDASmodule module, int loop_song) {
    try {
        auto& l = lib();
        if (l.state == State::closed || l.state == State::started)
            return MIDASmodulePlayHandle(midas::fail("MIDASplayModule before MIDASinit"));
        // A null module (a load that failed) or one not ours (freed by a close) plays nothing
        if (!midas::known(module))
            return MIDASmodulePlayHandle(midas::fail(module
                                                         ? "MIDASplayModule with an unknown module"
                                                         : "MIDASplayModule with no module"));
        if (!midas::device::play_module(module, loop_song == 1, l.state == State::playing, l.error))
            return 0;
        l.error.clear();
        return ++l.last_handle == 0 ? ++l.last_handle : l.last_handle;
    } catch (const std::bad_alloc&) {
        return MIDASmodulePlayHandle(midas::out_of_memory("MIDASplayModule"));
    }
}

int MIDASstopBackgroundPlay(void) {
    auto& l = lib();
    midas::device::stop_module();
    if (l.state == State::playing) {
        midas::device::pause_output();
        l.state = State::initialised;
    }
    return 1;
}

int MIDASclose(void) {
    midas::shut_down();
    return 1;
}

const char* MIDASerrorText(void) { return lib().error.c_str(); }

// ---- steering the music ----

int MIDASsetVolume(int volume) {
    try {
        if (!midas::started("MIDASsetVolume")) return 0;
        if (volume < 0 || volume > 100)
            return midas::fail("MIDASsetVolume: volume " + std::to_string(volume) +
                               " is out of range (0 to 100)");
        midas::device::set_volume(volume);
        lib().error.clear();
        return 1;
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASsetVolume");
    }
}

int MIDASpause(void) { return midas::set_paused(true, "MIDASpause"); }

int MIDASresume(void) { return midas::set_paused(false, "MIDASresume"); }

int MIDASgetPosition(int* order, int* row, double* seconds) {
    try {
        if (!midas::started("MIDASgetPosition")) return 0;
        midas::device::Position where;
        if (!midas::device::position(where))
            return midas::fail("MIDASgetPosition: no module is chosen to play");
        if (order) *order = where.order;
        if (row) *row = where.row;
        if (seconds) *seconds = where.seconds;
        lib().error.clear();
        return 1;
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASgetPosition");
    }
}

int MIDASsetPosition(int order) {
    try {
        auto& l = lib();
        if (!midas::started("MIDASsetPosition")) return 0;
        std::string why;
        if (!midas::device::jump(order, why)) return midas::fail("MIDASsetPosition: " + why);
        l.error.clear();
        return 1;
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASsetPosition");
    }
}

const char* MIDASgetTitle(MIDASmodule module) {
    try {
        if (!midas::known(module))
            return midas::fail(module ? "MIDASgetTitle with an unknown module"
                                      : "MIDASgetTitle with no module"),
                   nullptr;
        lib().error.clear();
        return midas::device::title(module);
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASgetTitle"), nullptr;
    }
}

int MIDASgetLength(MIDASmodule module, int* orders, double* seconds) {
    try {
        if (!midas::known(module))
            return midas::fail(module ? "MIDASgetLength with an unknown module"
                                      : "MIDASgetLength with no module");
        int count = 0;
        double time = 0;
        midas::device::length(module, count, time);
        if (orders) *orders = count;
        if (seconds) *seconds = time;
        lib().error.clear();
        return 1;
    } catch (const std::bad_alloc&) {
        return midas::out_of_memory("MIDASgetLength");
    }
}

}  // extern "C"
