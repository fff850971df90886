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
// Every file is written under a temporary name beside it and renamed when
// complete, so a name never shows a half-written file.
//
// Built with CAPTURE_VIDEO=0 (the Windows build, which has no FFmpeg) it
// writes PNG frames only and refuses --video.
//
// SIGINT or SIGTERM stops after the current frame; a video is then completed
// up to there, its sound at most 1 s past where the encoder had got. A stop
// that comes after the last frame (while the encoder works through the
// sound) counts as a stop all the same. Exit status: 0 done, 1 start-up,
// write or encoder failure or a stop request, 2 bad arguments.
#include <signal.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/frame.h"
#include "app/startup.h"
#include "state/state.h"
#include "capture/capture_args.h"
#include "capture/frame_sink.h"
#include "capture/png_frames.h"
#include "capture/progress.h"
#include "common/output_file.h"
#if CAPTURE_VIDEO
#include "capture/video/video_output.h"
#include "capture/video/video_pipeline.h"
#endif

namespace {

volatile sig_atomic_t StopRequested = 0;

void request_stop(int)
{
    StopRequested = 1;
#if CAPTURE_VIDEO
    request_video_stop(); // the encoder may be working through a long soundtrack
#endif
}

// Our own handlers for SIGINT and SIGTERM (SDL is told to leave them alone).
// A parent may start us with them blocked; a stop request must still arrive.
void install_stop_handlers()
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
void select_renderer(CaptureRenderer r)
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
bool check_renderer(CaptureRenderer want, std::string *err)
{
    SDL_RendererInfo info{};
    int w = 0, h = 0;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || SDL_GetRendererOutputSize(renderer, &w, &h) != 0) {
        *err = SDL_GetError();
        return false;
    }
    const char *name = want == CaptureRenderer::Opengl ? "opengl" : "software";
    char text[160];
    if (std::strcmp(info.name, name) != 0) {
        std::snprintf(text, sizeof text, "got the %s renderer instead of %s", info.name, name);
        *err = text;
        return false;
    }
    if (w != WINDOW_W || h != WINDOW_H) {
        std::snprintf(text, sizeof text, "the window draws %dx%d pixels, not %dx%d", w, h, WINDOW_W,
                      WINDOW_H);
        *err = text;
        return false;
    }
    return true;
}

// The back buffer before presenting: what this frame drew, overlay included.
bool read_window(uint32_t *pixels, std::string *err)
{
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels, WINDOW_W * 4) != 0) {
        *err = std::string("read-back failed: ") + SDL_GetError();
        return false;
    }
    return true;
}

// The one frame loop: renders frames 0 to total - 1 in order into the sink.
// A stop request ends it after the frame in progress, so even one that came
// during start-up leaves a first frame. Returns the frames done; *err is set
// when a frame failed (empty when the sink itself has failed: its finish()
// says why).
long render_frames(const CaptureArgs &args, long total, FrameSink &sink, bool *failed,
                   std::string *err)
{
    ProgressLine progress;
    start_progress(&progress, total, isatty(STDERR_FILENO));
    long done = 0;
    *failed = false;
    while (done < total) {
        uint32_t *picture = sink.picture();
        if (!picture)
            break;
        render_frame(args.start + static_cast<double>(done) / args.fps, SceneTable);
        if (!read_window(picture, err) || !sink.take(done, err)) {
            *failed = true;
            break;
        }
        SDL_RenderPresent(renderer);
        show_progress(&progress, ++done);
        if (StopRequested)
            break;
    }
    end_progress(&progress);
    return done;
}

// The output, then start-up, the frames, teardown and the output completed.
int capture(const CaptureArgs &args)
{
    std::unique_ptr<FrameSink> sink;
    long total = args.frames;
    std::string err;
    if (args.output == CaptureOutput::Png) {
        sink = open_png_frames(args.out_dir, WINDOW_W, WINDOW_H, &err);
        if (!sink) {
            std::fprintf(stderr, "capture: %s\n", err.c_str());
            return 1;
        }
    } else {
#if CAPTURE_VIDEO
        const int status = open_video_output(args, WINDOW_W, WINDOW_H, &sink, &total);
        if (status >= 0)
            return status;
#else
        std::fprintf(stderr, "capture: this build writes PNG frames only (--out DIR)\n");
        return 2;
#endif
    }
    select_renderer(args.renderer);
    if (start_up() != 0)
        return 1; // reported by start-up; the sink leaves nothing behind
    const auto started = std::chrono::steady_clock::now();
    bool failed = !check_renderer(args.renderer, &err);
    const long done = failed ? 0 : render_frames(args, total, *sink, &failed, &err);
    tear_down();
    if (!failed && !sink->finish(&err))
        failed = true;
    if (failed) {
        if (!err.empty())
            std::fprintf(stderr, "capture: %s\n", err.c_str());
        return 1;
    }
    // A stop in any phase, the encoding after the last frame included: the
    // run did not give what was asked for, even where every frame was made.
    if (StopRequested) {
        std::fprintf(stderr, "capture: stopped by request after %ld of %ld frames", done, total);
        if (args.output != CaptureOutput::Png)
            std::fprintf(stderr, "; %s is complete up to there", args.video_path.c_str());
        const std::string note = sink->stop_note();
        if (!note.empty())
            std::fprintf(stderr, ", %s", note.c_str());
        std::fprintf(stderr, "\n");
        return 1;
    }
    // From the first frame to the complete output.
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "capture: %s\n", format_summary(done, args.fps, sink->bytes(), elapsed).c_str());
    return 0;
}

#if CAPTURE_VIDEO
// Tests stop a video at a known point of its encoding with
// CAPTURE_STOP_AT_SOUND=SECONDS: SIGTERM once the soundtrack is encoded that
// far. Anything but a number from 0 to 1e9 leaves it off.
void read_stop_hook()
{
    const char *text = std::getenv("CAPTURE_STOP_AT_SOUND");
    if (!text || !*text)
        return;
    char *end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (*end == '\0' && seconds >= 0.0 && seconds <= 1e9)
        stop_video_at_sound(seconds);
}
#endif

} // namespace

int main(int argc, char **argv)
{
    install_stop_handlers();
#if CAPTURE_VIDEO
    read_stop_hook();
#endif
    ignore_file_size_signal();
    CaptureArgs args;
    const int status = parse_capture_args(argc, argv, &args);
    if (status >= 0)
        return status;
    return capture(args);
}
