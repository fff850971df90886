// capture_args.cpp - the capture command line on CLI11.
#include "capture/capture_args.h"

#include <strings.h>

#include <cstring>

#include "common/command_line.h"

static bool ends_with_nocase(const std::string &s, const char *tail)
{
    const size_t n = std::strlen(tail);
    return s.size() > n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

static const CLI::Validator VideoName(
    [](std::string &name) -> std::string {
        if (ends_with_nocase(name, ".mp4") || ends_with_nocase(name, ".webm"))
            return {};
        return "'" + name + "' must end in .mp4 (H.264 and AAC) or .webm (VP9 and Opus)";
    },
    "");

int parse_capture_args(int argc, const char *const *argv, CaptureArgs *out)
{
    CommandLine cl("capture",
                   "Renders the demo's frames at music times start + i / fps without a display,\n"
                   "as PNG files DIR/frame-000000.png, ... or as one video file with the\n"
                   "soundtrack. Images come from this program's directory, tracks and music\n"
                   "from the working directory. Each file is written under a temporary name\n"
                   "beside it and renamed when complete.",
                   CAPTURE_USAGE);
    CaptureArgs a;
    long quality = -1;
    std::string renderer = "software";
    CLI::App &app = cl.app;
    CLI::Option *out_opt = app.add_option("--out", a.out_dir, "write PNG frames into DIR (made when missing)")
                               ->type_name("DIR")
                               ->check(NotEmpty);
    CLI::Option *video_opt =
        app.add_option("--video", a.video_path,
                       "write one video file: .mp4 (H.264, AAC) or .webm (VP9, Opus)")
            ->type_name("FILE")
            ->check(VideoName)
            ->excludes(out_opt);
    out_opt->excludes(video_opt);
    app.add_option("--start", a.start, "music time of the first frame, in seconds")
        ->type_name("SECONDS")
        ->check(finite_number())
        ->capture_default_str();
    CLI::Option *frames_opt =
        app.add_option("--frames", a.frames,
                       "frames to make, 1 to 1000000 (default: 1 for PNG; a video runs to the end of music.ogg)")
            ->type_name("N")
            ->check(whole_number(1, CAPTURE_MAX_FRAMES));
    app.add_option("--fps", a.fps, "frames per second of music time, 0.01 to 1000")
        ->type_name("F")
        ->check(number_between(CAPTURE_MIN_FPS, CAPTURE_MAX_FPS))
        ->capture_default_str();
    CLI::Option *quality_opt =
        app.add_option("--quality", quality,
                       "the video encoder's CRF, lower is better and bigger (default: MP4 18, 0-51;"
                       " WebM 33, 0-63)")
            ->type_name("Q")
            ->check(whole_number(0, WEBM_MAX_QUALITY))
            ->needs(video_opt);
    app.add_option("--renderer", renderer,
                   "software: SDL's dummy video driver and software renderer, no display needed;"
                   " opengl: SDL's opengl renderer on a display")
        ->type_name("software|opengl")
        ->check(CLI::IsMember({"software", "opengl"}).description(""))
        ->capture_default_str();

    const int status = cl.parse(argc, argv);
    if (status >= 0)
        return status;
    if (!*out_opt && !*video_opt)
        return cl.error("give --out DIR for PNG frames or --video FILE for a video");
    a.renderer = renderer == "opengl" ? CaptureRenderer::Opengl : CaptureRenderer::Software;
    if (*video_opt) {
        const bool mp4 = ends_with_nocase(a.video_path, ".mp4");
        a.output = mp4 ? CaptureOutput::Mp4 : CaptureOutput::Webm;
        const long max = mp4 ? MP4_MAX_QUALITY : WEBM_MAX_QUALITY;
        if (quality > max)
            return cl.error("--quality: " + std::to_string(quality) + " is above " +
                            std::to_string(max) + ", the highest CRF for " +
                            (mp4 ? "MP4" : "WebM"));
        if (!*quality_opt)
            quality = mp4 ? MP4_DEFAULT_QUALITY : WEBM_DEFAULT_QUALITY;
        a.quality = static_cast<int>(quality);
        if (!*frames_opt)
            a.frames = 0;
    }
    *out = a;
    return -1;
}
