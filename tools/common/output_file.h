// output_file.h - the one way every tool writes a file: never seen
// half-written, never written through something planted at its name.
//
// The bytes go to a temporary file beside the output, "NAME.tmp-PID" (with a
// further "-N" when that name is taken), which is created exclusively
// (O_CREAT | O_EXCL | O_NOFOLLOW): a symbolic link, a hard link or a FIFO
// that someone put at a temporary name is never opened, followed or waited
// on; the next name is tried instead. When it is closed the new file gets
// the permission bits (and, where allowed, the owner) of the regular file it
// will replace, else it keeps 0666 less the umask. It is flushed to disk (fsync) before it is renamed
// over NAME, which replaces the old file at once on one file system. Any
// failure removes the temporary file; a kill leaves at most that stray file;
// either way an earlier file of that name stays as it was, and the first
// output of a later run into that folder removes it (stray_files.h). Two writers of
// one name each have their own temporary file, so one whole file remains.
//
// Messages name the output, not the temporary file, with the system's
// reason: "cannot write out/a.png: File too large".
//
// Usage: open_output_file, write_output_bytes (or hand `fd` to a library),
// then place_output_file; discard_output_file on the way out of a failure.
// write_output_file does all of it for bytes in memory.
#pragma once

#include <cstddef>
#include <string>

struct OutputFile {
    std::string path;      // the name it replaces
    std::string temporary; // the name it is written under
    int fd = -1;           // open for writing until closed or discarded
};

// Creates the temporary file of `path`. False with "cannot create PATH:
// reason" in *error.
bool open_output_file(const std::string &path, OutputFile *out, std::string *error);

// Writes all of the bytes. False with "cannot write PATH: reason"; the file
// stays open, for discard_output_file.
bool write_output_bytes(OutputFile *out, const void *bytes, size_t size, std::string *error);

// Flushes the temporary file to disk and closes it; it keeps its temporary
// name (for a caller that places several files together). On failure removes
// it, with "cannot write PATH: reason".
bool close_output_file(OutputFile *out, std::string *error);

// Closes the file if still open (as close_output_file) and renames it over
// `path`. On failure removes it, with "cannot replace PATH: reason".
bool place_output_file(OutputFile *out, std::string *error);

// Closes and removes a temporary file that will not be finished.
void discard_output_file(OutputFile *out);

// The whole sequence for bytes in memory.
bool write_output_file(const std::string &path, const void *bytes, size_t size, std::string *error);

// Makes a write past the process's file size limit (ulimit -f) fail with
// EFBIG, like any write error, instead of killing the program with SIGXFSZ.
// Every program that writes files calls it first.
void ignore_file_size_signal();

// The n-th candidate name made from `base` by the scheme above: "BASE-PID",
// then "BASE-PID-1", ... For other names created exclusively beside a file.
std::string unique_name(const std::string &base, int n);
