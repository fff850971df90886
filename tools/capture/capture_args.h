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

// The most frames one run makes, given or planned to the music's end.
constexpr long CAPTURE_MAX_FRAMES = 1000000;
// --fps: at least one frame every 100 s of music (a frame's soundtrack stays
// a short piece of work for the encoder), at most 1000 a second.
constexpr double CAPTURE_MIN_FPS = 0.01;
constexpr double CAPTURE_MAX_FPS = 1000.0;

// Visually lossless for the demo's blocky, flat-shaded pictures; the ranges
// are the encoders' own CRF ranges.
enum {
    MP4_DEFAULT_QUALITY = 18,
    MP4_MAX_QUALITY = 51,
    WEBM_DEFAULT_QUALITY = 33,
    WEBM_MAX_QUALITY = 63,
};

// Parses argv[1..] into *out. Returns -1 when capture should go on, else its
// exit status: 0 after printing the help, 2 after printing what was wrong and
// the usage line. Refused: anything malformed, missing, repeated or unknown;
// both or neither of --out and --video; a video file not ending in .mp4 or
// .webm (any case); SECONDS not finite; N not a whole number from 1 to
// CAPTURE_MAX_FRAMES; F not above 0 or above 1000; Q outside the
// container's CRF range, or given without --video.
int parse_capture_args(int argc, const char *const *argv, CaptureArgs *out);
