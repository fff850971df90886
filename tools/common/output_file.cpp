// output_file.cpp - exclusive temporary file, write, fsync, rename.
#include "common/output_file.h"
#include "common/stray_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h> // _commit
#endif

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NOFOLLOW // Windows: no symbolic links to follow through open()
#define O_NOFOLLOW 0
#endif
#ifndef O_BINARY // Windows: no newline translation
#define O_BINARY 0
#endif

// Tries this many names before giving up (each taken name is someone else's).
constexpr int MAX_NAME_TRIES = 1000;

std::string unique_name(const std::string &base, int n)
{
    const std::string name = base + "-" + std::to_string(static_cast<long>(getpid()));
    return n == 0 ? name : name + "-" + std::to_string(n);
}

static std::string failure(const char *what, const std::string &path, int why)
{
    return std::string("cannot ") + what + " " + path + ": " + std::strerror(why);
}

// Gives the new file the permission bits of the regular file at `path`
// (lstat: a link's target is not ours to copy); without one it keeps 0666
// less the umask. The owner, when the file has one other than us, is kept where the
// system lets us (root, or a group we belong to).
static void take_mode_of(const std::string &path, int fd)
{
#ifdef _WIN32
    (void)path;
    (void)fd;
#else
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if (st.st_uid != geteuid() || st.st_gid != getegid())
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Not allowed: the file is ours, as any new file would be.
        }
    fchmod(fd, st.st_mode & 07777);
#endif
}

// The folder a file of that name goes into.
static std::string folder_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool open_output_file(const std::string &path, OutputFile *out, std::string *error)
{
    // The first output into a folder takes away what killed writers left there.
    sweep_stray_files(folder_of(path));
    out->path = path;
    out->fd = -1;
    for (int n = 0; n < MAX_NAME_TRIES; n++) {
        out->temporary = unique_name(path + ".tmp", n);
        out->fd = open(out->temporary.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_BINARY, 0666);
        if (out->fd >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    *error = failure("create", path, errno);
    return false;
}

bool write_output_bytes(OutputFile *out, const void *bytes, size_t size, std::string *error)
{
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    while (size > 0) {
        const ssize_t n = write(out->fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = failure("write", out->path, n == 0 ? ENOSPC : errno);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

static int sync_to_disk(int fd)
{
#ifdef _WIN32
    return _commit(fd);
#else
    int r;
    do
        r = fsync(fd);
    while (r != 0 && errno == EINTR);
    return r;
#endif
}

bool close_output_file(OutputFile *out, std::string *error)
{
    // The mode is taken last: a library may still open the file by name to
    // write it until here.
    take_mode_of(out->path, out->fd);
    int why = 0;
    if (sync_to_disk(out->fd) != 0)
        why = errno;
    if (close(out->fd) != 0 && why == 0)
        why = errno;
    out->fd = -1;
    if (why != 0) {
        *error = failure("write", out->path, why);
        discard_output_file(out);
        return false;
    }
    return true;
}

bool place_output_file(OutputFile *out, std::string *error)
{
    if (out->fd >= 0 && !close_output_file(out, error))
        return false;
    // std::filesystem's rename replaces an existing file on every system.
    std::error_code ec;
    std::filesystem::rename(out->temporary, out->path, ec);
    if (ec) {
        *error = "cannot replace " + out->path + ": " + ec.message();
        discard_output_file(out);
        return false;
    }
    out->temporary.clear();
    return true;
}

void discard_output_file(OutputFile *out)
{
    if (out->fd >= 0)
        close(out->fd);
    out->fd = -1;
    if (!out->temporary.empty())
        std::remove(out->temporary.c_str());
    out->temporary.clear();
}

bool write_output_file(const std::string &path, const void *bytes, size_t size, std::string *error)
{
    OutputFile out;
    if (!open_output_file(path, &out, error))
        return false;
    if (!write_output_bytes(&out, bytes, size, error)) {
        discard_output_file(&out);
        return false;
    }
    return place_output_file(&out, error);
}

void ignore_file_size_signal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
