// studio_args.h - the studio's command line:
// studio [TIMELINE] [--start SECONDS] [--export DIR] [--build DIR [--build-timeout SECONDS] | --no-live-code]
//        [--serve [ADDR:]PORT | --no-serve]
//        [--scene-timeout SECONDS]
#pragma once

#include <string>

struct StudioArgs {
    std::string timeline; // empty: play the .track files of the working directory
    double start = 0.0;   // music seconds to start at
    std::string export_dir; // empty: no export of .track files
    std::string build;    // build folder of the scene library rebuilt on a save ("": the studio's own, if any)
    bool live_code = true; // false: only the scenes linked into the program draw
    double build_timeout = 120.0; // seconds a scene build may run before it is stopped
    double scene_timeout = 2.0; // a live scene's call is stopped after this many seconds
    std::string serve;     // [ADDR:]PORT the link listens on ("": the loopback address at the default port)
    bool serving = true;   // false: no link for following demos
};

constexpr const char *STUDIO_USAGE =
    "usage: studio [TIMELINE] [--start SECONDS] [--export DIR] [--build DIR [--build-timeout SECONDS] | --no-live-code] "
    "[--scene-timeout SECONDS] [--serve [ADDR:]PORT | --no-serve]";

enum StudioArgsResult {
    STUDIO_ARGS_OK,
    STUDIO_ARGS_HELP, // --help: *text holds the help (exit 0)
    STUDIO_ARGS_BAD,  // *text holds one line naming the option and the fault, then the usage (exit 2)
};

// Parses argv[1..]. Bad: an unknown option, a second TIMELINE, a repeated or
// missing --start value, a SECONDS that is not a finite number, or --export
// without TIMELINE or with an empty DIR, a --build-timeout that is not a
// positive number of seconds.
StudioArgsResult parse_studio_args(int argc, const char *const *argv, StudioArgs *out,
                                   std::string *text);
