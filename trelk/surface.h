// BaseSurface: the abstract drawing target, anything that holds pixels and can be locked,
// loaded, saved, cleared, copied and asked for its size and format. Surface: an off-screen
// pixel buffer owned by the display library. Every Surface operation is one library entry.
//
// The order of the virtual operations is part of the interface: the destructor, then the 22
// operations as declared below. Overloads stand fuller form first, queries before setters.
#ifndef TRELK_SURFACE_H
#define TRELK_SURFACE_H

#include "area.h"
#include "color.h"
#include "format.h"
#include "library.h"
#include "palette.h"

namespace trelk {

class BaseSurface {
public:
    virtual ~BaseSurface() = default;  // slot 0

    // Copy this surface into target: the source area (in this surface) is scaled to fill the
    // destination area (in the target); the one-argument form copies the whole surface.
    virtual void copy(BaseSurface& surface, const Area& source, const Area& destination) = 0;
    virtual void copy(BaseSurface& surface) = 0;

    // The pixel address, valid only until the matching unlock(); ask again after each lock().
    virtual void* lock() = 0;
    virtual void unlock() = 0;

    // Read a caller's buffer (width x height pixels, pitch bytes a row, in format/palette)
    // into this surface, converting into the surface's own format.
    virtual void load(const void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette, const Area& source, const Area& destination) = 0;
    virtual void load(const void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette) = 0;
    // Write this surface into a caller's buffer, the counterpart of load().
    virtual void save(void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette, const Area& source, const Area& destination) = 0;
    virtual void save(void* pixels, int width, int height, int pitch, const Format& format,
                      const Palette& palette) = 0;

    virtual void clear(const Color& color, const Area& area) = 0;
    virtual void clear(const Color& color) = 0;
    virtual void clear() = 0;  // the library's default colour

    // The cached queries return a reference to one member that every call overwrites.
    virtual const Palette& palette() = 0;
    virtual void palette(const Palette& palette) = 0;
    virtual const Area& clip() = 0;
    virtual void clip(const Area& area) = 0;

    virtual int width() = 0;   // pixels
    virtual int height() = 0;  // pixels
    virtual int pitch() = 0;   // bytes per row
    virtual const Area& area() = 0;
    virtual const Format& format() = 0;
    virtual bool option(const char* option) = 0;  // true exactly when the library answers 1

    // What names this target to the library in a copy. The default is the object's own
    // address, which no library object has.
    virtual trelk_handle handle() { return reinterpret_cast<trelk_handle>(this); }
};

class Surface : public BaseSurface {
public:
    // The format is only passed on to the library: the surface keeps no reference to it.
    Surface(int width, int height, const Format& format);
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
