// file_identity.h - whether a file is still the one last looked at: its
// device, inode, size and modification time (to the nanosecond), and
// whether it is a regular file. A rename of another file into place
// changes the inode; a rewrite in place the size or the time. Watches
// compare identities to see a change with one stat; a save compares them
// to see an outside save landed since (place_files.h).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

struct FileIdentity {
    bool valid = false; // false: no file (or not looked at yet)
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t mtime_ns = 0;
    bool regular = false;
};

// The identity of a status.
FileIdentity file_identity(const struct stat &st);

// The identity of the file at `path` (stat: a link is followed); invalid
// when there is none.
FileIdentity identity_of_path(const std::string &path);

// The identity of the file at `path` itself (lstat: a link is not followed).
FileIdentity identity_of_name(const std::string &path);

// Whether both are files and the same file unchanged.
bool same_file_identity(const FileIdentity &a, const FileIdentity &b);

// As same_file_identity, and a file missing both times has not changed either.
bool same_identity(const FileIdentity &a, const FileIdentity &b);
