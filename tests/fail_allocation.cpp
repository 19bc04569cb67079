// A preloadable allocator that fails one allocation: with FAIL_ALLOCATION=N in the environment
// the Nth call of malloc, calloc, realloc, posix_memalign or aligned_alloc made after the
// program starts fails, as it would with no memory left: it returns null. operator new allocates
// through these, so it throws std::bad_alloc (or returns null for the nothrow forms).
// Every other call goes to the real allocator. With FAIL_ALLOCATION_ONWARD=1 every call from
// the Nth on fails too, as when memory stays exhausted. FAIL_ALLOCATION_LOG=FILE appends, when the
// program ends, the number of allocations made, so a driver knows how far to count, and
// FAIL_ALLOCATION_TRACE=1 prints where the failed call came from on standard error.
// FAIL_ALLOCATION_SPARE=NAME leaves alone the calls made directly from a library whose file
// name contains NAME: they are neither counted nor failed (for a library known not to survive
// its own allocations failing, so that the rest can be tried). FAIL_ALLOCATION_ONLY=NAME does
// the opposite: only the calls made directly from that library are counted and failed.
//
// LD_PRELOAD=libfail_allocation.so FAIL_ALLOCATION=17 kelvra-demo
//
// Counting starts when the program's main() is entered (the start-up of the libraries it is
// linked with, dozens of them through the video encoders, is theirs, not the program's) and
// covers every thread (the audio thread included), so a run is repeatable only where the
// threads allocate in a fixed order; the tests run without an audio device. Built without the
// sanitizers: their runtimes must own malloc themselves.
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

using Malloc = void* (*)(std::size_t);
using Calloc = void* (*)(std::size_t, std::size_t);
using Realloc = void* (*)(void*, std::size_t);
using Memalign = int (*)(void**, std::size_t, std::size_t);
using AlignedAlloc = void* (*)(std::size_t, std::size_t);

Malloc real_malloc;
Calloc real_calloc;
Realloc real_realloc;
Memalign real_memalign;
AlignedAlloc real_aligned_alloc;
void (*real_free)(void*);

std::atomic<long long> calls{0};
std::atomic<bool> in_main{false};  // main() has been entered: calls are counted
long long fail_at = -1;            // from FAIL_ALLOCATION; -1: never
bool onward = false;               // FAIL_ALLOCATION_ONWARD: every call from fail_at on fails
const char* log_file = nullptr;
bool trace = false;
const char* spare = nullptr;
const char* only = nullptr;

bool from_library(const void* caller, const char* name) {
    Dl_info info;
    return dladdr(caller, &info) && info.dli_fname && std::strstr(info.dli_fname, name);
}

// Whether the allocation is left alone: asked for by the spared library, or by any but the
// only one tried
bool spared(const void* caller) {
    if (spare && from_library(caller, spare)) return true;
    return only && !from_library(caller, only);
}

// dlsym may allocate before the real functions are known: served from here, never freed
alignas(std::max_align_t) char early[4096];
std::size_t early_used = 0;

bool is_early(const void* p) { return p >= early && p < early + sizeof early; }

void* early_allocation(std::size_t size) {
    size = (size + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    if (early_used + size > sizeof early) return nullptr;
    void* p = early + early_used;
    early_used += size;
    return p;
}

bool resolving = false;

void resolve() {
    if (real_malloc || resolving) return;
    resolving = true;
    real_calloc = reinterpret_cast<Calloc>(dlsym(RTLD_NEXT, "calloc"));
    real_realloc = reinterpret_cast<Realloc>(dlsym(RTLD_NEXT, "realloc"));
    real_memalign = reinterpret_cast<Memalign>(dlsym(RTLD_NEXT, "posix_memalign"));
    real_aligned_alloc = reinterpret_cast<AlignedAlloc>(dlsym(RTLD_NEXT, "aligned_alloc"));
    real_free = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_NEXT, "free"));
    real_malloc = reinterpret_cast<Malloc>(dlsym(RTLD_NEXT, "malloc"));
    resolving = false;
}

