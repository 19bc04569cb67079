// Writes the demo's icon: make_icon SIZE FILE.png (a PNG at SIZE x SIZE pixels), or
// make_icon ico FILE.ico (a Windows icon file)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "assets/icon.h"
#include "assets/write_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icon SIZE FILE.png | make_icon ico FILE.ico\n");
        return 2;
    }
    try {
        const std::string kind = argv[1];
        if (kind == "ico") return assets::write_file(argv[2], icon::ico_file());
        char* end = nullptr;
        const long size = std::strtol(argv[1], &end, 10);
        if (*end != '\0' || size < 1 || size > 1024) {
            std::fprintf(stderr, "make_icon: the size must be 1 to 1024 pixels, not %s\n", argv[1]);
            return 2;
        }
        return assets::write_file(argv[2], icon::png_file(static_cast<int>(size)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_icon: %s\n", e.what());
        return 1;
    }
}
