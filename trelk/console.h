// BaseConsole: the display window as a drawing target. It offers every operation of
// BaseSurface and adds display modes, opening and closing, presenting (update) and the
// keyboard. Console: its implementation over the display library; every operation is one
// library entry with the console handle first.
//
// The order of the virtual operations is part of the interface: the 23 of BaseSurface, then
// the 27 console operations as declared below.
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

class BaseConsole : public BaseSurface {
public:
    ~BaseConsole() override = default;

    virtual int entry32(int value) = 0;  // meaning given by the display library
    // The display modes: a pointer to the first of a list that ends with an invalid mode.
    virtual Mode* modes() = 0;
    // The alternate opens take what the matching open takes (our library: full screen)
    virtual void openAlternate(const char* value, const Mode& mode, int extra) = 0;
    virtual void openAlternate(const char* value, int width, int height, const Format& format,
                               int extra) = 0;
    virtual void openAlternate(const char* value, const Format& format, int extra) = 0;
    virtual void openAlternate(const char* value, int extra) = 0;
    virtual void open(const char* title, const Mode& mode, int extra) = 0;
    virtual void open(const char* title, int width, int height, const Format& format,
                      int extra) = 0;
    virtual void open(const char* title, const Format& format, int extra) = 0;
    virtual void open(const char* title, int extra) = 0;
    virtual void close() = 0;
    virtual int entry40() = 0;
    virtual int entry41() = 0;
    virtual void update(const Area& area) = 0;  // present one area
    virtual void update() = 0;                  // present the whole console
    virtual bool key() = 0;                     // has a key been pressed; does not consume it
    virtual Key read() = 0;                     // the key read, as a key of the caller's own
    virtual int entry62() = 0;
    virtual int entry67() = 0;
    virtual int entry68() = 0;
    virtual int entry69() = 0;
    virtual int entry74() = 0;
    virtual int entry75() = 0;
    virtual int entry76() = 0;
    virtual int entry77() = 0;
    virtual int entry78() = 0;
    virtual int entry79() = 0;
};

class Console : public BaseConsole {
public:
    static constexpr int mode_count = 256;  // elements of the mode list, end marker included

    Console();  // creates the library console; the window opens with open()
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
