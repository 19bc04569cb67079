// The picture loader: fills a surface with the pixels of an uncompressed 24-bit TGA file,
// bottom row first, three bytes (blue, green, red) a pixel. The size comes from the surface,
// not from the file: the 18-byte header is skipped unread.
#ifndef DEMO_PICTURE_H
#define DEMO_PICTURE_H

#include "trelk/surface.h"

// Largest width or height the loader accepts: the working buffer stays within 3 GiB and a row's
// pitch within an int.
constexpr int max_picture_side = 32768;

// Throws trelk::DynamicError("could not load image") when the file is missing or is not a regular
// file (a directory, a FIFO, a device), and "could not load image: REASON" when it cannot be
// opened for another reason the system gives ("Too many open files", "Permission denied"), with
// the surface unchanged. A file shorter than the
// picture loads all the same: what it does not cover is black.
void load_picture(trelk::BaseSurface& surface, const char* file_name);

#endif
