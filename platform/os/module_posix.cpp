// Loading modules on POSIX (Linux): dlopen, and the link /proc/self/exe for the program.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/os/module.h"

namespace os {
namespace {

const char marker = 0;  // an address inside the file that holds this code

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void* open_module(const char* path, bool* absent, std::string* reason) {
    *absent = false;
    if (access(path, F_OK) != 0 && errno == ENOENT) {
        *absent = true;
        *reason = std::string(path) + ": no such file";
        return nullptr;
    }
    dlerror();
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module) {
        const char* why = dlerror();
        *reason = why ? why : std::string(path) + ": cannot be loaded";
    }
    return module;
}

void* module_symbol(void* module, const char* name) { return dlsym(module, name); }

std::string own_code_folder() {
    Dl_info info{};
    if (dladdr(&marker, &info) == 0 || !info.dli_fname) return "";
    // A shared library is named by the path it was loaded from; the program by the name it
    // was started with, which may be relative to a folder left since
    if (info.dli_fname[0] != '/') return program_folder();
    char resolved[PATH_MAX];
    return folder_of(realpath(info.dli_fname, resolved) ? resolved : info.dli_fname);
}

std::string program_folder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    return folder_of(std::string(path, std::size_t(length)));
}

}  // namespace os
