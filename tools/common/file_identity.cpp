// file_identity.cpp - a file's identity from its status (file_identity.h).
#include "common/file_identity.h"

FileIdentity file_identity(const struct stat &st)
{
    FileIdentity id;
    id.valid = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.regular = S_ISREG(st.st_mode);
    return id;
}

FileIdentity identity_of_path(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? file_identity(st) : FileIdentity{};
}

FileIdentity identity_of_name(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? file_identity(st) : FileIdentity{};
}

bool same_file_identity(const FileIdentity &a, const FileIdentity &b)
{
    return a.valid && b.valid && a.dev == b.dev && a.ino == b.ino && a.size == b.size &&
           a.mtime_ns == b.mtime_ns && a.regular == b.regular;
}

bool same_identity(const FileIdentity &a, const FileIdentity &b)
{
    return (!a.valid && !b.valid) || same_file_identity(a, b);
}
