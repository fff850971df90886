// capture - the offline renderer: runs the demo's own start-up without a
// display and writes the finished window picture of frames at chosen music
// times as PNG files DIR/frame-000000.png, frame-000001.png, ...
//
// Images come from this program's directory, tracks and music from the
// working directory, exactly as for the demo. Frame i shows music time
// start + i / fps; frames are rendered in order from a fresh program state.
// Exit status: 0 done, 1 start-up or write failure, 2 bad arguments.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/startup.h"
#include "app/state.h"
#include "capture_args.h"
#include "png_writer.h"

// The output directory, made with its parents when missing.
static bool ensure_directory(const std::string &dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

int main(int argc, char **argv)
{
    CaptureArgs args;
    if (!parse_capture_args(argc, argv, &args)) {
        std::fprintf(stderr, "%s\n", CAPTURE_USAGE);
        return 2;
    }
    if (!ensure_directory(args.out_dir)) {
        std::fprintf(stderr, "capture: cannot use output directory %s\n", args.out_dir.c_str());
        return 1;
    }

    select_headless_video();
    if (start_up() != 0)
        return 1;

    std::vector<uint32_t> picture(static_cast<size_t>(WINDOW_W) * WINDOW_H);
    int status = 0;
    for (long i = 0; i < args.frames; i++) {
        render_frame(args.start + static_cast<double>(i) / args.fps);
        // Read the window back before presenting: the back buffer is what
        // this frame drew, overlay included.
        if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, picture.data(),
                                 WINDOW_W * 4) != 0) {
            std::fprintf(stderr, "capture: read-back failed: %s\n", SDL_GetError());
            status = 1;
            break;
        }
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06ld.png", i);
        char err[256];
        if (!write_png_rgb((args.out_dir + name).c_str(), picture.data(), WINDOW_W, WINDOW_H,
                           WINDOW_W, err)) {
            std::fprintf(stderr, "capture: %s\n", err);
            status = 1;
            break;
        }
        SDL_RenderPresent(renderer);
    }
    tear_down();
    return status;
}
