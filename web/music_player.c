// The page's module player, run in its audio worklet (music_worklet.js): libxmp mixes the
// module as the desktop's music library has it mixed (44100 frames a second, 16-bit stereo,
// libxmp's own defaults), into a buffer the worklet turns into the browser's samples. Built
// on its own, without Emscripten's runtime, into kelvra-music.wasm; the worklet gives it the
// few system calls it names and nothing else.
#include <stdint.h>
#include <stdlib.h>

#define LIBXMP_STATIC  // linked in, not from a shared library: nothing of it exported
#define XMP_SYM_VISIBILITY
#include "xmp.h"

#define EXPORT __attribute__((used, visibility("default")))

static xmp_context player;
static int started;  // the module is loaded and its player runs
static int loops;    // 0: for ever; 1: once, then silence
static int ended;

EXPORT void* player_alloc(int bytes) { return malloc(bytes > 0 ? (size_t)bytes : 1); }
EXPORT void player_free(void* memory) { free(memory); }

EXPORT void player_stop(void) {
    if (!player) return;
    if (started) {
        xmp_end_player(player);
        xmp_release_module(player);
    }
    xmp_free_context(player);
    player = NULL;
    started = 0;
}

// Loads the module (size bytes) and starts it; 0 when it plays, else what went wrong:
// 1 no memory, 2 not a module libxmp plays, 3 a module without channels (libxmp would loop
// for ever inside one buffer), 4 the player would not start
EXPORT int player_start(const void* module, int size, int loop) {
    player_stop();
    player = xmp_create_context();
    if (!player) return 1;
    if (xmp_load_module_from_memory(player, module, size) != 0) {
        xmp_free_context(player);
        player = NULL;
        return 2;
    }
    struct xmp_module_info info;
    xmp_get_module_info(player, &info);
    int refused = !info.mod || info.mod->chn < 1 ? 3 : 0;
    if (!refused && xmp_start_player(player, 44100, 0) != 0) refused = 4;
    if (refused) {
        xmp_release_module(player);
        xmp_free_context(player);
        player = NULL;
        return refused;
    }
    started = 1;
    ended = 0;
    loops = loop ? 0 : 1;
    return 0;
}

// Mixes frames stereo frames into out; 1 while the module plays, 0 once it has ended (or none
// plays): the rest is silence
EXPORT int player_mix(int16_t* out, int frames) {
    const int bytes = frames * 4;
    if (!started || ended) {
        for (int i = 0; i < frames * 2; ++i) out[i] = 0;
        return 0;
    }
    // libxmp pads with silence when the module ends inside the buffer; when it ends at the
    // buffer's start it returns an error and leaves the buffer alone
    if (xmp_play_buffer(player, out, bytes, loops) < 0) {
        for (int i = 0; i < frames * 2; ++i) out[i] = 0;
        if (loops > 0) ended = 1;
        return ended ? 0 : 1;
    }
    return 1;
}

// Steering the module that plays: a jump to the start of an order (0 when done), and where
// the player is, as the order, the row and the milliseconds of song played, and how long one
// pass lasts in milliseconds
EXPORT int player_jump(int order) {
    if (!started) return 1;
    if (ended) {  // a module played once to its end: its player starts again, to play on
        xmp_end_player(player);
        if (xmp_start_player(player, 44100, 0) != 0) {
            xmp_release_module(player);
            xmp_free_context(player);
            player = NULL;
            started = 0;
            return 1;
        }
        ended = 0;
    }
    return xmp_set_position(player, order) < 0 ? 1 : 0;
}

EXPORT int player_order(void) {
    struct xmp_frame_info info;
    if (!started) return 0;
    xmp_get_frame_info(player, &info);
    return info.pos;
}

EXPORT int player_row(void) {
    struct xmp_frame_info info;
    if (!started) return 0;
    xmp_get_frame_info(player, &info);
    return info.row;
}

EXPORT int player_time(void) {
    struct xmp_frame_info info;
    if (!started) return 0;
    xmp_get_frame_info(player, &info);
    return info.time;
}

EXPORT int player_total_time(void) {
    struct xmp_frame_info info;
    if (!started) return 0;
    xmp_get_frame_info(player, &info);
    return info.total_time;
}
