#include "palette.h"

namespace trelk {

Palette::Palette() {
    trelk_prepare();
    handle_ = trelk_palette_create();
}

Palette::~Palette() { trelk_palette_destroy(handle_); }

}  // namespace trelk
