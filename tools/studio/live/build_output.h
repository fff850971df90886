// build_output.h - what a scene build's output says: the compiler's and
// linker's errors, the last line, and the generator's dependency listing
// (live_code.h has the manual).
#pragma once

#include <string>
#include <vector>

#include "studio/live/build_description.h"

// The compiler's and linker's errors of a build's output, at most `max`
// of them, one "FILE:LINE: message" line each (the column and the word
// "error" dropped; a file under source_dir named from there, any other as
// the compiler named it).
std::string first_build_errors(const std::string &log, const std::string &source_dir, int max);

// The last line of an output that is not empty, without its newline.
std::string last_output_line(const std::string &text);

// The project files the library's objects depend on, from the output of
// the generator's dependency listing (`ninja -t deps`): files under the
// source folder and outside the build folder, as absolute paths.
std::vector<std::string> library_dependencies(const std::string &listing, const LiveBuild &build);
