// TRELK_CAPTURE: a presented frame saved as a PNG file, written by libpng.
#ifndef PLATFORM_DISPLAY_CAPTURE_H
#define PLATFORM_DISPLAY_CAPTURE_H

#include <string>

#include "platform/display/pixels.h"

namespace display {

// Writes the frame, any format, as an 8-bit RGB PNG; false and a reason when it cannot
bool save_png(const char* path, const Image& frame, std::string* reason);

}  // namespace display

#endif
