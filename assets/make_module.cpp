// Writes our music module, an XM file, to the path given
#include "assets/song.h"
#include "assets/write_file.h"

int main(int argc, char** argv) {
    return assets::generator_main(argc, argv, "the module", song::module_file);
}
