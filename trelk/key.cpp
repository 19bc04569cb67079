#include "key.h"

namespace trelk {

Key::Key() {
    trelk_prepare();
    handle_ = trelk_key_create(0, 0, 0, 0);
}

// The library never shares or copies a key: the copy is a new key made from the values the
// source's accessors expose, read last flag first. A library flag other than 1 arrives as 0.
Key::Key(const Key& other) {
    trelk_prepare();
    const bool third = other.modifier3();
    const bool second = other.modifier2();
    const bool first = other.modifier1();
    const int code = other.code();
    handle_ = trelk_key_create(code, first ? 1 : 0, second ? 1 : 0, third ? 1 : 0);
}

Key::~Key() { trelk_key_destroy(handle_); }

int Key::code() const { return trelk_key_code(handle_); }
bool Key::modifier1() const { return trelk_key_modifier1(handle_) == 1; }
bool Key::modifier2() const { return trelk_key_modifier2(handle_) == 1; }
bool Key::modifier3() const { return trelk_key_modifier3(handle_) == 1; }

}  // namespace trelk
