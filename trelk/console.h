/// @file
/// BaseConsole: the display window as a drawing target. It offers every operation of
/// BaseSurface and adds display modes, opening and closing, presenting (update) and the
/// keyboard. Console: its implementation over the display library; every operation is one
/// library entry with the console handle first.
///
/// The order of the virtual operations is part of the interface: the 23 of BaseSurface, then
/// the 27 console operations as declared below.
#ifndef TRELK_CONSOLE_H
#define TRELK_CONSOLE_H

#include "area.h"
#include "format.h"
#include "key.h"
#include "library.h"
#include "mode.h"
#include "palette.h"
#include "surface.h"

namespace trelk {

/// The display window as a drawing target: every operation of BaseSurface on the console's
/// pixels, plus display modes, opening and closing, presenting and the keyboard. Before open()
/// and after close() its size is 0 and the pixel operations throw DynamicError. The window
/// shows the pixels only when update() presents them. The entryNN operations pass library
/// questions through; what our library answers is listed for each.
class BaseConsole : public BaseSurface {
public:
    ~BaseConsole() override = default;

    /// Library-defined query with one value (our library: gives value back)
    virtual int entry32(int value) = 0;
    /// The display modes: a pointer to the first of a list that ends with an invalid mode
    /// (trelk_mode_valid() 0). Read a mode's size with trelk_display_mode_size().
    virtual Mode* modes() = 0;
    /// As open(title, mode, extra); our library opens full screen
    virtual void openAlternate(const char* value, const Mode& mode, int extra) = 0;
    /// As open(title, width, height, format, extra); our library opens full screen
    virtual void openAlternate(const char* value, int width, int height, const Format& format,
                               int extra) = 0;
    /// As open(title, format, extra); our library opens full screen
    virtual void openAlternate(const char* value, const Format& format, int extra) = 0;
    /// As open(title, extra); our library opens full screen
    virtual void openAlternate(const char* value, int extra) = 0;
    /// Opens the window in a display mode from modes(); extra is ignored by our library
    virtual void open(const char* title, const Mode& mode, int extra) = 0;
    /// Opens the window at width x height pixels in format; extra is ignored by our library
    virtual void open(const char* title, int width, int height, const Format& format,
                      int extra) = 0;
    /// Opens the window with pixels in format (our library: 320 x 200); extra is ignored
    virtual void open(const char* title, const Format& format, int extra) = 0;
    /// Opens the window in the default format (our library: 320 x 200, 32-bit 0x00RRGGBB)
    virtual void open(const char* title, int extra) = 0;
    /// Closes the window (and saves the TRELK_CAPTURE frame); the console can open again
    virtual void close() = 0;
    /// Library-defined query (our library: 1 while open)
    virtual int entry40() = 0;
    /// Library-defined query (our library: frames presented since open)
    virtual int entry41() = 0;
    /// Presents one area of the pixels in the window
    virtual void update(const Area& area) = 0;
    /// Presents the pixels in the window; in a window, keeps step with the display
    virtual void update() = 0;
    /// Whether a key waits (or a quit was asked); consumes nothing
    virtual bool key() = 0;
    /// The oldest key, as a Key of the caller's own; waits for one when none waits. A quit
    /// (close button, Ctrl-C, TRELK_FRAMES reached) reads as TRELK_KEY_QUIT, and so does a read
    /// where no key can come (headless counting frames or without a terminal): it never hangs.
    virtual Key read() = 0;
    /// Library-defined query (our library: bits per pixel)
    virtual int entry62() = 0;
    /// Library-defined query (our library: keys waiting)
    virtual int entry67() = 0;
    /// Library-defined query (our library: 1 when a quit was asked)
    virtual int entry68() = 0;
    /// Library-defined query (our library: number of display modes)
    virtual int entry69() = 0;
    /// Library-defined query (our library: the back end's place in its list, -1 closed)
    virtual int entry74() = 0;
    /// Library-defined query (our library: 1 when update() keeps a pace)
    virtual int entry75() = 0;
    /// Library-defined query (our library: the window's scale)
    virtual int entry76() = 0;
    /// Library-defined query (our library: 1 when full screen)
    virtual int entry77() = 0;
    /// Library-defined query (our library: 0)
    virtual int entry78() = 0;
    /// Library-defined query (our library: 0)
    virtual int entry79() = 0;
};

/// The console of the display library: a window (or the terminal, or memory, see the settings
/// in trelk/display.h) of pixels. Make one, open() it, draw through lock()/unlock() or copies
/// and clears, show the result with update(), and read keys. Never copied or assigned.
class Console : public BaseConsole {
public:
    /// Elements of the mode list, end marker included: at most 255 valid modes are listed
    static constexpr int mode_count = 256;

    /// Creates the library console; the window opens with open()
    Console();
    /// Destroys the library console (closing its window), then its members
    ~Console() override;

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

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

    int entry32(int value) override;
    Mode* modes() override;
    void openAlternate(const char* value, const Mode& mode, int extra) override;
    void openAlternate(const char* value, int width, int height, const Format& format,
                       int extra) override;
    void openAlternate(const char* value, const Format& format, int extra) override;
    void openAlternate(const char* value, int extra) override;
    void open(const char* title, const Mode& mode, int extra) override;
    void open(const char* title, int width, int height, const Format& format, int extra) override;
    void open(const char* title, const Format& format, int extra) override;
    void open(const char* title, int extra) override;
    void close() override;
    int entry40() override;
    int entry41() override;
    void update(const Area& area) override;
    void update() override;
    bool key() override;
    Key read() override;
    int entry62() override;
    int entry67() override;
    int entry68() override;
    int entry69() override;
    int entry74() override;
    int entry75() override;
    int entry76() override;
    int entry77() override;
    int entry78() override;
    int entry79() override;

private:
    // Built in this order; the handle is created last, in the constructor body, and destroyed
    // first, so a construction that fails leaves no console in the library.
    trelk_handle handle_ = nullptr;
    Area area_;               // what area() returns
    Area clip_;               // what clip() returns
    Format format_;           // what format() returns
    Palette palette_;         // what palette() returns
    Mode modes_[mode_count];  // what modes() fills and points to
};

}  // namespace trelk

#endif
