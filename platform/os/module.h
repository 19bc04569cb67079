// Code loaded while the program runs: a shared object opened by its path, and the places a
// program looks for the modules that come with it. POSIX: module_posix.cpp. Only builds that
// load a module list an implementation.
#ifndef PLATFORM_OS_MODULE_H
#define PLATFORM_OS_MODULE_H

#include <string>

namespace os {

// Opens the module at `path` with every symbol it needs bound now, kept apart from the
// program's own symbols, and keeps it open until the process ends (what it started, threads
// or exit handlers, may outlive its last use). Null and a reason when it cannot: `absent` says
// whether nothing is there to open, so that a caller may look elsewhere; otherwise the reason
// names what failed (a library the module needs, a symbol missing).
void* open_module(const char* path, bool* absent, std::string* reason);

// The address of a symbol of an open module; null when it has none
void* module_symbol(void* module, const char* name);

// The folder of the file that holds this very code: the shared library it was linked into, or
// the program when it was linked in whole. Empty when the system cannot tell.
std::string own_code_folder();

// The folder of the running program. Empty when the system cannot tell.
std::string program_folder();

}  // namespace os

#endif
