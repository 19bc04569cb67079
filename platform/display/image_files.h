// The image files' decoder, as trelk_image_load() uses it, for the fuzzer and the tests
#ifndef PLATFORM_DISPLAY_IMAGE_FILES_H
#define PLATFORM_DISPLAY_IMAGE_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace display {

// A file's bytes as width x height pixels 0xAARRGGBB, rows top first; empty, with the reason
// in error, when they are not an image we read
std::vector<std::uint32_t> decode_image(const std::vector<std::uint8_t>& bytes, int* width,
                                        int* height, std::string* error);

}  // namespace display

#endif
