// studio - a live preview for making the demo: the demo's picture and music
// in an ordinary resizable window, with the timeline source reloaded while it
// plays, a transport, a HUD and a clickable timeline strip.
//
//   studio [TIMELINE] [--start SECONDS] [--export DIR] [--build DIR [--build-timeout SECONDS] | --no-live-code]
//          [--serve [ADDR:]PORT | --no-serve]
//          [--scene-timeout SECONDS]
//   (--help lists them)
//
// Run from the demo directory like the demo (images beside the program,
// music from the working directory). With TIMELINE the tracks come from that
// source, compiled in memory and reloaded on every good save; without it from
// the .track files of the working directory. Run from a build folder (or
// with --build) it rebuilds and swaps in the scenes' code when a scene source
// is saved (studio/live_code.h), and calls that code under a guard that
// survives its crashes and hangs (studio/guarded_scenes.h). Exit status: 0
// after Escape or a window close, 1 when start-up fails, TIMELINE cannot be read or the --build folder
// is no build folder, 2 on a wrong command line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/startup.h"
#include "common/output_file.h"
#include "state/state.h"
#include "studio/state_layout.h"
#include "studio/live/guarded_scenes.h"
#include "studio/live/live_code.h"
#include "studio/music.h"
#include "studio/studio.h"
#include "studio/studio_args.h"
#include "studio/view/ui_render.h"
#include "studio/view/view.h"

// Closes what the studio opened, in the reverse order: each step does
// nothing for what was never opened. `started`: the start-up succeeded (the
// window, the music and the tracks are then torn down too). Returns `status`.
static int close_studio(Studio *s, bool started, int status)
{
    if (s->guard)
        stop_scene_guard(s->guard);
    if (s->code)
        stop_live_code(s->code);
    stop_waveform(&s->waveform);
    std::string unsaved; // each failure was printed as it came
    finish_source_saves(&s->saver, &s->watch, &unsaved);
    close_timeline_watch(&s->watch);
    close_track_export(&s->track_export);
    close_studio_serve(&s->serve);
    close_ui();
    if (started)
        tear_down();
    return status;
}

// Live scene code: from the build folder named, or the one the studio was
// built in; without one the linked-in scenes draw, as in the demo. Its
// scenes are called under the guard: a crash or a scene that does not
// return costs its frame and sets that library aside. False when the
// folder asked for by name is no build folder.
static bool start_live_scenes(Studio *s, const StudioArgs &args, LiveCode *code, SceneGuard *guard)
{
    const std::string build = args.live_code ? (args.build.empty() ? own_build_dir() : args.build) : "";
    if (build.empty())
        return true;
    std::string error;
    code->build_timeout_ms = static_cast<uint64_t>(std::min(args.build_timeout, 1e9) * 1000.0);
    if (!start_live_code(code, build, STATE_LAYOUT, &error)) {
        std::fprintf(stderr, "studio: no live scene code: %s\n", error.c_str());
        return args.build.empty(); // asked for by name: no quiet fallback
    }
    s->code = code;
    if (start_scene_guard(guard, args.scene_timeout, &error))
        s->guard = guard;
    else
        std::fprintf(stderr, "studio: live scenes unguarded: %s\n", error.c_str());
    return true;
}

int main(int argc, char **argv)
{
    ignore_file_size_signal();
    StudioArgs args;
    std::string text;
    switch (parse_studio_args(argc, argv, &args, &text)) {
    case STUDIO_ARGS_HELP: std::fputs(text.c_str(), stdout); return 0;
    case STUDIO_ARGS_BAD: std::fputs(text.c_str(), stderr); return 2;
    case STUDIO_ARGS_OK: break;
    }

    Studio studio;
    WatchResult first = WATCH_UNCHANGED;
    if (!args.timeline.empty()) {
        std::string error;
        if (!open_timeline_watch(&studio.watch, args.timeline, &first, &error)) {
            std::fprintf(stderr, "studio: %s\n", error.c_str());
            return close_studio(&studio, false, 1);
        }
        studio.live = true;
        if (!args.export_dir.empty())
            open_track_export(&studio.track_export, args.export_dir);
    }

    const StartupOptions options = {"lumikenno 2019 studio", STUDIO_WINDOW_W, STUDIO_WINDOW_H,
                                    SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE, false, !studio.live};
    if (start_up_with(options) != 0)
        return close_studio(&studio, false, 1); // start-up has cleaned up after itself
    if (!create_picture_target()) {
        std::fprintf(stderr, "studio: cannot make the picture target: %s\n", SDL_GetError());
        return close_studio(&studio, true, 1);
    }
    // A source that does not parse at start leaves the tracks empty; its
    // messages show until the first good save.
    take_watch_result(&studio, first);

    std::string ui_error;
    if (!open_ui(renderer, &ui_error)) {
        std::fprintf(stderr, "studio: %s\n", ui_error.c_str());
        return close_studio(&studio, true, 1);
    }
    start_waveform(&studio.waveform, MUSIC_FILE);

    LiveCode code;
    SceneGuard guard;
    if (!start_live_scenes(&studio, args, &code, &guard))
        return close_studio(&studio, true, 1);
    open_studio_serve(&studio.serve, Sync, args);

    if (args.start != 0.0)
        music_seek(clamp_time(args.start, music_length()));
    studio.transport.previous = music_position();
    studio.view.timing = std::getenv("STUDIO_FRAME_TIMES") != nullptr;
    while (!studio.quit)
        run_studio_frame(&studio);
    if (studio.view.timing)
        print_frame_times(studio.view);
    return close_studio(&studio, true, 0);
}
