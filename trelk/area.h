// Area: a rectangle of the display library, four signed ints left, top, right, bottom.
// Owns one library area handle; never copied.
#ifndef TRELK_AREA_H
#define TRELK_AREA_H

#include "library.h"

namespace trelk {

class Area {
public:
    Area();  // (0, 0, 0, 0), through the same entry as the four-value form
    Area(int left, int top, int right, int bottom);
    ~Area();

    Area(const Area&) = delete;
    Area& operator=(const Area&) = delete;

    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
