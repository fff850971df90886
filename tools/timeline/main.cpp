// main.cpp - the timeline tool: compiles data/timeline.txt into the twelve
// .track files the demo loads, and prints any .track file as source text.
//
//   timeline compile SOURCE.txt OUT_DIR    writes OUT_DIR/sync_<name>.track
//   timeline dump FILE.track [NAME]        prints the track; NAME defaults to
//                                          the one in the file name
//
// Exit status 0 on success, 1 on bad input (messages on standard error,
// nothing written), 2 on a wrong command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "timeline.h"
#include "base/tool_error.h"

static int print_usage()
{
    return print_tool_usage("usage: timeline compile SOURCE.txt OUT_DIR\n"
                            "       timeline dump FILE.track [NAME]");
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return print_usage();
    const std::string command = argv[1];

    if (command == "compile" && argc == 4) {
        std::string errors;
        if (!compile_timeline_file(argv[2], argv[3], &errors)) {
            std::fputs(errors.c_str(), stderr);
            return 1;
        }
        return 0;
    }
    if (command == "dump" && (argc == 3 || argc == 4)) {
        std::string text, error;
        if (!dump_track_file(argv[2], argc == 4 ? argv[3] : "", &text, &error)) {
            print_tool_error("timeline", error);
            return 1;
        }
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return print_usage();
}
