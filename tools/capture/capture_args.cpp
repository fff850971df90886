// capture_args.cpp - strict parsing of the capture command line.
#include "capture_args.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

static bool parse_double(const char *s, double *out)
{
    if (!*s)
        return false;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s, &end);
    if (*end || errno == ERANGE || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

static bool parse_count(const char *s, long *out)
{
    if (!*s || *s == '-' || *s == '+')
        return false;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (*end || errno == ERANGE || v < 1 || v > 1000000)
        return false;
    *out = v;
    return true;
}

bool parse_capture_args(int argc, const char *const *argv, CaptureArgs *out)
{
    CaptureArgs a;
    bool seen_out = false, seen_start = false, seen_frames = false, seen_fps = false;
    for (int i = 1; i < argc; i += 2) {
        const char *opt = argv[i];
        if (i + 1 >= argc)
            return false;
        const char *val = argv[i + 1];
        if (!std::strcmp(opt, "--out") && !seen_out) {
            if (!*val)
                return false;
            a.out_dir = val;
            seen_out = true;
        } else if (!std::strcmp(opt, "--start") && !seen_start) {
            if (!parse_double(val, &a.start))
                return false;
            seen_start = true;
        } else if (!std::strcmp(opt, "--frames") && !seen_frames) {
            if (!parse_count(val, &a.frames))
                return false;
            seen_frames = true;
        } else if (!std::strcmp(opt, "--fps") && !seen_fps) {
            if (!parse_double(val, &a.fps) || !(a.fps > 0.0))
                return false;
            seen_fps = true;
        } else {
            return false;
        }
    }
    if (!seen_out)
        return false;
    *out = a;
    return true;
}
