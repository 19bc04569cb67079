// The page's files: the picture and the music module, made in the browser by the same
// generators as the desktop build's (assets/), byte for byte the same files. Making them here
// costs a few hundred kilobytes less to download than fetching them. The page calls this once,
// before the demo starts, to write them into the program's in-memory folder.
#include <emscripten.h>

#include <exception>
#include <string>

#include "assets/picture.h"
#include "assets/song.h"
#include "assets/write_file.h"

// Writes "flagga.tga" when picture is 1 and "bla.xm" when module is 1; 0 when all went well.
// (The browser tests leave a file out to see the demo without it.)
extern "C" EMSCRIPTEN_KEEPALIVE int kelvra_make_assets(int picture, int module) {
    try {
        int failed = 0;
        if (picture) failed |= assets::write_file("flagga.tga", picture::tga_file());
        if (module) failed |= assets::write_file("bla.xm", song::module_file());
        return failed;
    } catch (const std::exception&) {
        return 1;
    }
}
