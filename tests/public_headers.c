/* The public headers that declare C functions are valid C: this file is compiled as C99, every
   warning an error. */
#include "platform/midas.h"
#include "trelk/display.h"
#include "trelk/graphics.h"
#include "trelk/input.h"
#include "trelk/keys.h"
#include "trelk/library.h"

/* Every kind of declaration used once, so the types must be C types */
int public_headers_in_c(void) {
    trelk_handle (*create)(int, int, int, int) = trelk_area_create;
    trelk_handle (*format)(int, uint32_t, uint32_t, uint32_t, uint32_t) =
        trelk_format_create_direct;
    void (*palette)(trelk_handle, const uint32_t[256]) = trelk_display_palette_set;
    int (*values)(trelk_handle, uint32_t[4]) = trelk_display_format_values;
    MIDASmodulePlayHandle (*play)(MIDASmodule, int) = MIDASplayModule;
    void (*size)(const char*, int*, int*) = trelk_text_size;
    int (*where)(int*, int*, double*) = MIDASgetPosition;
    int (*event)(trelk_handle, trelk_mouse_event*) = trelk_input_mouse_event;
    return (create != 0) + (format != 0) + (palette != 0) + (values != 0) + (play != 0) +
           (size != 0) + (where != 0) + (event != 0) + TRELK_KEY_ESCAPE + TRELK_MOUSE_WHEEL;
}
