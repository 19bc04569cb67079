#include "area.h"

namespace trelk {

Area::Area() : Area(0, 0, 0, 0) {}

Area::Area(int left, int top, int right, int bottom) {
    trelk_prepare();
    handle_ = trelk_area_create(left, top, right, bottom);
}

Area::~Area() { trelk_area_destroy(handle_); }

}  // namespace trelk
