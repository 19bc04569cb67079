// The process's environment as a whole. POSIX and the browser: environment_posix.cpp; Windows:
// environment_win32.cpp. Single values are read with std::getenv.
#ifndef PLATFORM_OS_ENVIRONMENT_H
#define PLATFORM_OS_ENVIRONMENT_H

namespace os {

// The environment's "NAME=value" entries, ending with a null pointer (never null itself)
char** environment();

}  // namespace os

#endif
