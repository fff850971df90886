// capture_args.h - the offline renderer's command line.
#pragma once

#include <string>

struct CaptureArgs {
    std::string out_dir;
    double start = 0.0; // music seconds of the first frame
    long frames = 1;
    double fps = 60.0;
};

constexpr const char *CAPTURE_USAGE =
    "usage: capture --out DIR [--start SECONDS] [--frames N] [--fps F]";

// Parses argv[1..]. False on anything malformed, missing or repeated: --out
// is required, SECONDS finite, N a whole number from 1 to 1000000, F finite
// and above 0.
bool parse_capture_args(int argc, const char *const *argv, CaptureArgs *out);
