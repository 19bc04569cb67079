/// @file
/// BaseSurface: the abstract drawing target, anything that holds pixels and can be locked,
/// loaded, saved, cleared, copied and asked for its size and format. Surface: an off-screen
/// pixel buffer owned by the display library. Every Surface operation is one library entry.
///
/// The order of the virtual operations is part of the interface: the destructor, then the 22
/// operations as declared below. Overloads stand fuller form first, queries before setters.
#ifndef TRELK_SURFACE_H
#define TRELK_SURFACE_H

#include "area.h"
#include "color.h"
#include "format.h"
#include "library.h"
#include "palette.h"

namespace trelk {

/// The abstract drawing target: what a Surface and a Console have in common. Areas are
/// (left, top, right, bottom), right and bottom exclusive. Copies, loads and saves scale by
/// nearest neighbour and are clipped to both images, keeping the scale; copies, loads and
/// clears stay inside the target's clip area. A failure throws DynamicError and changes nothing.
class BaseSurface {
public:
    /// Slot 0 of the virtual operations
    virtual ~BaseSurface() = default;

    /// Copies the source area of this surface onto surface, scaled to fill the destination area
    virtual void copy(BaseSurface& surface, const Area& source, const Area& destination) = 0;
    /// Copies the whole of this surface onto the whole of surface, scaled to fit
    virtual void copy(BaseSurface& surface) = 0;

    /// Locks the pixels and gives their address: rows pitch() bytes apart, pixels in format().
    /// Valid only until the matching unlock(); ask again after each lock(). Locks may nest.
    virtual void* lock() = 0;
    /// Ends a lock(); an unlock() without lock() throws DynamicError
    virtual void unlock() = 0;

    /// Reads a caller's buffer (width x height pixels, pitch bytes a row, in format, with
    /// palette for an indexed format), its source area scaled into the destination area of
    /// this surface, converting into this surface's format
    virtual void load(const void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette, const Area& source, const Area& destination) = 0;
    /// Reads a caller's whole buffer into the whole surface, scaled to fit, converting
    virtual void load(const void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette) = 0;
    /// Writes the source area of this surface into the destination area of a caller's buffer,
    /// scaled and converted into format: the counterpart of load()
    virtual void save(void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette, const Area& source, const Area& destination) = 0;
    /// Writes the whole surface into a caller's whole buffer, scaled and converted into format
    virtual void save(void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette) = 0;

    /// Sets the pixels of an area (inside the clip area) to a colour
    virtual void clear(const Color& color, const Area& area) = 0;
    /// Sets every pixel inside the clip area to a colour
    virtual void clear(const Color& color) = 0;
    /// Sets every pixel inside the clip area to the library's default colour (black, 0)
    virtual void clear() = 0;

    /// The palette of an indexed surface. Like area(), clip() and format(), this returns a
    /// reference to one member that every call overwrites.
    virtual const Palette& palette() = 0;
    /// Gives the surface a copy of palette's colours
    virtual void palette(const Palette& palette) = 0;
    /// The clip area: what copies, loads and clears may change (at first the whole surface)
    virtual const Area& clip() = 0;
    /// Sets the clip area; it is cut to the surface
    virtual void clip(const Area& area) = 0;

    /// Width in pixels
    virtual int width() = 0;
    /// Height in pixels
    virtual int height() = 0;
    /// Bytes from one row of pixels to the next
    virtual int pitch() = 0;
    /// The whole surface: (0, 0, width(), height())
    virtual const Area& area() = 0;
    /// The pixel format
    virtual const Format& format() = 0;
    /// Asks a yes/no question of the library: our library knows "indexed", "alpha" and
    /// "locked" (and for a console more); true exactly when the library answers 1
    virtual bool option(const char* option) = 0;

    /// What names this target to the library in a copy. The default is the object's own
    /// address, which no library object has.
    virtual trelk_handle handle() { return reinterpret_cast<trelk_handle>(this); }
};

/// An off-screen pixel buffer owned by the display library: at most 16384 pixels each way, rows
/// exactly width x bytes a pixel apart, cleared to 0 when made. Every operation is one library
/// entry. Never copied or assigned.
class Surface : public BaseSurface {
public:
    /// A surface of width x height pixels in format. The format is only passed on to the
    /// library: the surface keeps no reference to it. A bad size or format throws DynamicError.
    Surface(int width, int height, const Format& format);
    /// Destroys the library surface
    ~Surface() override;

    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    void copy(BaseSurface& surface, const Area& source, const Area& destination) override;
    void copy(BaseSurface& surface) override;
    void* lock() override;
    void unlock() override;
    void load(const void* pixels, int width, int height, int pitch, const Format& format,
              const Palette& palette, const Area& source, const Area& destination) override;
    void load(const void* pixels, int width, int height, int pitch, const Format& format,
              const Palette& palette) override;
    void save(void* pixels, int width, int height, int pitch, const Format& format,
              const Palette& palette, const Area& source, const Area& destination) override;
    void save(void* pixels, int width, int height, int pitch, const Format& format,
              const Palette& palette) override;
    void clear(const Color& color, const Area& area) override;
    void clear(const Color& color) override;
    void clear() override;
    const Palette& palette() override;
    void palette(const Palette& palette) override;
    const Area& clip() override;
    void clip(const Area& area) override;
    int width() override;
    int height() override;
    int pitch() override;
    const Area& area() override;
    const Format& format() override;
    bool option(const char* option) override;
    trelk_handle handle() override;

private:
    // Built in this order. The handle is created after the four caches, in the constructor
    // body, and destroyed before them.
    trelk_handle handle_ = nullptr;
    Area area_;        // what area() returns
    Area clip_;        // what clip() returns
    Format format_;    // what format() returns
    Palette palette_;  // what palette() returns
};

}  // namespace trelk

#endif
