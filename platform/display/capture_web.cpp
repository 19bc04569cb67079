// TRELK_CAPTURE in the browser: the page has no files to write to, so a console opened with a
// capture asked for is refused with the reason. (The browser tests read the page's canvas.)
#include "platform/display/capture.h"

namespace display {

namespace {
const char* const no_files = "no files can be written from the browser; read the page's canvas";
}

bool capture_target_usable(const char*, std::string* reason) {
    *reason = no_files;
    return false;
}

bool save_png(const char*, const Image&, std::string* reason) {
    *reason = no_files;
    return false;
}

}  // namespace display
