#include "assets/write_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

namespace assets {

int write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".part";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot create %s: %s\n", temporary.c_str(), std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "cannot write %s: %s\n", temporary.c_str(), std::strerror(errno));
        std::remove(temporary.c_str());
        return 1;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "cannot rename %s to %s: %s\n", temporary.c_str(), path.c_str(),
                     std::strerror(errno));
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}

int generator_main(int argc, char** argv, const char* what, std::vector<uint8_t> (*make)()) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\nwrites %s to OUTPUT\n",
                     argc > 0 ? argv[0] : "generator", what);
        return 2;
    }
    try {
        return write_file(argv[1], make());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", what, e.what());
        return 1;
    }
}

}  // namespace assets
