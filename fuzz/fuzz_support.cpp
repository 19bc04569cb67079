#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

std::string scratch_folder;

void remove_scratch() {
    std::error_code ignored;
    if (!scratch_folder.empty()) std::filesystem::remove_all(scratch_folder, ignored);
}

}  // namespace

const std::string& fuzz_scratch_file(const char* name) {
    static std::map<std::string, std::string> paths;
    auto found = paths.find(name);
    if (found != paths.end()) return found->second;
    if (scratch_folder.empty()) {
        // Memory-backed when there is one: the targets write a file per input
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string folder = std::string(base) + "/trelk-fuzz-XXXXXX";
        if (!mkdtemp(folder.data())) fuzz_finding("cannot make a scratch folder in %s", base);
        scratch_folder = folder;
        std::atexit(remove_scratch);
    }
    return paths.emplace(name, scratch_folder + "/" + name).first->second;
}

void fuzz_write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) fuzz_finding("cannot write the scratch file %s", path.c_str());
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::fclose(file);
        fuzz_finding("cannot write the scratch file %s", path.c_str());
    }
    std::fclose(file);
}

void fuzz_finding(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fprintf(stderr, "FINDING: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}
