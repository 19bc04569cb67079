// TRELK_CAPTURE: a presented frame saved as a PNG file, written by libpng.
//
// The capture never removes or overwrites anything but a regular file: the frame is written to
// a new file of our own beside the target and renamed over it only when the target is absent or
// a regular file (a link to a regular file is followed: the link stays, the file it names is
// replaced). A target that exists and is anything else (a device, a FIFO, a folder, a socket, a
// link to one of these or to nothing) is refused. A failure removes only our own new file.
#ifndef PLATFORM_DISPLAY_CAPTURE_H
#define PLATFORM_DISPLAY_CAPTURE_H

#include <string>

#include "platform/display/pixels.h"

namespace display {

// Whether the path may be written by save_png as things stand now; false and a reason (for
// example "it is a device, not a regular file") when it may not. save_png checks again.
bool capture_target_usable(const char* path, std::string* reason);

// Writes the frame, any format, as an 8-bit RGB PNG; false and a reason when it cannot
bool save_png(const char* path, const Image& frame, std::string* reason);

}  // namespace display

#endif
