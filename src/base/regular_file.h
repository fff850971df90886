// regular_file.h - opening a file for reading only when it is a regular file.
//
// The open never blocks (a FIFO in the file's place would wait for a
// writer), and the check is made on the opened descriptor, so nothing can be
// swapped in between a check and the open. Header only: the demo's music
// and track loaders share it, on every platform the demo builds for.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// Why open_regular_file failed: the file is not there, it is there but is no
// regular file (a directory, a FIFO, a device), or it could not be read
// (errno tells why).
enum class RegularFileFailure { None, Missing, NotAFile, Unreadable };

// A descriptor open for reading, with the file's status in *st; -1 and the
// reason in *why (when given) otherwise.
inline int open_regular_file(const char *path, struct stat *st, RegularFileFailure *why = nullptr)
{
    int flags = O_RDONLY;
#ifdef O_NONBLOCK
    flags |= O_NONBLOCK;
#endif
#ifdef O_BINARY
    flags |= O_BINARY;
#endif
#ifdef O_CLOEXEC
    flags |= O_CLOEXEC;
#endif
    RegularFileFailure failure = RegularFileFailure::None;
    int fd = path ? ::open(path, flags) : -1;
    if (!path) {
        failure = RegularFileFailure::Missing;
    } else if (fd < 0) {
        failure = errno == ENOENT ? RegularFileFailure::Missing : RegularFileFailure::Unreadable;
    } else if (fstat(fd, st) != 0) {
        failure = RegularFileFailure::Unreadable;
    } else if (!S_ISREG(st->st_mode)) {
        failure = RegularFileFailure::NotAFile;
    }
    if (failure != RegularFileFailure::None && fd >= 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = -1;
    }
    if (why)
        *why = failure;
    return fd;
}
