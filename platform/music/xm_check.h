// Structure check for extended-module (XM) files before they reach the player library, which
// accepts a file cut short inside its patterns or samples and plays it with the missing part
// made up. We walk the chunk sizes that the file declares (song header, each pattern's header
// and packed data, each instrument's header, sample headers and sample data) and refuse a file
// in which any of them runs past its end.
#ifndef PLATFORM_MUSIC_XM_CHECK_H
#define PLATFORM_MUSIC_XM_CHECK_H

#include <cstddef>
#include <cstdint>

namespace midas {

// True when the bytes start with the XM identification text
bool looks_like_xm(const uint8_t* data, size_t size);

// For an XM file: nullptr when every declared chunk lies inside the file, otherwise a short
// description of what does not fit
const char* xm_truncation(const uint8_t* data, size_t size);

}  // namespace midas

#endif
