// Writes our picture, a 320x200 uncompressed 24-bit TGA, to the path given
#include "assets/picture.h"
#include "assets/write_file.h"

int main(int argc, char** argv) {
    return assets::generator_main(argc, argv, "the picture", picture::tga_file);
}
