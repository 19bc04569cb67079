/// @file
/// Mode: a display mode of the display library.
#ifndef TRELK_MODE_H
#define TRELK_MODE_H

#include "format.h"
#include "library.h"

namespace trelk {

/// A display mode of the display library, as Console::modes() lists them: a mode is valid
/// when the library says so (trelk_mode_valid), and an invalid one ends a list. Its size is
/// read with trelk_display_mode_size() (trelk/display.h). Owns one library mode handle and a
/// Format. Never copied or assigned.
class Mode {
public:
    /// Makes a new mode, which the library reports invalid
    Mode();
    /// Destroys the mode handle, then the Format
    ~Mode();

    Mode(const Mode&) = delete;
    Mode& operator=(const Mode&) = delete;

    /// The library mode this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    // The handle first, then the Format. Members are built in this order, but the handle is
    // only created in the constructor's body, after the Format was built, and destroyed in the
    // destructor's body, before the Format is destroyed: the Format outlives the mode handle.
    // A Format that fails to build leaves the handle null and creates no mode.
    trelk_handle handle_ = nullptr;
    Format format_;
};

}  // namespace trelk

#endif
