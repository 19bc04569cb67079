// Errors on POSIX systems and in the browser: standard error is where they are seen (the
// browser's page shows the demo's end itself). See report.h.
#include "platform/os/report.h"

namespace os {

void note_program_title(const char*) {}

void prepare_error_output() {}

void show_error(const char*) {}

}  // namespace os
