// read_file.h - reading a file a tool was given: only a regular file, never
// waiting, never more than a bound. Every file the tools read is untrusted:
// a FIFO, a device or a folder put at its name is refused without blocking
// (the open does not wait, and the check is made on the opened descriptor,
// src/base/regular_file.h, so nothing can be swapped in between), and a
// file larger than the bound, or one that grows past it while it is read,
// is refused rather than read into memory.
//
// Messages name the file with the system's reason:
//   "cannot open 'PATH': No such file or directory"
//   "'PATH' is not a regular file"
//   "'PATH' is larger than N bytes"
//   "cannot read 'PATH': Input/output error"
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <string>

// Reads the whole file of at most max_bytes into *bytes (cleared on
// failure). When `opened` is given it gets the status of the opened
// descriptor, also when the file is then refused (st_mode 0 when it could
// not be opened at all).
bool read_whole_file(const std::string &path, size_t max_bytes, std::string *bytes,
                     std::string *error, struct stat *opened = nullptr);

// A stream for reading a regular file, for a library that reads through
// FILE (it closes it with fclose); null with the reason as above otherwise.
FILE *open_regular_stream(const std::string &path, std::string *error);
