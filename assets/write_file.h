// Writes a generator's bytes to the file its command line names, all or nothing: the bytes go
// to a temporary file beside it first, which is renamed over the target only when complete.
#ifndef ASSETS_WRITE_FILE_H
#define ASSETS_WRITE_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace assets {

// 0 on success; 1 with a message on stderr naming the file and the failure
int write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// The main of a generator: one argument, the output path
int generator_main(int argc, char** argv, const char* what, std::vector<uint8_t> (*make)());

}  // namespace assets

#endif
