// platform.cpp - the Linux calls of platform.h and their fallbacks.
#include "common/platform.h"

#include <fcntl.h> // renameat2, RENAME_EXCHANGE (glibc, _GNU_SOURCE)
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <string>

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
