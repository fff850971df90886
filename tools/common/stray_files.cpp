// stray_files.cpp - the sweep of temporary files left by killed writers.
#include "common/stray_files.h"

#include <cstdio>
#include <mutex>
#include <set>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#endif

#ifdef _WIN32

int remove_stray_files(const std::string &, const std::string &) { return 0; }

#else

// The PID in "PID" or "PID-N" at `from`, 0 when the rest of the name is
// something else.
static long pid_at(const std::string &name, size_t from)
{
    long pid = 0;
    size_t i = from;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; i++) {
        pid = pid * 10 + (name[i] - '0');
        if (pid > INT_MAX)
            return 0;
    }
    if (i == from)
        return 0;
    if (i < name.size()) { // "-N"
        if (name[i] != '-' || i + 1 == name.size())
            return 0;
        for (size_t j = i + 1; j < name.size(); j++)
            if (name[j] < '0' || name[j] > '9')
                return 0;
    }
    return pid;
}

// The PID of a temporary file's name ("NAME.tmp-PID[-N]", "NAME.old-PID[-N]"), or 0.
static long file_pid(const std::string &name)
{
    for (const char *marker : {".tmp-", ".old-"}) {
        const size_t at = name.rfind(marker);
        if (at != std::string::npos && at > 0)
            if (const long pid = pid_at(name, at + 5))
                return pid;
    }
    return 0;
}

// True only when no process has that PID (another user's process is there).
static bool process_gone(long pid)
{
    return pid > 0 && pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Removes the names in the folder `name` of `parent` and the folder itself.
static bool remove_folder(int parent, const char *name)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR *d = fdopendir(fd);
    if (!d) {
        close(fd);
        return false;
    }
    while (const dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            unlinkat(fd, e->d_name, 0); // fails on a folder, which then keeps this one
    closedir(d);
    return unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

int remove_stray_files(const std::string &dir, const std::string &folder_prefix)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR *d = fdopendir(fd);
    if (!d) {
        close(fd);
        return 0;
    }
    const std::string folder_start = folder_prefix + "-";
    int removed = 0;
    while (const dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        struct stat st;
        if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            if (process_gone(file_pid(name)) && unlinkat(fd, e->d_name, 0) == 0)
                removed++;
        } else if (S_ISDIR(st.st_mode) && !folder_prefix.empty() &&
                   name.compare(0, folder_start.size(), folder_start) == 0) {
            if (process_gone(pid_at(name, folder_start.size())) && remove_folder(fd, e->d_name))
                removed++;
        }
    }
    closedir(d);
    return removed;
}

#endif

void sweep_stray_files(const std::string &dir, const std::string &folder_prefix)
{
    static std::mutex lock;
    static std::set<std::string> swept;
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (!swept.insert(dir).second)
            return;
    }
    const int removed = remove_stray_files(dir, folder_prefix);
    if (removed == 0)
        return;
#ifdef __GLIBC__
    const char *program = program_invocation_short_name;
#else
    const char *program = "";
#endif
    std::fprintf(stderr, "%s: removed %d temporary file%s of ended processes from %s\n", program, removed,
                 removed == 1 ? "" : "s", dir.c_str());
}
