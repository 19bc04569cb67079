// What the music library's state machine (midas_state.cpp) asks of the platform it plays on:
// the sound output, and the modules in the platform's own player. One implementation per
// platform: midas_sdl.cpp (libxmp and SDL2 audio on the desktop), midas_web.cpp (the page's
// module player in the browser). The state machine calls these only in the states its entries
// allow, so a device keeps no state of the library's own.
//
// Where a call can fail or go silent it writes why into `error`; the state machine hands that
// on through MIDASerrorText(). A call may throw std::bad_alloc; the state machine turns that
// into its out-of-memory answer.
#ifndef PLATFORM_MUSIC_MUSIC_DEVICE_H
#define PLATFORM_MUSIC_MUSIC_DEVICE_H

#include <cstdint>
#include <string>
#include <vector>

struct midas_module;  // a loaded module, defined by each platform

namespace midas {
namespace device {

// Files larger than this are not modules we would play; it bounds the read
constexpr long max_module_bytes = 64L << 20;

// Opens the output, paused. No output is not a failure: the library plays silently, and
// `error` says why.
void open_output(std::string& error);
// Gives the output back and forgets the chosen module, from any state (MIDASclose and the
// exit hook); harmless when nothing is open
void close_output();
// Lets the output pull sound (background play), or holds it again
void start_output();
void pause_output();

// Reads a module file whole; false, with `error` saying why, for a file that cannot be a module
bool read_module(const char* name, std::vector<uint8_t>& bytes, std::string& error);
// Makes a module of the file's bytes; null, with `error` saying why, for one the player
// refuses. `name` is for the messages.
midas_module* load_module(const char* name, std::vector<uint8_t>& bytes, std::string& error);
void free_module(midas_module* module);  // never the one chosen to play (stop it first)

// Chooses `module` to play from its start, in place of any module chosen before; sound comes
// once the output is started (`running`: it is already). False, with `error`, when it cannot.
bool play_module(midas_module* module, bool loop, bool running, std::string& error);
void stop_module();  // stops the chosen module, if any, and chooses none

// Steering the chosen module. The volume (0 to 100) holds for every module played until
// close_output, which sets it back to 100; a pause ends when the module is played again or
// stopped. False when no module is chosen.
void set_volume(int volume);
bool set_paused(bool paused);
struct Position {
    int order = 0, row = 0;
    double seconds = 0;
};
bool position(Position& where);
// False, with `error`, for an order out of range or no module chosen
bool jump(int order, std::string& error);

// What a loaded module is: its title (valid while it lives), the entries of its order list,
// and the seconds of one pass (0 when the player cannot tell)
const char* title(midas_module* module);
void length(midas_module* module, int& orders, double& seconds);

}  // namespace device
}  // namespace midas

#endif
