#include "error.h"

namespace trelk {

DynamicError::DynamicError(const char* message) {
    trelk_prepare();
    handle_ = trelk_error_create(message);
}

// The copy owns a handle of its own, made empty and then given the source's message, so that
// the source can be destroyed first (the exception machinery copies through here).
DynamicError::DynamicError(const DynamicError& other) {
    trelk_prepare();
    handle_ = trelk_error_create("");
    try {
        trelk_error_copy(handle_, other.handle_);
    } catch (...) {
        trelk_error_destroy(handle_);  // the destructor does not run for an unfinished copy
        throw;
    }
}

DynamicError::~DynamicError() { trelk_error_destroy(handle_); }

void DynamicError::report() const { trelk_error_report(handle_); }

const char* DynamicError::message() const noexcept {
    try {
        return trelk_error_message(handle_);
    } catch (...) {
        return "unknown error";  // only if the library no longer knows this error's handle
    }
}

}  // namespace trelk
