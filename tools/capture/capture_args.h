// capture_args.h - the offline renderer's command line.
#pragma once

#include <string>

enum class CaptureOutput { Png, Mp4, Webm };
enum class CaptureRenderer { Software, Opengl };

struct CaptureArgs {
    CaptureOutput output = CaptureOutput::Png;
    std::string out_dir;    // PNG frames: the directory
    std::string video_path; // a video: the file
    double start = 0.0;     // music seconds of the first frame
    long frames = 1;        // PNG default 1; a video without --frames: 0 = to the music's end
    double fps = 60.0;
    int quality = -1;       // the encoder's CRF; -1: the container's default
    CaptureRenderer renderer = CaptureRenderer::Software;
};

constexpr const char *CAPTURE_USAGE =
    "usage: capture (--out DIR | --video FILE.mp4|FILE.webm) [--start SECONDS] [--frames N]"
    " [--fps F] [--quality Q] [--renderer software|opengl]";

// Visually lossless for the demo's blocky, flat-shaded pictures; the ranges
// are the encoders' own CRF ranges.
enum {
    MP4_DEFAULT_QUALITY = 18,
    MP4_MAX_QUALITY = 51,
    WEBM_DEFAULT_QUALITY = 20,
    WEBM_MAX_QUALITY = 63,
};

// Parses argv[1..]. False on anything malformed, missing or repeated: exactly
// one of --out and --video; a video file ending in .mp4 or .webm (any case);
// SECONDS finite; N a whole number from 1 to 1000000; F finite and above 0
// and at most 1000; Q a whole number within the container's CRF range, and
// only with --video.
bool parse_capture_args(int argc, const char *const *argv, CaptureArgs *out);
