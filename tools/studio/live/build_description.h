// build_description.h - the build folder of the live scene code, as it
// describes itself in live_scenes.txt (written by CMake,
// cmake/live_scenes.cmake): the cmake program, the library's target and
// file, the generator, the scene sources (live_code.h has the manual).
#pragma once

#include <string>
#include <vector>

struct LiveBuild {
    std::string dir;          // the build folder
    std::string cmake;        // the cmake program that configured it
    std::string target;       // the library's target
    std::string library;      // the library file the build writes
    std::string generator;    // CMake's generator ("Ninja", ...)
    std::string make_program; // the generator's program
    std::string source_dir;
    std::string objects;      // the library's object folder, relative to dir
    std::vector<std::string> sources; // the scene units
};

// Reads DIR/live_scenes.txt. False with the reason when it is missing or
// lacks an entry.
bool read_live_build(const std::string &dir, LiveBuild *out, std::string *error);

// The build folder the studio's own executable belongs to (its folder's
// parent, when live_scenes.txt is there), or "".
std::string own_build_dir();
