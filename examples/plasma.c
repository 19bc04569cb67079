/* plasma: the entries called from C. A moving plasma of colours drawn into the console's pixels
   each frame until a key is pressed. An entry that fails calls the error handler installed here
   and then returns a neutral value; without a handler, a failure would end the program with its
   message and status 1. */
#include <stdint.h>
#include <stdio.h>

#include "trelk/library.h"

static void remember(const char* message, void* context) {
    (void)message;
    ++*(int*)context;
}

/* A smooth wave of period 64 from a table-free triangle, 0 to 255 */
static unsigned wave(int t) {
    const int phase = t & 63;
    return (unsigned)(phase < 32 ? phase * 8 : (63 - phase) * 8);
}

int main(void) {
    int errors = 0;
    trelk_handle console, format;
    int width, height, pitch, frame;

    trelk_set_error_handler(remember, &errors);
    console = trelk_console_create();
    format = trelk_format_create_direct(32, 0xff0000, 0xff00, 0xff, 0);
    trelk_console_open_format(console, "plasma", format, 0);
    if (errors) {
        fprintf(stderr, "plasma: %s\n", trelk_last_error());
        trelk_format_destroy(format);
        trelk_console_destroy(console);
        return 1;
    }
    width = trelk_console_width(console);
    height = trelk_console_height(console);

    for (frame = 0; !trelk_console_key(console) && !errors; ++frame) {
        uint8_t* pixels = trelk_console_lock(console);
        int x, y;
        pitch = trelk_console_pitch(console);
        for (y = 0; pixels && y < height; ++y) {
            uint32_t* row = (uint32_t*)(void*)(pixels + (long)y * pitch);
            for (x = 0; x < width; ++x) {
                const unsigned red = wave(x / 2 + frame);
                const unsigned green = wave(y / 2 + x / 4 - frame);
                const unsigned blue = wave((x + y) / 3 + frame * 2);
                row[x] = (uint32_t)(red << 16 | green << 8 | blue);
            }
        }
        trelk_console_unlock(console);
        trelk_console_update(console);
    }
    if (errors) fprintf(stderr, "plasma: %s\n", trelk_last_error());
    trelk_console_close(console);
    trelk_format_destroy(format);
    trelk_console_destroy(console);
    return errors ? 1 : 0;
}
