// output_file.cpp - temporary file, write, rename.
#include "common/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY // Windows: no newline translation
#define O_BINARY 0
#endif

// Opens a fresh temporary file for writing; -1 with errno on failure.
static int open_temporary(const std::string &path, std::string *temporary)
{
    const std::string base = path + ".tmp-" + std::to_string(static_cast<long>(getpid()));
    for (int n = 0; n < 1000; n++) {
        *temporary = n == 0 ? base : base + "-" + std::to_string(n);
        const int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_BINARY, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool create_temporary_beside(const std::string &path, std::string *temporary, std::string *error)
{
    const int fd = open_temporary(path, temporary);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    return true;
}

bool move_into_place(const std::string &temporary, const std::string &path, std::string *error)
{
    // std::filesystem's rename replaces an existing file on every system.
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        *error = "cannot replace " + path + ": " + ec.message();
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

void remove_temporary(const std::string &temporary)
{
    std::remove(temporary.c_str());
}

static bool write_all(int fd, const unsigned char *p, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool write_output_file(const std::string &path, const void *bytes, size_t size, std::string *error)
{
    std::string temporary;
    const int fd = open_temporary(path, &temporary);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = write_all(fd, static_cast<const unsigned char *>(bytes), size);
    int why = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        why = errno;
    }
    if (!ok) {
        *error = "cannot write " + path + ": " + std::strerror(why);
        remove_temporary(temporary);
        return false;
    }
    return move_into_place(temporary, path, error);
}
