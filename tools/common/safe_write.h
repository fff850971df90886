// safe_write.h - writing a file so that a reader never sees half of it.
//
// The bytes go to "PATH.tmp" in the same directory first; only when every
// byte is written and the file is closed without error is the temporary file
// renamed over PATH (an atomic replacement on one file system). On any failure
// the temporary file is removed and PATH keeps what it held before.
//
// The tools use it for every output a later step or the demo reads. Writers
// of several files that must change together (the track files) write all the
// temporary files first, then replace them one after another, with a way
// back (tools/timeline/timeline.cpp).
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

// The temporary name a file is written under before it replaces `path`.
inline std::string temporary_path_for(const std::string &path)
{
    return path + ".tmp";
}

// Writes `size` bytes to the temporary file of `path`. False, with a message
// naming the file in *error, when it cannot be created or written in full.
inline bool write_temporary_file(const std::string &path, const void *bytes, size_t size,
                                 std::string *error)
{
    const std::string tmp = temporary_path_for(path);
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        *error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = size == 0 || std::fwrite(bytes, 1, size, f) == size;
    const int write_errno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        *error = "cannot write " + tmp + ": " + std::strerror(written ? errno : write_errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

// Renames the temporary file of `path` over `path`; removes it on failure.
inline bool replace_with_temporary_file(const std::string &path, std::string *error)
{
    const std::string tmp = temporary_path_for(path);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = "cannot rename " + tmp + " to " + path + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

// Drops the temporary file of `path`, if any.
inline void remove_temporary_file(const std::string &path)
{
    std::remove(temporary_path_for(path).c_str());
}

// The whole sequence for one file.
inline bool write_file_safely(const std::string &path, const void *bytes, size_t size,
                              std::string *error)
{
    return write_temporary_file(path, bytes, size, error) && replace_with_temporary_file(path, error);
}
