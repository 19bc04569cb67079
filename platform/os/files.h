// Files written for the user (the display library's capture): a new file is written beside the
// one it replaces and put in its place whole, and only where a careful tool would write.
// POSIX: files_posix.cpp.
//
// What a path may be: absent (in a folder where the user may create files), a regular file the
// user may write and owns (or whose owner can be kept), or a link to such a file, which stays a
// link while the file it names is replaced. Anything else (a device, a FIFO, a folder, a socket,
// a link to one of these or to nothing) is refused and left alone, also when it appears at the
// path while the new file is being written. Nothing is ever removed but the new file of ours,
// on failure, and the regular file it replaced. Where the file system allows it the new file has
// no name until it is finished, so a program killed meanwhile leaves nothing behind.
#ifndef PLATFORM_OS_FILES_H
#define PLATFORM_OS_FILES_H

#include <cstddef>
#include <string>

namespace os {

// Whether replace_file could write the path as things stand now; false and a reason (for
// example "it is a FIFO, not a regular file") when it could not. replace_file checks again.
bool file_replaceable(const char* path, std::string* reason);

// Writes the bytes to a new file beside the path and puts that in its place. A file replaced
// keeps its permission bits, owner and group. False and a reason when nothing was replaced: the
// reason names what failed ("No space left on device", "File too large"); a write beyond the
// process's file size limit fails like this instead of ending the program.
bool replace_file(const char* path, const void* bytes, std::size_t size, std::string* reason);

// The same for a file too large to hold in memory (the recorder's video), written a piece at a
// time: create() looks at the path as replace_file does and makes our new file beside it;
// write() and seek() fill it; commit() flushes it and puts it in place, by the same rules and
// with the same reasons. A file not committed is removed when the object goes. While it lives,
// a write past the process's file size limit fails ("File too large") instead of ending the
// program. POSIX only so far.
class NewFile {
public:
    NewFile();
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool create(const char* path, std::string* reason);
    bool write(const void* bytes, std::size_t size, std::string* reason);
    // Moves the position as lseek does (whence SEEK_SET, SEEK_CUR or SEEK_END); the new
    // position, or -1 with errno set
    long long seek(long long offset, int whence);
    long long size();  // -1 with errno set when it cannot tell
    // A path that opens our new file until commit(), for reading back what was written (the
    // file may have no name of its own: then it is the descriptor's, under /proc)
    std::string path() const;
    bool commit(std::string* reason);

private:
    struct State;
    State* state_;
};

}  // namespace os

#endif
