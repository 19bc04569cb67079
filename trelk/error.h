/// @file
/// DynamicError: the exception every failing entry throws.
#ifndef TRELK_ERROR_H
#define TRELK_ERROR_H

#include "library.h"

// The shared display library, which throws it, shows this class to programs
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace trelk {

/// The object layer's one exception type: every entry of the display library that fails (a
/// bad handle, size or format, a console that cannot open, ...) throws it with a message and
/// changes nothing. Thrown by value, caught by reference. Owns one library error handle that
/// holds the message; a copy makes a new library error carrying the same message; never
/// assigned. It does not derive from std::exception: catch it by its own type, and read its
/// text with message() or show it with report(). One that nothing catches still has its
/// message written to standard error before the program ends (the display library installs a
/// terminate handler for that, chained to the one it replaces).
class DynamicError {
public:
    /// An error holding message, passed on unchanged
    explicit DynamicError(const char* message);
    /// A new library error carrying other's message; either can be destroyed first
    DynamicError(const DynamicError& other);
    /// Destroys the library error
    ~DynamicError();

    DynamicError& operator=(const DynamicError&) = delete;

    /// Shows the message to the user: our library writes it to standard error as one line
    void report() const;

    /// The message, as the error was made with it. The text belongs to the library and stays
    /// valid as long as this error does.
    const char* message() const noexcept;

    /// The library error this object owns
    trelk_handle handle() const noexcept { return handle_; }

private:
    trelk_handle handle_;
};

}  // namespace trelk

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#endif