// True when this call is the one to fail; errno is then ENOMEM, as the real allocator leaves it
bool fails(const void* caller) {
    if (!in_main.load(std::memory_order_relaxed)) return false;
    if (spared(caller)) return false;
    const long long n = calls.fetch_add(1, std::memory_order_relaxed) + 1;
    if (fail_at < 0 || n < fail_at || (n > fail_at && !onward)) return false;
    if (trace &&
        n ==
            fail_at) {  // backtrace() allocates on its first call: past the failed one, so harmless
        void* frames[32];
        backtrace_symbols_fd(frames, backtrace(frames, 32), 2);
    }
    errno = ENOMEM;
    return true;
}

struct Settings {
    Settings() {
        resolve();
        if (const char* n = std::getenv("FAIL_ALLOCATION")) fail_at = std::atoll(n);
        log_file = std::getenv("FAIL_ALLOCATION_LOG");
        trace = std::getenv("FAIL_ALLOCATION_TRACE") != nullptr;
        onward = std::getenv("FAIL_ALLOCATION_ONWARD") != nullptr;
        spare = std::getenv("FAIL_ALLOCATION_SPARE");
        only = std::getenv("FAIL_ALLOCATION_ONLY");
    }
    ~Settings() {
        if (!log_file) return;
        const int fd = open(log_file, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0) return;
        char line[64];
        const int length = std::snprintf(line, sizeof line, "%lld\n", calls.load());
        if (length > 0 && write(fd, line, std::size_t(length)) < 0) {
        }
        close(fd);
    }
};
Settings settings __attribute__((init_priority(101)));

void* allocate(std::size_t size, const void* caller) {
    resolve();
    if (!real_malloc) return early_allocation(size);
    if (fails(caller)) return nullptr;
    return real_malloc(size);
}

}  // namespace

// The C library's start calls the program's main() through here, so counting can begin there
using Main = int (*)(int, char**, char**);
Main program_main = nullptr;

int counted_main(int argc, char** argv, char** environment) {
    in_main = true;
    return program_main(argc, argv, environment);
}

extern "C" {

int __libc_start_main(Main main, int argc, char** argv, void (*init)(), void (*fini)(),
                      void (*rtld_fini)(), void* stack_end) {
    using Start = int (*)(Main, int, char**, void (*)(), void (*)(), void (*)(), void*);
    const auto start = reinterpret_cast<Start>(dlsym(RTLD_NEXT, "__libc_start_main"));
    program_main = main;
    return start(counted_main, argc, argv, init, fini, rtld_fini, stack_end);
}

void* malloc(std::size_t size) { return allocate(size, __builtin_return_address(0)); }

void* calloc(std::size_t count, std::size_t size) {
    resolve();
    if (!real_calloc) {
        void* p = early_allocation(count * size);  // zeroed: never used before
        return p;
    }
    if (fails(__builtin_return_address(0))) return nullptr;
    return real_calloc(count, size);
}

void* realloc(void* p, std::size_t size) {
    resolve();
    if (is_early(p)) {
        void* moved = allocate(size, __builtin_return_address(0));
        const std::size_t kept = std::size_t(early + sizeof early - static_cast<char*>(p));
        if (moved) std::memcpy(moved, p, size < kept ? size : kept);
        return moved;
    }
    if (fails(__builtin_return_address(0))) return nullptr;
    return real_realloc(p, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    resolve();
    if (fails(__builtin_return_address(0))) return ENOMEM;
    return real_memalign(out, alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    resolve();
    if (fails(__builtin_return_address(0))) return nullptr;
    return real_aligned_alloc(alignment, size);
}

void free(void* p) {
    resolve();
    if (!p || is_early(p) || !real_free) return;
    real_free(p);
}

}  // extern "C"

// operator new and delete through the functions above. Needed where a sanitizer's runtime
// defines its own operator new, which would not come here; elsewhere they do what the
// standard library's would.
namespace {
void* new_or_throw(std::size_t size) {
    void* p = allocate(size ? size : 1, __builtin_return_address(0));
    if (!p) throw std::bad_alloc();
    return p;
}
void* new_aligned_or_throw(std::size_t size, std::align_val_t alignment) {
    void* p = nullptr;
    if (posix_memalign(&p, std::max(std::size_t(alignment), sizeof(void*)), size ? size : 1) != 0)
        throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return new_or_throw(size); }
void* operator new[](std::size_t size) { return new_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size ? size : 1, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size ? size : 1, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return new_aligned_or_throw(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return new_aligned_or_throw(size, alignment);
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
void operator delete(void* p, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { free(p); }
