// Loading modules on POSIX (Linux): dlopen, and the link /proc/self/exe for the program.
//
// Decisions:
// - The module is opened by us first, without waiting (a FIFO at its path would hold dlopen
//   for ever), and must be a regular file. dlopen then loads that very file through
//   /proc/self/fd, so what was checked is what is loaded.
// - dlopen maps the file and reads what its headers name: a file cut short ends the program
//   with SIGBUS at the first page past its end. So the headers are read before it loads: the
//   program headers, every segment's bytes and the section headers must lie within the file.
//   A file that is no ELF object of this kind is left to dlopen, which says so.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/os/module.h"

namespace os {
namespace {

const char marker = 0;  // an address inside the file that holds this code

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Reads exactly `size` bytes at `offset`
bool read_at(int fd, void* into, std::size_t size, unsigned long long offset) {
    auto* p = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t n = pread(fd, p, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
        offset += std::size_t(n);
    }
    return true;
}

// The end of `count` pieces of `each` bytes from `offset`; false when it overflows
bool end_of(unsigned long long offset, unsigned long long count, unsigned long long each,
            unsigned long long* end) {
    if (each != 0 && count > (~0ULL - offset) / each) return false;
    *end = offset + count * each;
    return true;
}

// Whether everything the ELF headers name lies within the file's `size` bytes; the reason when
// not. True for what is not an ELF object of this system's kind: dlopen refuses that itself.
bool elf_whole(int fd, unsigned long long size, std::string* reason) {
    ElfW(Ehdr) header;
    if (size < sizeof header || !read_at(fd, &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32))
        return true;
    unsigned long long needed = 0, end = 0;
    auto covers = [&](unsigned long long offset, unsigned long long count,
                      unsigned long long each) {
        if (!end_of(offset, count, each, &end)) end = ~0ULL;
        if (end > needed) needed = end;
        return end <= size;
    };
    bool whole = covers(header.e_phoff, header.e_phnum, sizeof(ElfW(Phdr))) &&
                 header.e_phentsize == sizeof(ElfW(Phdr));
    for (unsigned i = 0; whole && i < header.e_phnum; ++i) {
        ElfW(Phdr) segment;
        if (!read_at(fd, &segment, sizeof segment, header.e_phoff + i * sizeof segment)) {
            whole = false;
            break;
        }
        whole = covers(segment.p_offset, 1, segment.p_filesz);
    }
    if (whole && header.e_shnum > 0) {
        whole = header.e_shentsize == sizeof(ElfW(Shdr)) &&
                covers(header.e_shoff, header.e_shnum, sizeof(ElfW(Shdr)));
        for (unsigned i = 0; whole && i < header.e_shnum; ++i) {
            ElfW(Shdr) section;
            if (!read_at(fd, &section, sizeof section, header.e_shoff + i * sizeof section)) {
                whole = false;
                break;
            }
            if (section.sh_type != SHT_NOBITS)
                whole = covers(section.sh_offset, 1, section.sh_size);
        }
    }
    if (whole) return true;
    *reason = needed > size && needed != ~0ULL
                  ? "it is cut short: " + std::to_string(size) + " bytes, where its headers name " +
                        std::to_string(needed)
                  : std::string("its headers name bytes past its end");
    return false;
}

// Says `path` where dlopen's reason names the descriptor's link instead ("LINK: why")
std::string with_path(std::string text, const std::string& link, const char* path) {
    const std::string named = link + ":";
    for (std::size_t at = text.find(named); at != std::string::npos; at = text.find(named, at))
        text.replace(at, link.size(), path);
    return text;
}

}  // namespace

void* open_module(const char* path, bool* absent, std::string* reason) {
    *absent = false;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *absent = errno == ENOENT;
        *reason = std::string(path) + ": " + (*absent ? "no such file" : std::strerror(errno));
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *reason = std::string(path) + ": " +
                  (S_ISREG(st.st_mode)
                       ? std::strerror(errno)
                       : std::string("it is ") + kind_of(st.st_mode) + ", not a regular file");
        close(fd);
        return nullptr;
    }
    std::string damage;
    if (!elf_whole(fd, static_cast<unsigned long long>(st.st_size), &damage)) {
        *reason = std::string(path) + " is damaged: " + damage;
        close(fd);
        return nullptr;
    }
    // The file just checked, by its descriptor where /proc shows it
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    struct stat through;
    const bool by_link = stat(link.c_str(), &through) == 0 && through.st_dev == st.st_dev &&
                         through.st_ino == st.st_ino;
    dlerror();
    void* module = dlopen(by_link ? link.c_str() : path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module) {
        const char* why = dlerror();
        *reason = why ? with_path(why, link, path) : std::string(path) + ": cannot be loaded";
    }
    close(fd);
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
