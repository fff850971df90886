// platform.h - the calls of the tools that only some systems have, each
// with what it does where the system lacks it. Linux with glibc has them
// all; elsewhere each one fails (or answers "unknown") in the way given, so
// its callers keep a path for that case. Nothing else in tools/ names
// renameat2, /proc or malloc_trim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Swaps the files of two names in one step: 0, or -1 with errno. EINVAL or
// ENOTSUP on a file system without the exchange, ENOSYS on a system
// without it: the caller then looks and renames (place_files.h).
int exchange_names(const char *a, const char *b);

// Renames `from` to `to` only when nothing is at `to`: 0, or -1 with errno
// (EEXIST when something is there). Where the one-step call is missing
// (system or file system) a hard link to `to` and the removal of `from`
// do the same: a link never replaces either.
int rename_no_replace(const char *from, const char *to);

// The path of the running program (/proc/self/exe); "" where the system
// cannot tell.
std::string own_program_path();

// Hands the allocator's free pages back to the system (malloc_trim), so the
// process's memory follows what it holds rather than its busiest moment;
// nothing where the allocator has no such call.
void give_back_free_memory();

// The process's resident memory in bytes (/proc/self/statm); 0 where unknown.
size_t own_resident_bytes();

// A name under which a library can open the file behind the descriptor `fd`
// again, whatever has been put at the file's own name since
// (/proc/self/fd/N); "" where there is none.
std::string descriptor_path(int fd);

// A descriptor, open for reading, of the file mapped in this process at
// address `start` (the mapping's first byte), also when its name has been
// removed since (/proc/self/map_files); -1 where there is none.
int open_own_mapped_file(uintptr_t start);

// Whether this process may lower any process's niceness (CAP_SYS_NICE in
// its effective set, /proc/self/status); false where the system cannot tell.
bool may_set_any_niceness();
