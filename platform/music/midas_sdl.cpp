// The music library's device on the desktop (music_device.h): libxmp plays the modules, SDL2
// audio carries the sound out; the entries and their states are midas_state.cpp's. Each loaded
// module has its own player context; one of them at a time is chosen to play, and the SDL
// audio callback asks that context for exactly the bytes the device wants.
// Audio comes up through SDL's audio subsystem alone, counted by reference, so a display
// library using SDL video in the same process is never disturbed (we never call SDL_Quit).
// With no audio device the library stays silent and every entry still succeeds.

#include <SDL.h>
#include <xmp.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/midas.h"
#include "platform/music/mixer.h"
#include "platform/music/module_check.h"
#include "platform/music/music_device.h"
#include "platform/music/xm_check.h"
#include "platform/offline_sound.h"
#include "platform/os/file_read.h"
#include "platform/os/probe.h"

// A loaded module: its own player context, and how it plays once chosen
struct midas_module {
    xmp_context player = nullptr;
    bool started = false;  // the player runs (xmp_start_player succeeded)
    bool ended = false;    // played to its end without looping; mixes silence from then on
    int loops = 0;         // libxmp's loop limit: 0 loops for ever, 1 plays once
    std::string title;     // as the module names itself
    int orders = 0;        // entries of its order list
    double seconds = 0;    // one pass, as the player's scan of the module found it

    ~midas_module() {
        if (started) xmp_end_player(player);
        if (player) {
            xmp_release_module(player);
            xmp_free_context(player);
        }
    }
};

