// The environment through environ (POSIX, and the browser's C library).
#include <unistd.h>

#include "platform/os/environment.h"

namespace os {

char** environment() {
    static char* empty[] = {nullptr};
    return environ ? environ : empty;
}

}  // namespace os
