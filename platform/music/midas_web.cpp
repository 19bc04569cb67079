// The music library's device in the browser (music_device.h): the entries and their states are
// midas_state.cpp's, as on the desktop; the sound is made by the page's module player
// (web/music.js: libxmp too, compiled on its own and run in an AudioWorklet) instead of
// libxmp here and SDL audio.
//
// Decisions for the browser:
// - Modules are read from the program's files like on the desktop, and only XM modules are
//   accepted, checked chunk by chunk before they are handed over (the page's player loads
//   them on the audio thread, too late for MIDASloadModule to answer null), so a missing,
//   empty, cut short or foreign file still loads as null.
// - Browsers start sound only after the person has pressed a key, clicked or tapped: until
//   then the page's player holds the module and plays nothing, then starts it from its
//   beginning. A page without a player, or a browser that blocks audio, is silence, never an
//   error: every entry still succeeds.
// - MIDASplayModule gives the player a copy of the module's bytes; stopping background play
//   stops it, and MIDASclose (or the exit hook when the program skips it) frees everything.
// - Volume, pause and jumps are messages to the player; the position is what the player last
//   told the page (ten times a second, and at once after a jump), and the length in seconds is
//   known once the player has the module.
#include <emscripten.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/midas.h"
#include "platform/music/mixer.h"
#include "platform/music/music_device.h"
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

EM_JS(void, web_music_steer, (int volume, int paused), {
    const music = Module['trelkMusic'];
    if (music) music['steer'](volume, paused != 0);
});

EM_JS(void, web_music_jump, (int order), {
    const music = Module['trelkMusic'];
    if (music) music['jump'](order);
});

// Writes the order and row (ints) and the seconds (a double) where the player last said it was
EM_JS(void, web_music_where, (int* order, int* row, double* seconds), {
    const music = Module['trelkMusic'];
    const where = music ? music['where']() : {order: 0, row: 0, seconds: 0};
    HEAP32[order >> 2] = where['order'];
    HEAP32[row >> 2] = where['row'];
    HEAPF64[seconds >> 3] = where['seconds'];
});

EM_JS(double, web_music_length, (), {
    const music = Module['trelkMusic'];
    return music ? music['length']() : 0;
});
// clang-format on

struct midas_module {
    std::vector<uint8_t> bytes;  // the XM file, handed to the page's player when played
    bool loop = false;
    std::string title;  // from the XM header
    int orders = 0;     // the song length the XM header gives
};

namespace midas {
namespace {

struct Output {
    bool player = false;              // the page has a module player
    midas_module* current = nullptr;  // chosen to play
    bool running = false;             // background play: the player sounds
    int volume = 100;
    bool paused = false;
};

Output& sound() {
    static Output output;
    return output;
}

// Sound is made only in background play, as on the desktop
void start_current() {
    const midas_module* m = sound().current;
    if (m && sound().running)
        web_music_play(m->bytes.data(), static_cast<int>(m->bytes.size()), m->loop ? 1 : 0);
}

}  // namespace

bool audio_open() { return sound().player; }
bool audio_output_possible() { return web_music_available() != 0; }
bool module_playing() { return sound().current != nullptr; }

// The page's player makes the sound on its own thread: nothing is mixed here
void mix(void* buffer, int bytes) {
    if (bytes > 0) std::memset(buffer, 0, static_cast<size_t>(bytes));
}

namespace device {

void open_output(std::string& error) {
    sound().player = audio_output_possible();
    if (!sound().player) error = "no audio, playing silently: this page has no module player";
}

void close_output() {
    Output& l = sound();
    if (l.current) web_music_stop();
    l.current = nullptr;
    l.player = false;
    l.running = false;
    l.volume = 100;
    l.paused = false;
    web_music_steer(l.volume, 0);
}

void start_output() {
    sound().running = true;
    start_current();
}

void pause_output() { sound().running = false; }

bool read_module(const char* name, std::vector<uint8_t>& bytes, std::string& error) {
    const auto fail = [&error](const std::string& why) {
        error = why;
        return false;
    };
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

midas_module* load_module(const char* name, std::vector<uint8_t>& bytes, std::string& error) {
    if (!looks_like_xm(bytes.data(), bytes.size())) {
        error = std::string("module ") + name + ": not an XM module";
        return nullptr;
    }
    if (const char* why = xm_truncation(bytes.data(), bytes.size())) {
        error = std::string("module ") + name + " is corrupt: " + why;
        return nullptr;
    }
    auto m = std::make_unique<midas_module>();
    // The title is 20 bytes from offset 17, padded with spaces or zeros; the song length in
    // orders a 16-bit number at offset 64 (xm_truncation has seen the first 64 bytes)
    const char* title = reinterpret_cast<const char*>(bytes.data() + 17);
    size_t length = strnlen(title, 20);
    while (length > 0 && title[length - 1] == ' ') --length;
    m->title.assign(title, length);
    m->orders = bytes.size() >= 66 ? bytes[64] | bytes[65] << 8 : 0;
    m->bytes.swap(bytes);
    return m.release();
}

void free_module(midas_module* module) { delete module; }

bool play_module(midas_module* m, bool loop, bool running, std::string&) {
    Output& l = sound();
    // Playing a module again starts it over; the player replaces whatever it played
    if (l.current) web_music_stop();
    m->loop = loop;
    l.current = m;
    l.running = running;
    l.paused = false;
    web_music_steer(l.volume, 0);
    start_current();
    return true;
}

void stop_module() {
    Output& l = sound();
    if (l.current) web_music_stop();
    l.current = nullptr;
    l.paused = false;
}

void set_volume(int volume) {
    sound().volume = volume;
    web_music_steer(volume, sound().paused ? 1 : 0);
}

bool set_paused(bool paused) {
    Output& l = sound();
    if (!l.current) return false;
    l.paused = paused;
    web_music_steer(l.volume, paused ? 1 : 0);
    return true;
}

bool position(Position& where) {
    if (!sound().current) return false;
    web_music_where(&where.order, &where.row, &where.seconds);
    return true;
}

bool jump(int order, std::string& error) {
    const midas_module* m = sound().current;
    if (!m) {
        error = "no module is chosen to play";
        return false;
    }
    if (order < 0 || order >= m->orders) {
        error = "order " + std::to_string(order) + " is out of range (0 to " +
                std::to_string(m->orders - 1) + ")";
        return false;
    }
    web_music_jump(order);
    return true;
}

const char* title(midas_module* module) { return module->title.c_str(); }

// The seconds are the page's player's, known once it has the module: for the one it plays
void length(midas_module* module, int& orders, double& seconds) {
    orders = module->orders;
    seconds = module == sound().current ? web_music_length() : 0;
}

}  // namespace device
}  // namespace midas
