// capture - the offline renderer: runs the demo's own start-up and writes the
// finished window picture of frames at chosen music times, either as PNG
// files DIR/frame-000000.png, frame-000001.png, ... or as one video file with
// the soundtrack (.mp4: H.264 + AAC, .webm: VP9 + Opus).
//
// Images come from this program's directory, tracks and music from the
// working directory, exactly as for the demo. Frame i shows music time
// start + i / fps; frames are rendered in order from a fresh program state,
// always on this thread. A video without --frames runs to the end of
// "music.ogg", rounded up to a whole frame; its sound is that file from the
// first frame's time to the end of the last frame.
//
// Built with CAPTURE_VIDEO=0 (the Windows build, which has no FFmpeg) it
// writes PNG frames only and refuses --video.
//
// SIGINT or SIGTERM stops after the current frame; a video is then completed
// up to there. Exit status: 0 done, 1 start-up, write or encoder failure or a
// stop request, 2 bad arguments.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/startup.h"
#include "state/state.h"
#include "capture_args.h"
#include "png_writer.h"
#include "progress.h"
#ifndef CAPTURE_VIDEO
#define CAPTURE_VIDEO 1
#endif
#if CAPTURE_VIDEO
#include "music_source.h"
#include "video_pipeline.h"
#include "video_writer.h"
#endif

namespace fs = std::filesystem;

static volatile sig_atomic_t StopRequested = 0;

static void request_stop(int)
{
    StopRequested = 1;
}

// Our own handlers for SIGINT and SIGTERM (SDL is told to leave them alone).
// A parent may start us with them blocked; a stop request must still arrive.
static void install_stop_handlers()
{
#ifdef _WIN32
    // No signal masks there; the C library's handlers serve.
    signal(SIGINT, request_stop);
    signal(SIGTERM, request_stop);
#else
    struct sigaction sa{};
    sa.sa_handler = request_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
#endif
}

// Software: no display, SDL's dummy driver. Opengl: SDL's opengl renderer on
// whatever display there is. Silent audio and no vsync either way.
static void select_renderer(CaptureRenderer r)
{
    if (r == CaptureRenderer::Software) {
        select_headless_video();
    } else {
        SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
        SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    }
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
}

// The renderer asked for, drawing the whole 1920x1080 picture.
static bool check_renderer(CaptureRenderer want)
{
    SDL_RendererInfo info{};
    int w = 0, h = 0;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || SDL_GetRendererOutputSize(renderer, &w, &h) != 0) {
        std::fprintf(stderr, "capture: %s\n", SDL_GetError());
        return false;
    }
    const char *name = want == CaptureRenderer::Opengl ? "opengl" : "software";
    if (std::strcmp(info.name, name) != 0) {
        std::fprintf(stderr, "capture: got the %s renderer instead of %s\n", info.name, name);
        return false;
    }
    if (w != WINDOW_W || h != WINDOW_H) {
        std::fprintf(stderr, "capture: the window draws %dx%d pixels, not %dx%d\n", w, h,
                     WINDOW_W, WINDOW_H);
        return false;
    }
    return true;
}

