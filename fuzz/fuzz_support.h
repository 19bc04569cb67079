// What the fuzz targets share: a scratch file per process for the targets whose code under
// test reads a named file, and the way a target reports a finding that no sanitizer sees.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

// A file of this name in a private scratch folder, removed when the process exits
const std::string& fuzz_scratch_file(const char* name);
// Replaces the file's content; aborts when the file cannot be written
void fuzz_write_file(const std::string& path, const std::uint8_t* data, std::size_t size);
// Prints the finding and aborts, which libFuzzer records as a crash with its input
[[noreturn]] void fuzz_finding(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
