/* The entries called from C, where no exception may arrive.
     c_errors handler   a returning handler: neutral results, the message kept, nothing changed;
                        a handler that jumps away with longjmp. Ends with 0 when all held.
     c_errors default   no handler: a stale handle ends the program with the message, status 1 */
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include "trelk/display.h"
#include "trelk/graphics.h"
#include "trelk/input.h"
#include "trelk/library.h"

static int failures = 0;
static int handled = 0;
static const char* handled_message = NULL;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                   \
        }                                                                                 \
    } while (0)

static void count(const char* message, void* context) {
    ++handled;
    handled_message = message;
    CHECK(context == &handled);
}

static jmp_buf escape;
static void jump(const char* message, void* context) {
    (void)message;
    (void)context;
    longjmp(escape, 1);
}

/* The drawing and image-file functions from C: each failure reaches the handler once, gives
   a neutral answer and leaves the pixels as they were (5 failures) */
static int graphics(trelk_handle surface, trelk_handle format, trelk_handle stale) {
    const int before = handled;
    int width = -1, height = -1;
    uint32_t* pixels = (uint32_t*)trelk_surface_lock(surface);
    const uint32_t corner = pixels[0];
    trelk_surface_unlock(surface);
    trelk_draw_line(stale, 0, 0, 15, 7, 0xffffffff);
    CHECK(strstr(trelk_last_error(), "handle") != NULL);
    trelk_draw_text(surface, 0, 0, NULL, 0xffffffff);
    CHECK(strstr(trelk_last_error(), "null text") != NULL);
    trelk_text_size("ab\nc", &width, &height);
    CHECK(width == 16 && height == 16);
    trelk_text_size("x", NULL, &height);
    CHECK(trelk_image_load("/no/such/picture.png", format) == NULL);
    CHECK(strstr(trelk_last_error(), "/no/such/picture.png") != NULL);
    trelk_image_save(surface, "/no/such/folder/picture.png");
    pixels = (uint32_t*)trelk_surface_lock(surface);
    CHECK(pixels[0] == corner);
    trelk_surface_unlock(surface);
    return handled == before + 5;
}

static int with_handler(void) {
    trelk_handle format, surface, area, stale;
    int values[4] = {7, 7, 7, 7};
    trelk_set_error_handler(count, &handled);
    CHECK(trelk_last_error() == NULL);

    format = trelk_format_create();
    surface = trelk_surface_create(16, 8, format);
    CHECK(surface != NULL && trelk_last_error() == NULL && handled == 0);

    /* A stale handle: the handler hears it once, the entry answers 0 */
    stale = trelk_area_create(1, 2, 3, 4);
    trelk_area_destroy(stale);
    trelk_area_destroy(stale);
    CHECK(handled == 1);
    CHECK(trelk_last_error() != NULL && strstr(trelk_last_error(), "was destroyed") != NULL);
    CHECK(handled_message == trelk_last_error());
    trelk_display_area_values(stale, values);
    CHECK(handled == 2 && values[0] == 7); /* nothing written */

    /* Bad sizes give a null handle; the surface that was there is unchanged */
    CHECK(trelk_surface_create(-1, 8, format) == NULL);
    CHECK(strstr(trelk_last_error(), "-1") != NULL);
    CHECK(trelk_surface_width(stale) == 0);
    CHECK(trelk_surface_lock(NULL) == NULL);
    CHECK(trelk_timer_time(stale) == 0.0);
    CHECK(trelk_surface_width(surface) == 16 && trelk_surface_height(surface) == 8);

    /* Forgotten until the next failure; a success does not clear or set it */
    trelk_clear_error();
    CHECK(trelk_last_error() == NULL);
    area = trelk_surface_area(surface);
    trelk_display_area_values(area, values);
    CHECK(trelk_last_error() == NULL && values[2] == 16 && values[3] == 8);

    /* A handler that jumps away: the library is left in order and goes on working */
    trelk_set_error_handler(jump, NULL);
    if (setjmp(escape) == 0) {
        trelk_surface_unlock(surface); /* not locked */
        CHECK(!"the handler jumped");
    }
    CHECK(strstr(trelk_last_error(), "not locked") != NULL);
    CHECK(trelk_surface_lock(surface) != NULL);
    trelk_surface_unlock(surface);

    trelk_set_error_handler(count, &handled);
    CHECK(graphics(surface, format, stale));
    trelk_surface_destroy(surface);
    trelk_format_destroy(format);
    CHECK(handled == 11);

    /* The mouse and typed text: a bad buffer or handle is an error that writes nothing; a
       closed console has nothing to give, and that is no error */
    {
        const int base = handled;
        trelk_handle console = trelk_console_create();
        trelk_mouse_event event = {9, 9, 9, 9, 9, 9, 9};
        char text[4] = "xyz";
        int x = 7, y = 7, buttons = 7;
        CHECK(trelk_input_mouse_event(console, NULL) == 0 && handled == base + 1);
        CHECK(strstr(trelk_last_error(), "null event") != NULL);
        CHECK(trelk_input_text(console, NULL, 4) == 0 && handled == base + 2);
        CHECK(trelk_input_text(console, text, 0) == 0 && handled == base + 3);
        CHECK(strstr(trelk_last_error(), "0 bytes") != NULL && strcmp(text, "xyz") == 0);
        CHECK(trelk_input_mouse(console, &x, &y, &buttons) == 0 && x == 0 && y == 0);
        CHECK(buttons == 0 && trelk_input_mouse(console, NULL, NULL, NULL) == 0);
        CHECK(trelk_input_mouse_event(console, &event) == 0 && event.kind == 9);
        CHECK(trelk_input_text(console, text, 4) == 0 && text[0] == '\0');
        CHECK(handled == base + 3);
        trelk_console_destroy(console);
        x = 7;
        strcpy(text, "abc");
        CHECK(trelk_input_mouse(console, &x, &y, &buttons) == 0 && x == 7 && handled == base + 4);
        CHECK(trelk_input_mouse_event(console, &event) == 0 && event.kind == 9);
        CHECK(trelk_input_text(console, text, 4) == 0 && strcmp(text, "abc") == 0);
        CHECK(strstr(trelk_last_error(), "destroyed") != NULL && handled == base + 6);
    }
    return failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "handler") == 0) return with_handler();
    if (argc == 2 && strcmp(argv[1], "default") == 0) {
        trelk_handle area = trelk_area_create(0, 0, 1, 1);
        trelk_area_destroy(area);
        trelk_area_destroy(area);
        fputs("still running after a stale handle\n", stderr);
        return 0;
    }
    fputs("usage: c_errors handler|default\n", stderr);
    return 2;
}
