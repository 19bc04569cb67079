// TRELK_CAPTURE: a presented frame saved as a PNG file, encoded by libpng.
//
// The file is written as platform/os/files.h says: a new file beside the target put in its
// place whole, where the target is absent, a regular file its user may write (the link to one
// stays a link) and never anything else (a device, a FIFO, a folder, a socket, a link to one
// of these or to nothing). A failure removes only our own new file.
#ifndef PLATFORM_DISPLAY_CAPTURE_H
#define PLATFORM_DISPLAY_CAPTURE_H

#include <string>

#include "platform/display/pixels.h"

namespace display {

// Whether the path may be written by save_png as things stand now; false and a reason (for
// example "it is a device, not a regular file", or the folder missing) when it may not.
// save_png checks again.
bool capture_target_usable(const char* path, std::string* reason);

// Writes the frame, any format, as an 8-bit RGB PNG; false and a reason when it cannot
bool save_png(const char* path, const Image& frame, std::string* reason);
// The same with the frame's alpha kept, when asked for, as an 8-bit RGBA PNG
bool save_png(const char* path, const Image& frame, bool alpha, std::string* reason);

}  // namespace display

#endif
