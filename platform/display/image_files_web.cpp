// Image files in the browser build: the page has no files of the program's to read or write
// and the build carries no libpng, so both functions of trelk/graphics.h say so, as errors
#include "platform/display/objects.h"
#include "trelk/graphics.h"

using namespace display;

extern "C" {

trelk_handle trelk_image_load(const char* file, trelk_handle format) {
    formats.get(format);
    fail("image_load: %s: image files are not read in the browser build", file ? file : "(null)");
}

void trelk_image_save(trelk_handle source, const char* file) {
    if (!surfaces.find(source) && !consoles.find(source))
        invalid_handle_of_either(source, Kind::surface, Kind::console);
    fail("image_save: %s: image files are not written in the browser build",
         file ? file : "(null)");
}

}  // extern "C"
