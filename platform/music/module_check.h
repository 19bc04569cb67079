// Structure checks for the tracker formats other than XM (see xm_check.h) before a file
// reaches the player library, which plays a file cut short in its samples with the missing
// part made up. For each format we know the layout of, the sizes the file declares are walked
// and a file in which any of them runs past its end is refused:
//   MOD (31 samples, a signature such as "M.K." at 1080): the patterns the order list uses,
//       then the samples, back to back
//   S3M ("SCRM" at 44): every instrument header, pattern header and sample where its pointer
//       says, of its declared length, width and channels
//   IT ("IMPM" at 0): every sample header, pattern and sample, compressed samples block by
//       block
// Not checked, and why: the older 15-sample MOD has no signature, so a file cannot be told to
// be one; the many rarer formats the player reads (MED, 669, MTM, ULT, FAR and others) each
// have a layout of their own that we do not produce or expect in the demo's folder: the player
// alone decides for them.
#ifndef PLATFORM_MUSIC_MODULE_CHECK_H
#define PLATFORM_MUSIC_MODULE_CHECK_H

#include <cstddef>
#include <cstdint>

namespace midas {

// The module's format as far as the checks go
enum class Format { xm, mod, s3m, it, other };

Format module_format(const uint8_t* data, size_t size);

// For MOD, S3M and IT: nullptr when every declared chunk lies inside the file, otherwise a
// short description of what does not fit. Other formats: nullptr.
const char* module_truncation(Format format, const uint8_t* data, size_t size);

// Bytes of sample data the file declares, decoded (IT's compressed samples declare more than
// they take in the file); for formats not walked, the file's size
uint64_t declared_sample_bytes(Format format, const uint8_t* data, size_t size);

}  // namespace midas

#endif
