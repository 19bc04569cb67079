// The environment through the C runtime's _environ (Windows).
#include <stdlib.h>

#include "platform/os/environment.h"

namespace os {

char** environment() {
    static char* empty[] = {nullptr};
    return _environ ? _environ : empty;
}

}  // namespace os
