// read_file.cpp - bounded reads of regular files (read_file.h).
#include "common/read_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/regular_file.h"

// Opens `path` as a regular file; -1 with the message otherwise.
static int open_for_reading(const std::string &path, struct stat *st, std::string *error)
{
    RegularFileFailure why = RegularFileFailure::None;
    const int fd = open_regular_file(path.c_str(), st, &why);
    if (why == RegularFileFailure::NotAFile)
        *error = "'" + path + "' is not a regular file";
    else if (fd < 0)
        *error = "cannot open '" + path + "': " + std::strerror(errno);
    return fd;
}

bool read_whole_file(const std::string &path, size_t max_bytes, std::string *bytes,
                     std::string *error, struct stat *opened)
{
    bytes->clear();
    struct stat st{};
    const int fd = open_for_reading(path, &st, error);
    if (opened)
        *opened = st;
    if (fd < 0)
        return false;
    const std::string too_large = "'" + path + "' is larger than " + std::to_string(max_bytes) + " bytes";
    bool ok = static_cast<uint64_t>(st.st_size) <= max_bytes;
    if (!ok)
        *error = too_large;
    else
        bytes->reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (ok) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = "cannot read '" + path + "': " + std::strerror(errno);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (bytes->size() + static_cast<size_t>(n) > max_bytes) { // grew while read
            *error = too_large;
            ok = false;
        } else {
            bytes->append(buf, static_cast<size_t>(n));
        }
    }
    close(fd);
    if (!ok)
        bytes->clear();
    return ok;
}

FILE *open_regular_stream(const std::string &path, std::string *error)
{
    struct stat st;
    const int fd = open_for_reading(path, &st, error);
    if (fd < 0)
        return nullptr;
    FILE *f = fdopen(fd, "rb");
    if (!f) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        close(fd);
    }
    return f;
}
