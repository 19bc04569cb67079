// The music library in the browser: the entries of platform/midas.h with the same states and
// the same answers as the desktop library (see State in mixer.h), the sound made by the page's
// module player (web/music.js, an AudioWorklet player) instead of libxmp and SDL audio.
//
// Decisions for the browser:
// - Modules are read from the program's files like on the desktop, and only XM modules are
//   accepted, checked chunk by chunk before they are handed over (the page's player decodes
//   them on its own thread, too late for MIDASloadModule to answer null), so a missing, empty,
//   cut short or foreign file still loads as null.
// - Browsers start sound only after the person has pressed a key or clicked: until then the
//   page's player holds the module and plays nothing, then starts it from where the song is
//   by then. A page without a player, or a browser that blocks audio, is silence, never an
//   error: every entry still succeeds.
// - MIDASplayModule gives the player a copy of the module's bytes; stopping background play
//   stops it, and MIDASclose (or the exit hook when the program skips it) frees everything.
#include <emscripten.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/midas.h"
#include "platform/music/mixer.h"
#include "platform/music/xm_check.h"

// The player's names are quoted: web/music.js makes them outside the runtime, whose own names
// the link's Closure Compiler shortens.
// clang-format off
EM_JS(int, web_music_available, (), {
    return Module['trelkMusic'] ? 1 : 0;
});

EM_JS(void, web_music_play, (const void* bytes, int size, int loop), {
    const music = Module['trelkMusic'];
    if (music) music['play'](HEAPU8.slice(bytes, bytes + size), loop != 0);
});

EM_JS(void, web_music_stop, (), {
    const music = Module['trelkMusic'];
    if (music) music['stop']();
});
// clang-format on

struct midas_module {
    std::vector<uint8_t> bytes;  // the XM file, handed to the page's player when played
    bool loop = false;
};

namespace midas {
namespace {

constexpr long max_module_bytes = 64L << 20;

struct Library {
    State state = State::closed;
    bool player = false;  // the page has a module player
    std::vector<std::unique_ptr<midas_module>> modules;
    midas_module* current = nullptr;
    unsigned last_handle = 0;
    bool exit_hook = false;
    std::string error;
};

Library& lib() {
    static Library* library = new Library;
    return *library;
}

int fail(const std::string& why) {
    lib().error = why;
    return 0;
}

void shut_down() {
    Library& l = lib();
    if (l.current) web_music_stop();
    l.current = nullptr;
    l.modules.clear();
    l.player = false;
    l.state = State::closed;
}

void exit_hook() { shut_down(); }

// Sound is made only in background play, as on the desktop
void start_current() {
    const midas_module* m = lib().current;
    if (m && lib().state == State::playing)
        web_music_play(m->bytes.data(), static_cast<int>(m->bytes.size()), m->loop ? 1 : 0);
}

midas_module* find(MIDASmodule m) {
    for (auto& owned : lib().modules)
        if (owned.get() == m) return owned.get();
    return nullptr;
}

bool read_file(const char* name, std::vector<uint8_t>& bytes) {
    struct stat st;
    if (stat(name, &st) != 0)
        return fail(std::string("cannot open module ") + name + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail(std::string("module ") + name + " is not a file");
    if (st.st_size == 0) return fail(std::string("module ") + name + " is empty");
    if (st.st_size > max_module_bytes) return fail(std::string("module ") + name + " is too large");
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return fail(std::string("cannot open module ") + name + ": " + std::strerror(errno));
    bytes.resize(static_cast<size_t>(st.st_size));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) return fail(std::string("cannot read module ") + name);
    return true;
}

}  // namespace

State state() { return lib().state; }
bool audio_open() { return lib().player; }
bool audio_output_possible() { return web_music_available() != 0; }
size_t module_count() { return lib().modules.size(); }
bool module_playing() { return lib().current != nullptr; }

// The page's player makes the sound on its own thread: nothing is mixed here
void mix(void* buffer, int bytes) {
    if (bytes > 0) std::memset(buffer, 0, static_cast<size_t>(bytes));
}

}  // namespace midas

using midas::lib;
using midas::State;

extern "C" {

int MIDASstartup(void) {
    auto& l = lib();
    if (!l.exit_hook) {
        l.exit_hook = std::atexit(midas::exit_hook) == 0;
        if (!l.exit_hook) return midas::fail("cannot register the exit clean-up");
    }
    l.error.clear();
    if (l.state == State::closed) l.state = State::started;
    return 1;
}

int MIDASinit(void) {
    auto& l = lib();
    if (l.state == State::closed) return midas::fail("MIDASinit before MIDASstartup");
    l.error.clear();
    if (l.state == State::started) {
        l.player = midas::audio_output_possible();
        if (!l.player) l.error = "no audio, playing silently: this page has no module player";
        l.state = State::initialised;
    }
    return 1;
}

int MIDASstartBackgroundPlay(unsigned rate) {
    (void)rate;  // the page's audio paces the player
    auto& l = lib();
    if (l.state == State::closed || l.state == State::started)
        return midas::fail("MIDASstartBackgroundPlay before MIDASinit");
    l.error.clear();
    if (l.state == State::initialised) {
        l.state = State::playing;
        midas::start_current();
    }
    return 1;
}

MIDASmodule MIDASloadModule(const char* file_name) {
    auto& l = lib();
    if (l.state == State::closed)
        return midas::fail("MIDASloadModule before MIDASstartup"), nullptr;
    if (!file_name) return midas::fail("MIDASloadModule without a file name"), nullptr;
    auto m = std::make_unique<midas_module>();
    if (!midas::read_file(file_name, m->bytes)) return nullptr;
    if (!midas::looks_like_xm(m->bytes.data(), m->bytes.size()))
        return midas::fail(std::string("module ") + file_name + ": not an XM module"), nullptr;
    if (const char* why = midas::xm_truncation(m->bytes.data(), m->bytes.size()))
        return midas::fail(std::string("module ") + file_name + " is corrupt: " + why), nullptr;
    l.modules.push_back(std::move(m));
    l.error.clear();
    return l.modules.back().get();
}

MIDASmodulePlayHandle MIDASplayModule(MIDASmodule module, int loop_song) {
    auto& l = lib();
    if (l.state == State::closed || l.state == State::started)
        return midas::fail("MIDASplayModule before MIDASinit");
    midas_module* m = midas::find(module);
    if (!m)
        return midas::fail(module ? "MIDASplayModule with an unknown module"
                                  : "MIDASplayModule with no module");
    // Playing a module again starts it over; the player replaces whatever it played
    if (l.current) web_music_stop();
    m->loop = loop_song == 1;
    l.current = m;
    midas::start_current();
    l.error.clear();
    return ++l.last_handle == 0 ? ++l.last_handle : l.last_handle;
}

int MIDASstopBackgroundPlay(void) {
    auto& l = lib();
    if (l.current) web_music_stop();
    l.current = nullptr;
    if (l.state == State::playing) l.state = State::initialised;
    return 1;
}

int MIDASclose(void) {
    midas::shut_down();
    return 1;
}

const char* MIDASerrorText(void) { return lib().error.c_str(); }

}  // extern "C"
