/// @file
/// Area: a rectangle of the display library.
#ifndef TRELK_AREA_H
#define TRELK_AREA_H

#include "library.h"

namespace trelk {

/// A rectangle of the display library: four signed ints left, top, right, bottom, the right and
/// bottom edges exclusive. A reversed area is taken as its normalised form; an empty one draws
/// nothing. Owns one library area handle; never copied or assigned. Read its values with
/// trelk_display_area_values() (trelk/display.h).
class Area {
public:
    /// The area (0, 0, 0, 0), made through the same entry as the four-value form
    Area();
    /// The area from (left, top) to (right, bottom), right and bottom exclusive
    Area(int left, int top, int right, int bottom);
    /// Destroys the library area
    ~Area();

    Area(const Area&) = delete;
    Area& operator=(const Area&) = delete;

    /// The library area this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
