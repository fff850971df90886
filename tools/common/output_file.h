// output_file.h - outputs that are never seen half-written.
//
// The bytes go to a temporary file of its own beside the output, "NAME.tmp-PID"
// (a further "-N" when that is taken), and only a complete file is renamed
// over NAME, which replaces it at once on one file system. A failure removes
// the temporary file; a kill leaves at most that stray temporary file; either
// way an earlier file of that name stays as it was. Two writers of one name
// each have their own temporary file, so one whole file remains.
#pragma once

#include <cstddef>
#include <string>

// Creates an empty, fresh temporary file beside `path` and gives its name.
// False with "cannot create PATH: reason" in *error.
bool create_temporary_beside(const std::string &path, std::string *temporary, std::string *error);

// Renames the finished temporary file over `path`; on failure removes it,
// with "cannot replace PATH: reason" in *error.
bool move_into_place(const std::string &temporary, const std::string &path, std::string *error);

// Drops a temporary file that will not be finished.
void remove_temporary(const std::string &temporary);

// The whole sequence for bytes in memory. Failures name `path` and the
// system's reason: "cannot write PATH: No space left on device".
bool write_output_file(const std::string &path, const void *bytes, size_t size, std::string *error);
