// Palette: 256 colours of the display library. Owns one library palette handle; never copied.
#ifndef TRELK_PALETTE_H
#define TRELK_PALETTE_H

#include "library.h"

namespace trelk {

class Palette {
public:
    Palette();
    ~Palette();

    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