namespace midas {
namespace {

// SDL's reason for its last failure. SDL has none to give (a null) when memory ran out even
// for the text of one, and a null must never become a string.
const char* sdl_reason() {
    const char* reason = SDL_GetError();
    return reason && *reason ? reason : "SDL gave no reason (out of memory?)";
}

using device::max_module_bytes;

// The output's state. Plain values with nothing to destroy: the library's exit hook may run
// after static destructors have started.
struct Output {
    bool audio_subsystem = false;     // our reference on SDL's audio subsystem
    SDL_AudioDeviceID device = 0;     // 0: no device, silence
    midas_module* current = nullptr;  // chosen to play; read by the audio callback
    int volume = 100;                 // percent of the module's own level
    bool paused = false;              // the chosen module is held: silence, position kept
};

Output& sound() {
    static Output output;
    return output;
}

// Guards `current` and the chosen module's player against the audio callback
class AudioLock {
public:
    AudioLock() : device(sound().device) {
        if (device) SDL_LockAudioDevice(device);
    }
    ~AudioLock() {
        if (device) SDL_UnlockAudioDevice(device);
    }
    AudioLock(const AudioLock&) = delete;
    AudioLock& operator=(const AudioLock&) = delete;

private:
    SDL_AudioDeviceID device;
};

// The mixer proper; the caller holds the audio lock or is the audio callback
void mix_unlocked(uint8_t* out, int bytes) {
    if (bytes <= 0) return;
    const Output& o = sound();
    midas_module* m = o.current;
    if (!m || !m->started || m->ended || o.paused) {
        std::memset(out, 0, static_cast<size_t>(bytes));
        return;
    }
    // libxmp pads with silence when the module ends inside the buffer; when it ends at the
    // buffer's start it returns an error and leaves the buffer alone, so we clear it
    if (xmp_play_buffer(m->player, out, bytes, m->loops) < 0) {
        std::memset(out, 0, static_cast<size_t>(bytes));
        if (m->loops > 0) m->ended = true;
        return;
    }
    if (o.volume != 100) {
        const int count = bytes / 2;
        for (int i = 0; i < count; ++i) {
            std::int16_t sample;
            std::memcpy(&sample, out + 2 * i, 2);
            sample = static_cast<std::int16_t>(sample * o.volume / 100);
            std::memcpy(out + 2 * i, &sample, 2);
        }
    }
}

void SDLCALL audio_callback(void*, Uint8* stream, int len) { mix_unlocked(stream, len); }

// ---- opening the device off the caller's thread ----
//
// Opening audio can wait on a sound server without bound: one that accepts the connection and
// never answers holds SDL's driver start-up for tens of seconds, and the program with it (its
// console already open, its signals only noted). So the device is opened on a thread of its
// own, and MIDASinit waits for it at most open_limit_ms. Past that the library plays silently;
// the opener, should it ever return, closes what it opened. While an abandoned opener is still
// inside SDL no other is started (SDL's audio start-up is not made to run twice at once), so a
// later MIDASinit is silent too.

constexpr int open_limit_ms = 2000;

// What the opener hands over; shared by the opener and the library, guarded by `lock`
struct Opening {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;       // the opener has returned
    bool abandoned = false;  // the library stopped waiting: the opener cleans up after itself
    bool subsystem = false;  // the opener holds a reference on SDL's audio subsystem
    SDL_AudioDeviceID device = 0;
    std::string error;
};

std::mutex opener_lock;
int audio_held = 0;  // abandoned openers and closers still inside SDL's audio; under opener_lock

// Waits at most limit_ms for a helper thread's job (opening or closing) to say it is done. In
// time: the thread is waited for to its end, so that SDL's per-thread state (its error text) is
// freed before we go on, not some time later. Too late: the job is marked abandoned and cleans
// up after itself, the thread is let go, and it counts as holding SDL's audio until it ends.
template <class Job>
bool finished_within(Job& job, SDL_Thread* thread, int limit_ms) {
    std::unique_lock<std::mutex> hold(job.lock);
    if (!job.finished.wait_for(hold, std::chrono::milliseconds(limit_ms),
                               [&] { return job.done; })) {
        job.abandoned = true;
        SDL_DetachThread(thread);
        std::lock_guard<std::mutex> stuck(opener_lock);
        ++audio_held;
        return false;
    }
    hold.unlock();
    SDL_WaitThread(thread, nullptr);
    return true;
}

// The opener's thread, made by SDL so that SDL's per-thread state is freed when it ends
int SDLCALL opener(void* data) {
    const std::unique_ptr<std::shared_ptr<Opening>> owned(
        static_cast<std::shared_ptr<Opening>*>(data));
    const std::shared_ptr<Opening>& opening = *owned;
    bool subsystem = false;
    SDL_AudioDeviceID device = 0;
    std::string error;
    try {
        // No audio driver or no device is not an error: the demo plays on in silence
        SDL_SetMainReady();  // the program's entry is its own, not SDL's main wrapper
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = std::string("no audio, playing silently: ") + sdl_reason();
        } else {
            subsystem = true;
            SDL_AudioSpec want;
            SDL_zero(want);
            want.freq = output_rate;
            want.format = AUDIO_S16SYS;
            want.channels = 2;
            // About 5.8 ms a buffer. Closing the device waits for SDL's audio thread to end,
            // and that thread notices only between buffers: after up to two buffer periods
            // (at 1024 frames the program took about 50 ms to end after its key, at 256
            // about 11 ms)
            want.samples = 256;
            want.callback = audio_callback;
            SDL_AudioSpec have;
            // No changes allowed: SDL converts to whatever the hardware wants, so the mixer
            // always produces the one format above
            device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
            if (!device) error = std::string("no audio device, playing silently: ") + sdl_reason();
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    std::lock_guard<std::mutex> hold(opening->lock);
    if (opening->abandoned) {
        if (device) SDL_CloseAudioDevice(device);
        if (subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        std::lock_guard<std::mutex> stuck(opener_lock);
        --audio_held;
    } else {
        opening->subsystem = subsystem;
        opening->device = device;
        opening->error.swap(error);
    }
    opening->done = true;
    opening->finished.notify_all();
    return 0;
}

// ---- closing the device off the caller's thread ----
//
// Closing waits for SDL's audio thread, and a sound server that stops answering while we play
// holds that thread inside its driver until the server answers again: the program would wait
// at its end as long. So the device is paused first, under its lock, after which the callback
// never runs again and nothing of ours is touched by SDL; then it is closed on a thread of its
// own, waited for at most close_limit_ms. Past that the closer is left to finish when it can,
// the output counts as closed, and no opener is started while the closer is inside SDL.

constexpr int close_limit_ms = 2000;

// What the closer closes; shared by the closer and the library, guarded by `lock`
struct Closing {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    SDL_AudioDeviceID device = 0;
    bool subsystem = false;
};

void close_now(SDL_AudioDeviceID device, bool subsystem) {
    // Waits for the audio thread to finish, so the callback never runs again
    if (device) SDL_CloseAudioDevice(device);
    if (subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int SDLCALL closer(void* data) {
    const std::unique_ptr<std::shared_ptr<Closing>> owned(
        static_cast<std::shared_ptr<Closing>*>(data));
    Closing& closing = **owned;
    close_now(closing.device, closing.subsystem);
    std::lock_guard<std::mutex> hold(closing.lock);
    if (closing.abandoned) {
        std::lock_guard<std::mutex> stuck(opener_lock);
        --audio_held;
    }
    closing.done = true;
    closing.finished.notify_all();
    return 0;
}

void close_audio() {
    Output& l = sound();
    const SDL_AudioDeviceID device = l.device;
    const bool subsystem = l.audio_subsystem;
    if (!device && !subsystem) return;
    if (device) SDL_PauseAudioDevice(device, 1);
    l.device = 0;
    l.audio_subsystem = false;
    std::shared_ptr<Closing> closing;
    std::unique_ptr<std::shared_ptr<Closing>> handed;
    try {
        closing = std::make_shared<Closing>();
        handed = std::make_unique<std::shared_ptr<Closing>>(closing);
    } catch (const std::bad_alloc&) {
        close_now(device, subsystem);  // without a bound rather than not at all
        return;
    }
    closing->device = device;
    closing->subsystem = subsystem;
    SDL_Thread* thread = SDL_CreateThread(closer, "audio closer", handed.get());
    if (!thread) {
        close_now(device, subsystem);
        return;
    }
    handed.release();  // the thread's now
    finished_within(*closing, thread, close_limit_ms);
}

void open_audio(std::string& error) {
    Output& l = sound();
    if (!audio_output_possible()) {
        error = "no audio, playing silently: no sound card or sound server here";
        return;
    }
    {
        std::lock_guard<std::mutex> stuck(opener_lock);
        if (audio_held > 0) {
            error = "no audio, playing silently: the sound system did not answer before";
            return;
        }
    }
    auto opening = std::make_shared<Opening>();
    auto handed = std::make_unique<std::shared_ptr<Opening>>(opening);
    SDL_Thread* thread = SDL_CreateThread(opener, "audio opener", handed.get());
    if (!thread) {
        error = std::string("no audio, playing silently: cannot start the audio opener: ") +
                sdl_reason();
        return;
    }
    handed.release();  // the thread's now
    if (!finished_within(*opening, thread, open_limit_ms)) {
        error = "no audio, playing silently: the sound system did not answer within " +
                std::to_string(open_limit_ms / 1000) + " s";
        return;
    }
    l.audio_subsystem = opening->subsystem;
    l.device = opening->device;
    error = opening->error;
    // A subsystem without a device is of no use: give it back
    if (!l.device) close_audio();
}

// Reads a whole file, refusing what cannot be a module we play (a FIFO, a device, a folder)
// before anything is read; see os::read_regular_file.
bool read_file(const char* name, std::vector<uint8_t>& bytes, std::string& error) {
    std::string reason;
    const char* refused = nullptr;
    switch (os::read_regular_file(name, max_module_bytes, bytes, reason)) {
        case os::FileRead::done:
            return true;
        case os::FileRead::cannot_open:
            error = std::string("cannot open module ") + name + ": " + reason;
            return false;
        case os::FileRead::cannot_examine:
            refused = "cannot be examined";
            break;
        case os::FileRead::not_a_file:
            refused = "is not a file";
            break;
        case os::FileRead::empty:
            refused = "is empty";
            break;
        case os::FileRead::too_large:
            refused = "is too large";
            break;
        case os::FileRead::no_memory:
            error = std::string("not enough memory to read module ") + name;
            return false;
        case os::FileRead::cannot_read:
            error = std::string("cannot read module ") + name;
            return false;
    }
    error = std::string("module ") + name + " " + (refused ? refused : "cannot be read");
    return false;
}

// The player library does not survive every one of its own allocations failing (one of its
// first, while loading, is used without a look), so what it is handed is bounded and the
// memory it will need is asked for first: the sample data a module declares (decoded) is
// capped, and a block of about what the load will take must be free just before it. What
// remains: memory that runs out between that look and the load (another thread taking it)
// can still end the program inside the player library.
constexpr uint64_t max_sample_bytes = 256ull << 20;
constexpr uint64_t pattern_allowance = 8ull << 20;  // expanded patterns, player and mixer state

const char* memory_for_player(Format format, const std::vector<uint8_t>& bytes) {
    const uint64_t samples = declared_sample_bytes(format, bytes.data(), bytes.size());
    if (samples > max_sample_bytes) return "it declares more sample data than we play (256 MiB)";
    // Samples may be held twice while the player converts them
    if (!os::memory_available(2 * samples + pattern_allowance)) {
        return "not enough memory to load it";
    }
    return nullptr;
}

const char* xmp_error_text(int code) {
    switch (-code) {
        case XMP_ERROR_FORMAT:
            return "not a module format we can play";
        case XMP_ERROR_LOAD:
            return "the module is corrupt";
        case XMP_ERROR_DEPACK:
            return "the module cannot be unpacked";
        case XMP_ERROR_SYSTEM:
            return "a system error while loading";
        default:
            return "the module cannot be loaded";
    }
}

// ---- the offline render (platform/offline_sound.h) ----
//
// A recording pulls the sound frame by frame through the same mixer the device's callback
// uses, so what it gets is exactly what would have been heard, and no device plays meanwhile.

long long offline_pass_length() {
    AudioLock lock;
    midas_module* m = sound().current;
    if (!m || !m->started) return -1;
    xmp_frame_info info;
    xmp_get_frame_info(m->player, &info);
    if (info.total_time <= 0) return -1;
    return static_cast<long long>(info.total_time) * output_rate / 1000;
}

void offline_render(std::int16_t* samples, int frames) {
    AudioLock lock;
    mix_unlocked(reinterpret_cast<uint8_t*>(samples), frames * output_frame_bytes);
}

void offline_take_over() { close_audio(); }

const trelk_offline_sound offline_sound = {output_rate, offline_pass_length, offline_render,
                                           offline_take_over};

}  // namespace

bool audio_open() { return sound().device != 0; }
bool module_playing() {
    AudioLock lock;
    const midas_module* m = sound().current;
    return m && m->started && !m->ended;
}

void mix(void* buffer, int bytes) {
    AudioLock lock;
    mix_unlocked(static_cast<uint8_t*>(buffer), bytes);
}

// Whether SDL is asked for audio at all (platform/os/probe.h says why)
bool audio_output_possible() { return os::audio_output_possible(); }

namespace device {

void open_output(std::string& error) {
    trelk_offline_sound_offer(&offline_sound);
    if (trelk_offline_sound_recording()) {
        error = "recording: the sound goes into the video, not to a device";
        return;
    }
    open_audio(error);
}

void close_output() {
    if (trelk_offline_sound_offered() == &offline_sound) trelk_offline_sound_offer(nullptr);
    close_audio();
    sound().current = nullptr;
    sound().paused = false;
    sound().volume = 100;
}

void start_output() {
    if (sound().device) SDL_PauseAudioDevice(sound().device, 0);
}

void pause_output() {
    if (sound().device) SDL_PauseAudioDevice(sound().device, 1);
}

bool read_module(const char* name, std::vector<uint8_t>& bytes, std::string& error) {
    return read_file(name, bytes, error);
}

midas_module* load_module(const char* name, std::vector<uint8_t>& bytes, std::string& error) {
    const Format format = module_format(bytes.data(), bytes.size());
    const char* why = format == Format::xm ? xm_truncation(bytes.data(), bytes.size())
                                           : module_truncation(format, bytes.data(), bytes.size());
    if (why) {
        error = std::string("module ") + name + " is corrupt: " + why;
        return nullptr;
    }
    if (const char* refused = memory_for_player(format, bytes)) {
        error = std::string("module ") + name + ": " + refused;
        return nullptr;
    }
    auto m = std::make_unique<midas_module>();
    m->player = xmp_create_context();
    if (!m->player) {
        error = "out of memory creating a player";
        return nullptr;
    }
    const int loaded =
        xmp_load_module_from_memory(m->player, bytes.data(), static_cast<long>(bytes.size()));
    if (loaded != 0) {
        // Nothing was loaded: only the context is freed
        xmp_free_context(m->player);
        m->player = nullptr;
        error = std::string("module ") + name + ": " + xmp_error_text(loaded);
        return nullptr;
    }
    // A module without channels makes the player loop for ever inside one xmp_play_buffer
    // (found by fuzzing: an XM header declaring 0 channels), which would hang the audio
    // thread and every entry that waits for it: refuse it like a corrupt file
    xmp_module_info info;
    xmp_get_module_info(m->player, &info);
    if (!info.mod || info.mod->chn < 1) {
        error = std::string("module ") + name + " has no channels";
        return nullptr;
    }
    m->title.assign(info.mod->name, strnlen(info.mod->name, sizeof info.mod->name));
    m->orders = info.mod->len;
    xmp_frame_info frame;
    xmp_get_frame_info(m->player, &frame);
    m->seconds = frame.total_time > 0 ? frame.total_time / 1000.0 : 0;
    return m.release();
}

void free_module(midas_module* module) { delete module; }

bool play_module(midas_module* m, bool loop, bool running, std::string& error) {
    (void)running;  // the device's callback plays whatever is chosen once it is unpaused
    Output& l = sound();
    AudioLock lock;
    if (l.current && l.current != m && l.current->started) {
        xmp_end_player(l.current->player);
        l.current->started = false;
    }
    l.current = nullptr;
    // Playing a module again starts it over
    if (m->started) {
        xmp_end_player(m->player);
        m->started = false;
    }
    const int started = xmp_start_player(m->player, output_rate, 0);
    if (started != 0) {
        error = "the player cannot start the module";
        return false;
    }
    m->started = true;
    m->ended = false;
    m->loops = loop ? 0 : 1;
    l.current = m;
    l.paused = false;
    return true;
}

void stop_module() {
    Output& l = sound();
    AudioLock lock;
    if (l.current && l.current->started) {
        xmp_end_player(l.current->player);
        l.current->started = false;
    }
    l.current = nullptr;
    l.paused = false;
}

void set_volume(int volume) {
    AudioLock lock;
    sound().volume = volume;
}

bool set_paused(bool paused) {
    AudioLock lock;
    if (!sound().current) return false;
    sound().paused = paused;
    return true;
}

bool position(Position& where) {
    AudioLock lock;
    midas_module* m = sound().current;
    if (!m) return false;
    xmp_frame_info info;
    xmp_get_frame_info(m->player, &info);
    where.order = info.pos;
    where.row = info.row;
    where.seconds = info.time / 1000.0;
    return true;
}

bool jump(int order, std::string& error) {
    AudioLock lock;
    midas_module* m = sound().current;
    if (!m) {
        error = "no module is chosen to play";
        return false;
    }
    if (order < 0 || order >= m->orders) {
        error = "order " + std::to_string(order) + " is out of range (0 to " +
                std::to_string(m->orders - 1) + ")";
        return false;
    }
    // A module played once to its end starts its player again, to play on from the order
    if (m->ended) {
        xmp_end_player(m->player);
        m->started = false;
        if (xmp_start_player(m->player, output_rate, 0) != 0) {
            sound().current = nullptr;
            error = "the player cannot start the module again";
            return false;
        }
        m->started = true;
        m->ended = false;
    }
    if (xmp_set_position(m->player, order) < 0) {
        error = "the player cannot jump to order " + std::to_string(order);
        return false;
    }
    return true;
}

const char* title(midas_module* module) { return module->title.c_str(); }

void length(midas_module* module, int& orders, double& seconds) {
    orders = module->orders;
    seconds = module->seconds;
}

}  // namespace device
}  // namespace midas
