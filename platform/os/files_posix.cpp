// Writing a file for the user on POSIX (Linux): see files.h.
//
// Decisions:
// - Everything after the path is resolved works through one descriptor on the target's folder,
//   so the checks and the rename are about the same folder even if its path changes meanwhile.
// - The target is looked at through a descriptor opened O_PATH|O_NOFOLLOW, which opens nothing
//   (a FIFO does not wait, a device is not started): what it is, whether we may write it, whose
//   it is, and its inode, which tells later whether it is still the same file.
// - An absent target is filled with renameat2(RENAME_NOREPLACE): anything that appeared there
//   since the look makes it fail, and we look again. A regular file is replaced with
//   RENAME_EXCHANGE: what was at the path then sits under our temporary name. When that is the
//   very file we looked at, it is removed; when it is anything else (a FIFO or device swapped in
//   at the last moment), it is exchanged back at once and we look again, which refuses it.
//   Between the two exchanges it stays in the same folder under our name; it is never removed.
// - Where the file system has no such renames, an absent target is filled with link(), which
//   never replaces either, and a regular file is replaced with rename() after a last look,
//   which leaves a window of one system call.
// - A file we may not write, or that belongs to another user, is refused as a shell's redirect
//   would be ("Permission denied"), rather than replaced by one of ours: the folder allowing
//   the rename is not the file's owner allowing it. Root keeps the owner and group of what it
//   replaces.
// - SIGXFSZ is ignored while we write, so a file size limit fails the write (EFBIG, "File too
//   large") instead of ending the program with our temporary file left behind.
// - The new file is flushed to the disk before it takes the old one's place, so a crash right
//   after leaves the old file or the new one, never an empty one.
// - The new file is made without a name (O_TMPFILE) where the file system allows it, so that a
//   program ended by any signal, SIGKILL included, leaves nothing: it gets its name only when
//   finished, by linkat() through /proc/self/fd, which never replaces anything. Over a regular
//   file it gets a name of ours first for the exchange, for the few system calls that takes.
//   Where there is no unnamed file (a file system without it, no /proc), it is named from the
//   start: ".NAME.capture-PID-N" beside the target, which a killed program leaves behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os/files.h"

namespace os {
namespace {

// Closed when it goes out of scope
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; the error of close, 0 when none
    int close_now() {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 && close(fd) != 0 ? errno : 0;
    }

private:
    int fd_;
};

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a link";
    return "not a regular file";
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

enum class Rename { no_replace, exchange };

// renameat2 within one folder; ENOSYS where the system has no such rename
int rename_with(int folder, const char* from, const char* to, Rename how) {
#if defined(RENAME_NOREPLACE) && defined(RENAME_EXCHANGE)
    return renameat2(folder, from, folder, to,
                     how == Rename::exchange ? RENAME_EXCHANGE : RENAME_NOREPLACE);
#else
    (void)folder, (void)from, (void)to, (void)how;
    errno = ENOSYS;
    return -1;
#endif
}

// The file written for a path: a link to a regular file is followed to the file it names (the
// link stays); the rest is looked at later through the folder
struct Place {
    std::string folder;  // "." when the path has none
    std::string name;
};

bool find_place(const char* path, Place* place, std::string* reason) {
    std::string written = path;
    if (written.empty() || written.back() == '/') {
        *reason = "it names a folder, not a file";
        return false;
    }
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (stat(path, &st) != 0) {
            *reason = "it is a link to " +
                      (errno == ENOENT ? std::string("nothing") : std::strerror(errno));
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            *reason =
                std::string("it is a link to ") + kind_of(st.st_mode) + ", not to a regular file";
            return false;
        }
        char* resolved = realpath(path, nullptr);
        if (!resolved) {
            *reason = std::strerror(errno);
            return false;
        }
        try {
            written = resolved;
        } catch (...) {
            std::free(resolved);
            throw;
        }
        std::free(resolved);
    }
    const std::size_t slash = written.rfind('/');
    if (slash == std::string::npos) {
        place->folder = ".";
        place->name = written;
    } else {
        place->folder = slash == 0 ? "/" : written.substr(0, slash);
        place->name = written.substr(slash + 1);
    }
    return true;
}

