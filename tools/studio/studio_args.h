// studio_args.h - the studio's command line: studio [TIMELINE] [--start SECONDS]
#pragma once

#include <string>

struct StudioArgs {
    std::string timeline; // empty: play the .track files of the working directory
    double start = 0.0;   // music seconds to start at
};

constexpr const char *STUDIO_USAGE = "usage: studio [TIMELINE] [--start SECONDS]";

// Parses argv[1..]. False on an unknown option, a second TIMELINE, a
// repeated or missing --start value, or a SECONDS that is not a finite number.
bool parse_studio_args(int argc, const char *const *argv, StudioArgs *out);
