/// @file
/// Key: a key read from a console.
#ifndef TRELK_KEY_H
#define TRELK_KEY_H

#include "library.h"

namespace trelk {

/// A key event of the display library: a key code (trelk/keys.h) and three modifier flags.
/// Console::read() gives one. Owns one library key handle; a copy makes a new library key from
/// what the source's accessors report; never assigned.
class Key {
public:
    /// Code 0, all three flags false
    Key();
    /// A new library key with other's code and flags, read through other's accessors
    Key(const Key& other);
    /// Destroys the library key
    ~Key();

    Key& operator=(const Key&) = delete;

    /// The key code, as the library reports it: TRELK_KEY_A, TRELK_KEY_ESCAPE, ... (trelk/keys.h)
    int code() const;
    /// Alt was held (true exactly when the library answers 1)
    bool modifier1() const;
    /// Shift was held (true exactly when the library answers 1)
    bool modifier2() const;
    /// Control was held (true exactly when the library answers 1)
    bool modifier3() const;

    /// The library key this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