// The target's folder, through a descriptor that opens nothing; -1 and a reason when it is
// missing or we may not create a file in it
int open_folder(const Place& place, std::string* reason) {
    const int folder = open(place.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        *reason = "cannot use the folder " + place.folder + ": " + std::strerror(errno);
        return -1;
    }
    int allowed = faccessat(folder, "", W_OK | X_OK, AT_EACCESS | AT_EMPTY_PATH);
    if (allowed != 0 && (errno == EINVAL || errno == ENOSYS))
        allowed = faccessat(AT_FDCWD, place.folder.c_str(), W_OK | X_OK, AT_EACCESS);
    if (allowed != 0) {
        const int error = errno;
        close(folder);
        *reason = "cannot create a file in " + place.folder + ": " + std::strerror(error);
        return -1;
    }
    return folder;
}

// What is at the name now, and whether we may replace it: absent, or a regular file we may
// write and that is ours (or whose owner we can keep: root)
struct Found {
    bool exists = false;
    struct stat st {};
};

bool look(int folder, const std::string& name, Found* found, std::string* reason) {
    const int fd = openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            found->exists = false;
            return true;
        }
        *reason = std::strerror(errno);
        return false;
    }
    Descriptor held(fd);
    if (fstat(fd, &found->st) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    found->exists = true;
    if (!S_ISREG(found->st.st_mode)) {
        *reason = std::string("it is ") + kind_of(found->st.st_mode) + ", not a regular file";
        return false;
    }
    // The file the descriptor holds, not whatever has its name by now
    int allowed = faccessat(fd, "", W_OK, AT_EACCESS | AT_EMPTY_PATH);
    if (allowed != 0 && (errno == EINVAL || errno == ENOSYS))
        allowed = faccessat(folder, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW);
    if (allowed != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (found->st.st_uid != geteuid() && geteuid() != 0) {
        *reason = "it belongs to another user, and replacing it would change its owner";
        return false;
    }
    return true;
}

// The replaced file's owner, group and permission bits on our new one
bool keep_owner_and_mode(int fd, const struct stat& old, std::string* reason) {
    struct stat ours;
    if (fstat(fd, &ours) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if ((ours.st_uid != old.st_uid || ours.st_gid != old.st_gid) &&
        fchown(fd, old.st_uid, old.st_gid) != 0) {
        *reason = std::string("cannot keep its owner and group: ") + std::strerror(errno);
        return false;
    }
    if (fchmod(fd, old.st_mode & 07777) != 0) {
        *reason = std::string("cannot keep its permissions: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// Writes every byte; errno's reason when that fails
bool write_bytes(int fd, const void* bytes, std::size_t size, std::string* reason) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *reason = std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

// Our new file beside the target, found by its name and checked to be still ours; without a
// name (an empty one) until it is put in place when the file system allows it
struct Temporary {
    int folder;
    std::string name;
    struct stat st {};
    bool unnamed = false;

    bool still_ours() const {
        struct stat now;
        return fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && same_file(now, st);
    }
    void remove_if_ours() const {
        if (still_ours()) unlinkat(folder, name.c_str(), 0);
    }
};

// The name our file takes beside the target: its start tells whose it is, and keeps ours
// within a name's 255 bytes
std::string name_beside(const Place& place) {
    static std::atomic<unsigned> serial{0};
    return "." + place.name.substr(0, 200) + ".capture-" + std::to_string(getpid()) + "-" +
           std::to_string(serial.fetch_add(1));
}

std::string descriptor_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// An unnamed file in the folder that can be linked in later; -1 where there is none
int create_unnamed(int folder, Temporary* temporary) {
#ifdef O_TMPFILE
    const int fd = openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    // Linked in through /proc (linkat of the descriptor itself needs a privilege)
    struct stat through_proc;
    if (fstat(fd, &temporary->st) != 0 || stat(descriptor_path(fd).c_str(), &through_proc) != 0 ||
        !same_file(through_proc, temporary->st)) {
        close(fd);
        return -1;
    }
    temporary->unnamed = true;
    temporary->name.clear();
    return fd;
#else
    (void)folder, (void)temporary;
    return -1;
#endif
}

int create_beside(int folder, const Place& place, Temporary* temporary, std::string* reason) {
    const int unnamed = create_unnamed(folder, temporary);
    if (unnamed >= 0) return unnamed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary->name = name_beside(place);
        const int fd = openat(folder, temporary->name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (fstat(fd, &temporary->st) == 0) return fd;
            const int error = errno;
            unlinkat(folder, temporary->name.c_str(), 0);
            close(fd);
            errno = error;
            break;
        }
        if (errno != EEXIST) break;
    }
    *reason = "cannot create a file in " + place.folder + ": " + std::strerror(errno);
    return -1;
}

// Links our unnamed file in as `name`; fails with EEXIST when something is there
int link_unnamed(int fd, int folder, const std::string& name) {
    return linkat(AT_FDCWD, descriptor_path(fd).c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW);
}

// Gives our unnamed file a name of ours beside the target, for the exchange
bool name_unnamed(int fd, const Place& place, Temporary* temporary, std::string* reason) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = name_beside(place);
        if (link_unnamed(fd, temporary->folder, name) == 0) {
            temporary->name = name;
            temporary->unnamed = false;
            return true;
        }
        if (errno != EEXIST) break;
    }
    *reason = "cannot create a file in " + place.folder + ": " + std::strerror(errno);
    return false;
}

// Whether the folder we hold has been removed since it was opened
bool folder_gone(int folder) {
    struct stat st;
    return fstat(folder, &st) == 0 && st.st_nlink == 0;
}

// Puts our written file in the target's place: see the decisions above
bool put_in_place(int fd, Temporary* temporary, const Place& place, std::string* reason) {
    const int folder = temporary->folder;
    const std::string& name = place.name;
    for (int attempt = 0; attempt < 5; ++attempt) {
        Found now;
        if (!look(folder, name, &now, reason)) return false;
        if (!now.exists && temporary->unnamed) {
            if (link_unnamed(fd, folder, name) == 0) return true;
            if (errno == EEXIST) continue;
            break;
        }
        if (!now.exists) {
            if (rename_with(folder, temporary->name.c_str(), name.c_str(), Rename::no_replace) == 0)
                return true;
            if (errno == EEXIST) continue;
            if (errno != EINVAL && errno != ENOSYS) break;
            // No such rename here: a link never replaces anything either
            if (linkat(folder, temporary->name.c_str(), folder, name.c_str(), 0) == 0) {
                unlinkat(folder, temporary->name.c_str(), 0);
                return true;
            }
            if (errno == EEXIST) continue;
            if (renameat(folder, temporary->name.c_str(), folder, name.c_str()) == 0) return true;
            break;
        }
        if (!keep_owner_and_mode(fd, now.st, reason)) return false;
        if (temporary->unnamed && !name_unnamed(fd, place, temporary, reason)) return false;
        if (rename_with(folder, temporary->name.c_str(), name.c_str(), Rename::exchange) != 0) {
            if (errno == ENOENT) continue;  // gone meanwhile: look again
            if (errno != EINVAL && errno != ENOSYS) break;
            if (renameat(folder, temporary->name.c_str(), folder, name.c_str()) == 0) return true;
            break;
        }
        // What came out of the path is under our name now
        struct stat out;
        const bool looked =
            fstatat(folder, temporary->name.c_str(), &out, AT_SYMLINK_NOFOLLOW) == 0;
        if (looked && same_file(out, now.st)) {
            unlinkat(folder, temporary->name.c_str(), 0);  // the file we replaced
            return true;
        }
        // Something else was put there at the last moment: it goes back where it was
        if (rename_with(folder, temporary->name.c_str(), name.c_str(), Rename::exchange) != 0 ||
            !temporary->still_ours()) {
            *reason = "it changed while it was being replaced; what was there is kept as " +
                      temporary->name;
            return false;
        }
    }
    const int error = errno;
    if (folder_gone(folder)) {
        *reason = "its folder " + place.folder + " was removed while the file was being written";
    } else if (error == EEXIST || error == ENOENT || error == 0) {
        *reason = "it kept changing while it was being replaced";
    } else {
        *reason = std::string("cannot put it in place: ") + std::strerror(error);
    }
    return false;
}

}  // namespace

bool file_replaceable(const char* path, std::string* reason) {
    Place place;
    if (!find_place(path, &place, reason)) return false;
    const int folder = open_folder(place, reason);
    if (folder < 0) return false;
    Descriptor held(folder);
    Found found;
    return look(folder, place.name, &found, reason);
}

// Our new file, from create() to commit() or the end
struct NewFile::State {
    Place place;
    int folder = -1;
    int fd = -1;
    Temporary temporary{-1, std::string(), {}};
    bool committed = false;
    bool ignoring_size_signal = false;
    struct sigaction size_signal_before {};

    ~State() {
        if (fd >= 0) close(fd);
        if (!committed && !temporary.name.empty()) temporary.remove_if_ours();
        if (folder >= 0) close(folder);
        if (ignoring_size_signal) sigaction(SIGXFSZ, &size_signal_before, nullptr);
    }
};

NewFile::NewFile() : state_(nullptr) {}
NewFile::~NewFile() { delete state_; }

bool NewFile::create(const char* path, std::string* reason) {
    delete state_;
    state_ = nullptr;
    auto* s = new State;
    state_ = s;
    if (!find_place(path, &s->place, reason)) return false;
    s->folder = open_folder(s->place, reason);
    if (s->folder < 0) return false;
    Found found;
    if (!look(s->folder, s->place.name, &found, reason)) return false;
    s->temporary.folder = s->folder;
    s->fd = create_beside(s->folder, s->place, &s->temporary, reason);
    if (s->fd < 0) {
        s->temporary.name.clear();
        return false;
    }
    // Past the file size limit a write fails with EFBIG instead of the signal ending us
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    s->ignoring_size_signal = sigaction(SIGXFSZ, &ignore, &s->size_signal_before) == 0;
    return true;
}

bool NewFile::write(const void* bytes, std::size_t size, std::string* reason) {
    if (!state_ || state_->fd < 0) {
        *reason = "the file is not open";
        return false;
    }
    return write_bytes(state_->fd, bytes, size, reason);
}

long long NewFile::seek(long long offset, int whence) {
    if (!state_ || state_->fd < 0) {
        errno = EBADF;
        return -1;
    }
    return static_cast<long long>(lseek(state_->fd, static_cast<off_t>(offset), whence));
}

long long NewFile::size() {
    struct stat st;
    if (!state_ || state_->fd < 0) {
        errno = EBADF;
        return -1;
    }
    return fstat(state_->fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string NewFile::path() const {
    if (!state_ || state_->fd < 0) return std::string();
    if (state_->temporary.unnamed) return descriptor_path(state_->fd);
    return state_->place.folder + "/" + state_->temporary.name;
}

bool NewFile::commit(std::string* reason) {
    State* s = state_;
    if (!s || s->fd < 0) {
        *reason = "the file is not open";
        return false;
    }
    if (fsync(s->fd) != 0 && errno != EINVAL && errno != EROFS) {
        *reason = std::strerror(errno);
        return false;
    }
    if (!put_in_place(s->fd, &s->temporary, s->place, reason)) return false;
    s->committed = true;
    // Flushed before it was put in place: a late error of close loses nothing
    close(s->fd);
    s->fd = -1;
    return true;
}

bool replace_file(const char* path, const void* bytes, std::size_t size, std::string* reason) {
    NewFile file;
    return file.create(path, reason) && file.write(bytes, size, reason) && file.commit(reason);
}

}  // namespace os