static bool read_window(uint32_t *pixels)
{
    // Read the back buffer before presenting: it is what this frame drew,
    // overlay included.
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels, WINDOW_W * 4) != 0) {
        std::fprintf(stderr, "capture: read-back failed: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

#if CAPTURE_VIDEO
// A failed video goes: no half-written file looks like a finished one.
// Only a plain file is removed (never, say, a device the path leads to).
static void remove_failed_video(const std::string &path)
{
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() == fs::file_type::regular)
        fs::remove(path, ec);
}

#endif

// ---- PNG frames -------------------------------------------------------------

static int capture_png(const CaptureArgs &args)
{
    std::error_code ec;
    fs::create_directories(args.out_dir, ec);
    if (!fs::is_directory(args.out_dir, ec)) {
        std::fprintf(stderr, "capture: cannot use output directory %s\n", args.out_dir.c_str());
        return 1;
    }
    select_renderer(args.renderer);
    if (start_up() != 0)
        return 1;
    if (!check_renderer(args.renderer)) {
        tear_down();
        return 1;
    }
    std::vector<uint32_t> picture(static_cast<size_t>(WINDOW_W) * WINDOW_H);
    ProgressLine progress;
    start_progress(&progress, args.frames, isatty(STDERR_FILENO));
    int status = 0;
    long done = 0;
    uint64_t bytes = 0;
    // A stop request ends the loop after the frame in progress, so even one
    // that came during start-up leaves a first frame.
    while (done < args.frames) {
        render_frame(args.start + static_cast<double>(done) / args.fps);
        if (!read_window(picture.data())) {
            status = 1;
            break;
        }
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06ld.png", done);
        const std::string path = args.out_dir + name;
        char err[256];
        if (!write_png_rgb(path.c_str(), picture.data(), WINDOW_W, WINDOW_H, WINDOW_W, err)) {
            end_progress(&progress);
            std::fprintf(stderr, "capture: %s\n", err);
            status = 1;
            break;
        }
        bytes += fs::file_size(path, ec);
        SDL_RenderPresent(renderer);
        show_progress(&progress, ++done);
        if (StopRequested)
            break;
    }
    const double elapsed = end_progress(&progress);
    tear_down();
    if (status == 0 && StopRequested && done < args.frames) {
        std::fprintf(stderr, "capture: stopped by request after %ld of %ld frames\n", done,
                     args.frames);
        return 1;
    }
    if (status == 0)
        std::fprintf(stderr, "capture: %s\n", format_summary(done, args.fps, bytes, elapsed).c_str());
    return status;
}

#if CAPTURE_VIDEO
// ---- Video ------------------------------------------------------------------

// Frames from the start to the music's end, rounded up to a whole frame; the
// small allowance keeps an exact multiple from gaining a frame by rounding.
static long frames_to_music_end(const MusicSource &m, double start, double fps)
{
    const double frames = std::ceil((music_seconds(m) - start) * fps - 1e-6);
    return frames < 1.0 ? 0 : frames > 1e9 ? 1000000000L : static_cast<long>(frames);
}

// Renders and encodes every frame; the number done, -1 after a failure that
// has been reported.
static long render_video(const CaptureArgs &args, long total, VideoPipeline *pipeline)
{
    ProgressLine progress;
    start_progress(&progress, total, isatty(STDERR_FILENO));
    long done = 0;
    bool ok = true;
    while (done < total && !video_pipeline_failed(pipeline)) {
        uint32_t *picture = next_picture(pipeline);
        if (!picture)
            break;
        render_frame(args.start + static_cast<double>(done) / args.fps);
        if (!read_window(picture)) {
            ok = false;
            break;
        }
        submit_picture(pipeline);
        SDL_RenderPresent(renderer);
        show_progress(&progress, ++done);
        if (StopRequested) // after the frame in progress: a file never ends empty
            break;
    }
    end_progress(&progress);
    return ok ? done : -1;
}

static int capture_video(const CaptureArgs &args)
{
    MusicSource music;
    std::string why;
    const bool have_music = open_music(MUSIC_FILE, &music, &why);
    long total = args.frames;
    if (total == 0) {
        if (!have_music) {
            std::fprintf(stderr, "capture: %s: %s; without it give --frames\n", MUSIC_FILE, why.c_str());
            return 1;
        }
        total = frames_to_music_end(music, args.start, args.fps);
        if (total == 0) {
            std::fprintf(stderr, "capture: --start %g is at or past the end of the music (%.3f s)\n",
                         args.start, music_seconds(music));
            close_music(&music);
            return 1;
        }
    }
    if (have_music)
        seek_music(&music, std::llround(args.start * music.rate));
    else
        std::fprintf(stderr, "capture: warning: %s: %s; the video has no sound\n", MUSIC_FILE, why.c_str());

    // Missing folders on the way are made, as for --out.
    std::error_code ec;
    const fs::path parent = fs::path(args.video_path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent, ec);

    VideoSpec spec;
    spec.path = args.video_path;
    spec.container = args.output;
    spec.width = WINDOW_W;
    spec.height = WINDOW_H;
    spec.fps = args.fps;
    spec.quality = args.quality;
    spec.audio_rate = have_music ? music.rate : 0;
    std::string err;
    VideoWriter *writer = open_video_writer(spec, &err);
    if (!writer) {
        std::fprintf(stderr, "capture: %s\n", err.c_str());
        if (have_music)
            close_music(&music);
        remove_failed_video(args.video_path);
        return 1;
    }

    select_renderer(args.renderer);
    bool ok = start_up() == 0;
    if (ok && !check_renderer(args.renderer)) {
        tear_down();
        ok = false;
    }
    VideoPipeline *pipeline = nullptr;
    if (ok) {
        pipeline = start_video_pipeline(writer, have_music ? &music : nullptr, WINDOW_W, WINDOW_H,
                                        args.fps);
        if (!pipeline) {
            std::fprintf(stderr, "capture: out of memory\n");
            tear_down();
            ok = false;
        }
    }
    if (!ok) {
        close_video_writer(writer);
        if (have_music)
            close_music(&music);
        remove_failed_video(args.video_path);
        return 1;
    }

    const auto started = std::chrono::steady_clock::now();
    const long done = render_video(args, total, pipeline);
    tear_down();
    // Completes the file with the frames done, also after a stop request.
    ok = finish_video_pipeline(pipeline, &err);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!ok || done < 0) {
        if (!ok)
            std::fprintf(stderr, "capture: %s\n", err.c_str());
        remove_failed_video(args.video_path);
        return 1;
    }
    const uint64_t bytes = fs::file_size(args.video_path, ec);
    if (StopRequested && done < total) {
        std::fprintf(stderr, "capture: stopped by request after %ld of %ld frames; %s is complete up to there\n",
                     done, total, args.video_path.c_str());
        return 1;
    }
    std::fprintf(stderr, "capture: %s\n", format_summary(done, args.fps, bytes, elapsed).c_str());
    return 0;
}

#else
static int capture_video(const CaptureArgs &)
{
    std::fprintf(stderr, "capture: this build writes PNG frames only (--out DIR)\n");
    return 2;
}
#endif

int main(int argc, char **argv)
{
    install_stop_handlers();
    CaptureArgs args;
    if (!parse_capture_args(argc, argv, &args)) {
        std::fprintf(stderr, "%s\n", CAPTURE_USAGE);
        return 2;
    }
    return args.output == CaptureOutput::Png ? capture_png(args) : capture_video(args);
}
