#include "mode.h"

namespace trelk {

Mode::Mode() {
    trelk_prepare();
    handle_ = trelk_mode_create();
}

Mode::~Mode() { trelk_mode_destroy(handle_); }

}  // namespace trelk
