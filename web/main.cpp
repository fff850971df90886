// main.cpp (web) - the demo in a web page, on the desktop program's own
// start-up and frame.
//
// Browsers let a page make sound only after a user gesture, so nothing starts
// when the module loads: the page shows its "click to start" layer and the
// click runs the whole start-up inside the click's own event handler, where
// the browser lets the audio context start and grants full screen at once.
// Then the browser calls play_frame() once per display frame. Escape is the
// browser's own: it leaves full screen; the demo ends with the tab.
//
// With the arguments "--follow HOST:PORT [--token T]" (the page passes them
// for its "follow" and "token" query parameters) the page follows a studio
// over WebSocket: start-up opens the tracks from the data as always, and
// from the first frame on the follower connects, asks for every track and
// takes the studio's changes and transport between two frames, never
// waiting (app/follow.h). The link's lines go to the page
// (Module.onLinkLine), which shows the ones about a broken link; each
// frame tells the page what it drew (Module.onFollowFrame).
//
// With the arguments "--frame-at SECONDS" (the page passes them for its "t"
// query parameter) the program instead renders the one frame at that music
// time from a fresh start-up, hands the picture to the page, and stops. That
// is for tests that compare the web picture with the offline renderer's.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/follow.h"
#include "app/frame.h"
#include "app/loop.h"
#include "app/startup.h"
#include "state/state.h"

// Events are taken so SDL's queue does not fill, but none of them ends the
// page: Escape belongs to the browser, and closing the tab ends everything.
static bool Following = false;

static void web_frame()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    if (!Following) {
        play_frame();
        return;
    }
    const FollowFrame f = follow_frame();
    EM_ASM({ if (Module.onFollowFrame) Module.onFollowFrame($0, $1, !!$2, $3); }, f.seconds,
           scene_index_at(f.time), f.live, f.track_updates);
}

// The link's lines: to the page, with whether the studio is followed now.
static void say_link_line(const std::string &line)
{
    EM_ASM({ if (Module.onLinkLine) Module.onLinkLine(UTF8ToString($0), !!$1); }, line.c_str(),
           following_studio());
}

// Tells the page whether the demo is running (1) or start-up failed (0); the
// failure line itself went to standard output, i.e. the console.
static void report_started(bool ok)
{
    EM_ASM({ if (Module.onDemoStarted) Module.onDemoStarted(!!$0); }, ok);
}

static EM_BOOL on_start_click(int, const EmscriptenMouseEvent *, void *)
{
    emscripten_set_click_callback("#start", nullptr, EM_FALSE, nullptr);
    if (start_up() != 0) {
        report_started(false);
        return EM_TRUE;
    }
    report_started(true);
    if (Following)
        begin_web_following();
    // Start-up's own request (SDL_SetWindowFullscreen) reaches the browser
    // only where SDL finds a display mode of at least the window's 1920x1080,
    // i.e. on large screens. Ask for the canvas here, still inside the click,
    // on any screen; the browser scales it with its aspect ratio kept.
    emscripten_request_fullscreen("#canvas", EM_FALSE);
    emscripten_set_main_loop(web_frame, 0, EM_FALSE);
    return EM_TRUE;
}

// The test hook: one frame at `seconds`, read back before presenting (as the
// offline renderer does) and handed to the page as RGBA bytes, top row first,
// with the index of the scene drawn.
static int render_one_frame(double seconds)
{
    if (start_up() != 0)
        return 1;
    const FrameTime time = render_frame(seconds, SceneTable);
    std::vector<unsigned char> rgba(static_cast<size_t>(WINDOW_W) * WINDOW_H * 4);
    const bool read = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA32, rgba.data(),
                                           WINDOW_W * 4) == 0;
    if (!read)
        std::printf("read-back failed: %s\n", SDL_GetError());
    else
        EM_ASM({ Module.onTestFrame(HEAPU8.slice($0, $0 + $1 * $2 * 4), $1, $2, $3); },
               rgba.data(), WINDOW_W, WINDOW_H, scene_index_at(time));
    SDL_RenderPresent(renderer);
    tear_down();
    return read ? 0 : 1;
}

// A finite number and nothing else, or false.
static bool parse_seconds(const char *text, double *out)
{
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--frame-at") == 0) {
        double seconds = 0;
        if (!parse_seconds(argv[2], &seconds)) {
            std::printf("--frame-at needs a number of seconds, not \"%s\"\n", argv[2]);
            return 2;
        }
        return render_one_frame(seconds);
    }
    DemoArgs args;
    std::string error;
    if (!parse_demo_args(argc, argv, &args, &error) ||
        (!args.follow.empty() && !prepare_web_following(args, say_link_line, &error))) {
        EM_ASM({ Module.onFollowFault(UTF8ToString($0)); }, error.c_str());
        return 2;
    }
    Following = !args.follow.empty();
    if (emscripten_set_click_callback("#start", nullptr, EM_FALSE, on_start_click) !=
        EMSCRIPTEN_RESULT_SUCCESS) {
        std::printf("the page has no start layer\n");
        return 1;
    }
    EM_ASM({ if (Module.onDemoReady) Module.onDemoReady(); });
    return 0;
}
