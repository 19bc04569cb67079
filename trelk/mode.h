// Mode: a display mode of the display library. Owns one library mode handle and a Format,
// which is built before the mode handle and destroyed after it. Never copied.
#ifndef TRELK_MODE_H
#define TRELK_MODE_H

#include "format.h"
#include "library.h"

namespace trelk {

class Mode {
public:
    Mode();
    ~Mode();

    Mode(const Mode&) = delete;
    Mode& operator=(const Mode&) = delete;

    trelk_handle handle() const noexcept { return handle_; }

private:
    Format format_;  // constructed first, so it outlives the mode handle
    trelk_handle handle_;
};

}  // namespace trelk

#endif
