// DynamicError: the object layer's one exception type. Owns one library error handle that
// holds the message. Thrown by value, caught by reference; report() hands it to the library,
// which shows it to the user. A copy makes a new library error carrying the same message.
#ifndef TRELK_ERROR_H
#define TRELK_ERROR_H

#include "library.h"

// The shared display library, which throws it, shows this class to programs
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace trelk {

class DynamicError {
public:
    explicit DynamicError(const char* message);  // message passed on unchanged
    DynamicError(const DynamicError& other);
    ~DynamicError();

    DynamicError& operator=(const DynamicError&) = delete;

    void report() const;

    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#endif
