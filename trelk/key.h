// Key: a key event of the display library, a key code and three modifier flags. Owns one
// library key handle. A copy makes a new library key from what the source's accessors report.
#ifndef TRELK_KEY_H
#define TRELK_KEY_H

#include "library.h"

namespace trelk {

class Key {
public:
    Key();  // code 0, all three flags false
    Key(const Key& other);
    ~Key();

    Key& operator=(const Key&) = delete;

    int code() const;        // the library's key code, as it reports it
    bool modifier1() const;  // true exactly when the library answers 1
    bool modifier2() const;
    bool modifier3() const;

    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#endif
