// capture_args.cpp - strict parsing of the capture command line.
#include "capture_args.h"

#include <strings.h>

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

static bool parse_whole(const char *s, long lo, long hi, long *out)
{
    if (!*s || *s == '-' || *s == '+')
        return false;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (*end || errno == ERANGE || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

static bool ends_with_nocase(const std::string &s, const char *tail)
{
    const size_t n = std::strlen(tail);
    return s.size() > n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

bool parse_capture_args(int argc, const char *const *argv, CaptureArgs *out)
{
    CaptureArgs a;
    bool seen_out = false, seen_video = false, seen_start = false, seen_frames = false,
         seen_fps = false, seen_quality = false, seen_renderer = false;
    long quality = 0;
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
        } else if (!std::strcmp(opt, "--video") && !seen_video) {
            a.video_path = val;
            if (ends_with_nocase(a.video_path, ".mp4"))
                a.output = CaptureOutput::Mp4;
            else if (ends_with_nocase(a.video_path, ".webm"))
                a.output = CaptureOutput::Webm;
            else
                return false;
            seen_video = true;
        } else if (!std::strcmp(opt, "--start") && !seen_start) {
            if (!parse_double(val, &a.start))
                return false;
            seen_start = true;
        } else if (!std::strcmp(opt, "--frames") && !seen_frames) {
            if (!parse_whole(val, 1, 1000000, &a.frames))
                return false;
            seen_frames = true;
        } else if (!std::strcmp(opt, "--fps") && !seen_fps) {
            if (!parse_double(val, &a.fps) || !(a.fps > 0.0) || a.fps > 1000.0)
                return false;
            seen_fps = true;
        } else if (!std::strcmp(opt, "--quality") && !seen_quality) {
            if (!parse_whole(val, 0, WEBM_MAX_QUALITY, &quality))
                return false;
            seen_quality = true;
        } else if (!std::strcmp(opt, "--renderer") && !seen_renderer) {
            if (!std::strcmp(val, "software"))
                a.renderer = CaptureRenderer::Software;
            else if (!std::strcmp(val, "opengl"))
                a.renderer = CaptureRenderer::Opengl;
            else
                return false;
            seen_renderer = true;
        } else {
            return false;
        }
    }
    if (seen_out == seen_video)
        return false;
    if (seen_quality) {
        const long max = a.output == CaptureOutput::Mp4 ? MP4_MAX_QUALITY : WEBM_MAX_QUALITY;
        if (seen_out || quality > max)
            return false;
        a.quality = static_cast<int>(quality);
    } else if (seen_video) {
        a.quality = a.output == CaptureOutput::Mp4 ? MP4_DEFAULT_QUALITY : WEBM_DEFAULT_QUALITY;
    }
    if (seen_video && !seen_frames)
        a.frames = 0;
    *out = a;
    return true;
}
