// platform.cpp - the Linux calls of platform.h and their fallbacks.
#include "common/platform.h"

#include <dirent.h>
#include <fcntl.h> // renameat2, RENAME_EXCHANGE (glibc, _GNU_SOURCE)
#include <sched.h> // SCHED_IDLE (glibc, _GNU_SOURCE)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h> // malloc_trim
#endif

#include "common/read_file.h"

#if defined(__linux__) && defined(RENAME_EXCHANGE)
#define HAVE_RENAMEAT2 1
#else
#define HAVE_RENAMEAT2 0
#endif

int exchange_names(const char *a, const char *b)
{
#if HAVE_RENAMEAT2
    return renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
#else
    (void)a;
    (void)b;
    errno = ENOSYS;
    return -1;
#endif
}

int rename_no_replace(const char *from, const char *to)
{
#if HAVE_RENAMEAT2
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
#endif
    if (link(from, to) != 0)
        return -1;
    unlink(from);
    return 0;
}

// A small file of /proc, read whole; empty where there is none.
static std::string proc_text(const char *path, size_t max_bytes)
{
    std::string text, error;
    if (!read_whole_file(path, max_bytes, &text, &error))
        text.clear();
    return text;
}

std::string own_program_path()
{
#ifdef __linux__
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0)
        return std::string(exe, static_cast<size_t>(n));
#endif
    return "";
}

void give_back_free_memory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

size_t own_resident_bytes()
{
    unsigned long size = 0, resident = 0;
    if (std::sscanf(proc_text("/proc/self/statm", 4096).c_str(), "%lu %lu", &size, &resident) != 2)
        return 0;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

std::string descriptor_path(int fd)
{
    const std::string by_fd = "/proc/self/fd/" + std::to_string(fd);
    return access(by_fd.c_str(), F_OK) == 0 ? by_fd : "";
}

int open_own_mapped_file(uintptr_t start)
{
    // Made as it is read (its size shows 0): the bound, some 100,000
    // mappings, only guards against a runaway.
    const std::string maps = proc_text("/proc/self/maps", 16u << 20);
    for (size_t at = 0; at < maps.size();) {
        const size_t end = std::min(maps.find('\n', at), maps.size());
        uintptr_t lo = 0, hi = 0;
        if (std::sscanf(maps.c_str() + at, "%" SCNxPTR "-%" SCNxPTR, &lo, &hi) == 2 && lo == start) {
            char path[96];
            std::snprintf(path, sizeof path, "/proc/self/map_files/%" PRIxPTR "-%" PRIxPTR, lo, hi);
            return open(path, O_RDONLY | O_CLOEXEC);
        }
        at = end + 1;
    }
    return -1;
}

bool may_set_any_niceness()
{
    const std::string status = proc_text("/proc/self/status", 1u << 16);
    const size_t at = status.find("\nCapEff:");
    unsigned long long caps = 0;
    if (at == std::string::npos || std::sscanf(status.c_str() + at, "\nCapEff: %llx", &caps) != 1)
        return false;
    constexpr int CAP_SYS_NICE_BIT = 23;
    return (caps >> CAP_SYS_NICE_BIT) & 1;
}

bool enter_idle_class()
{
#ifdef SCHED_IDLE
    sched_param param{};
    return sched_setscheduler(0, SCHED_IDLE, &param) == 0;
#else
    return false;
#endif
}

bool leave_idle_class_thread(int tid)
{
#ifdef SCHED_IDLE
    sched_param param{};
    return sched_getscheduler(tid) != SCHED_IDLE || sched_setscheduler(tid, SCHED_OTHER, &param) == 0;
#else
    (void)tid;
    return false;
#endif
}

// The parent of process `pid` (the fourth field of /proc/PID/stat, after
// the name in parentheses, which may hold anything); -1 when it is gone.
static long parent_process(const char *pid)
{
    const std::string stat = proc_text((std::string("/proc/") + pid + "/stat").c_str(), 4096);
    const size_t close = stat.rfind(')');
    long parent = -1;
    if (close == std::string::npos || std::sscanf(stat.c_str() + close + 1, " %*c %ld", &parent) != 1)
        return -1;
    return parent;
}

int leave_idle_class(int root, int niceness)
{
    // Every process and its parent, then the tree under `root` (a build's
    // tools put their own children in groups of their own, so the group
    // alone misses the compilers).
    std::vector<std::pair<long, long>> parents; // (process, parent)
    DIR *procs = opendir("/proc");
    if (!procs)
        return 0;
    while (const dirent *p = readdir(procs))
        if (p->d_name[0] >= '1' && p->d_name[0] <= '9')
            parents.emplace_back(std::atol(p->d_name), parent_process(p->d_name));
    closedir(procs);
    std::vector<long> tree{root};
    for (size_t i = 0; i < tree.size(); i++)
        for (const auto &[process, parent] : parents)
            if (parent == tree[i])
                tree.push_back(process);
    int moved = 0;
    for (const long process : tree) {
        const std::string tasks_dir = "/proc/" + std::to_string(process) + "/task";
        DIR *tasks = opendir(tasks_dir.c_str());
        if (!tasks)
            continue;
        while (const dirent *t = readdir(tasks)) {
            const int tid = std::atoi(t->d_name);
            if (tid <= 0)
                continue;
            setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceness);
            moved += leave_idle_class_thread(tid) ? 1 : 0;
        }
        closedir(tasks);
    }
    return moved;
}
