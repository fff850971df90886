// bench - frame timings of every scene through the demo's own start-up and
// frame functions.
//
//   bench [--frames N] [--renderer software]
//
// Starts the demo exactly as it starts itself (images from this program's
// directory, tracks and music from the working directory), with vertical
// sync off, and reports the start-up time: from entering main to the end of
// start_up(), and to the first frame (music time 0) presented.
//
// Then the tracks are given fixed values (one key each, through the sync
// device, as an editor would), and for each scene of the scene table, for a
// frame with no scene (-1) and for one with neither scene nor text (the
// loop's own cost) it renders N frames (default 300), the music time
// advancing 1/60 s per frame, and prints per scene the median and 90th
// percentile, in milliseconds, of
//   frame: the whole frame up to SDL_RenderPresent and a one-pixel read-back
//          (so the renderer has finished its work);
//   scene: draw_scene, that is the scene routine with the loop's own steps
//          around it (for scene 0 the clear, Canvas upload and copy).
// Last, the scenes' pixel functions alone (scenes/scene_passes.h), the very
// functions the scene routines call, each on the bench values and into
// scratch buffers of its own.
//
// With --renderer software the dummy video driver and the software renderer
// are used (no display needed); otherwise SDL picks as for the demo.
// Exit status: 0 done, 1 start-up failure, 2 bad arguments.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/startup.h"
#include "common/command_line.h"
#include "scenes/scene_passes.h"
#include "scenes/scene_table.h"
#include "state/state.h"
#include "sync/device.h"
#include "sync/track.h"

namespace {

const char *const USAGE = "usage: bench [--frames N] [--renderer software]";

struct BenchArgs {
    long frames = 300;
    bool software = false;
};

// -1 to go on, else the exit status (help or a usage error, printed).
int parse_args(int argc, char **argv, BenchArgs *args)
{
    CommandLine cl("bench",
                   "Times every scene through the demo's own start-up and frame functions:\n"
                   "the median and 90th percentile of the whole frame and of the scene's own\n"
                   "work, then each scene's pixel function alone.",
                   USAGE);
    std::string renderer;
    cl.app.add_option("--frames", args->frames, "frames per scene, 1 to 1000000")
        ->type_name("N")
        ->check(whole_number(1, 1000000))
        ->capture_default_str();
    cl.app.add_option("--renderer", renderer,
                      "software: SDL's dummy video driver and software renderer, no display"
                      " (default: the renderer SDL picks, as for the demo)")
        ->type_name("software")
        ->check(CLI::IsMember({"software"}).description(""));
    const int status = cl.parse(argc, argv);
    args->software = renderer == "software";
    return status;
}

double now_ms()
{
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double, std::milli>(clock::now().time_since_epoch()).count();
}

// The values of every bench frame: a landscape at draw distance 600 seen
// from above the hills, a light clear colour, and overlay line 17.
constexpr TrackValueSet BENCH_VALUES = [] {
    TrackValueSet v{};
    v.clear_r = 200.0f;
    v.clear_g = 180.0f;
    v.clear_b = 160.0f;
    v.clear_a = 17.0f;
    v.cam_x = 300.0f;
    v.cam_y = 400.0f;
    v.cam_h = 180.0f;
    v.cam_hori = -20.0f;
    v.cam_scaleh = 60.0f;
    v.cam_rot = 0.7f;
    v.cam_dist = 600.0f;
    return v;
}();

void hold_track(TrackId id, float value)
{
    const SyncKey key{0, value, INTERP_HOLD};
    set_track_keys(Tracks[id], &key, 1);
}

// Every track holds one value from row 0 on: the bench values, the given
// scene index and overlay line.
void hold_bench_values(int scene, float line)
{
    hold_track(TRACK_SCENE, static_cast<float>(scene));
#define DEMO_HOLD_TRACK(ID, FIELD, NAME) hold_track(TRACK_##ID, BENCH_VALUES.FIELD);
    DEMO_VALUE_TRACKS(DEMO_HOLD_TRACK)
#undef DEMO_HOLD_TRACK
    hold_track(TRACK_CLEAR_A, line);
}

struct Stats {
    double median, p90;
};

Stats stats_of(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return Stats{v[n / 2], v[std::min(n - 1, (n * 9) / 10)]};
}

void print_row(const std::string &label, const Stats &frame, const Stats *scene)
{
    if (scene)
        std::printf("%-30s %9.3f %9.3f %9.3f %9.3f\n", label.c_str(), frame.median, frame.p90,
                    scene->median, scene->p90);
    else
        std::printf("%-30s %9s %9s %9.3f %9.3f\n", label.c_str(), "-", "-", frame.median, frame.p90);
}

// Waits for the renderer to finish the frame: a one-pixel read-back.
void finish_rendering()
{
    uint32_t pixel = 0;
    const SDL_Rect one{0, 0, 1, 1};
    SDL_RenderReadPixels(renderer, &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
}

// Start-up, then the first frame as the demo draws it: at music time 0, presented.
bool time_start_up(double launch_ms)
{
    if (start_up() != 0)
        return false;
    const double ready_ms = now_ms();
    render_frame(0.0, SceneTable);
    SDL_RenderPresent(renderer);
    finish_rendering();
    const double first_frame_ms = now_ms();
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0)
        std::printf("renderer: %s, video driver: %s\n", info.name, SDL_GetCurrentVideoDriver());
    std::printf("start-up %.1f ms, first frame presented after %.1f ms\n", ready_ms - launch_ms,
                first_frame_ms - launch_ms);
    return true;
}

// N frames of one scene index through the frame's own steps; the music
// time goes on from *seconds. Returns the time of the last frame.
FrameTime time_scene(int index, float line, const std::string &label, long frames, double *seconds)
{
    hold_bench_values(index, line);
    std::vector<double> frame_ms, scene_ms;
    FrameTime time{};
    for (long i = 0; i < frames; ++i) {
        const double t0 = now_ms();
        time = update_frame_values(*seconds);
        clear_frame_buffers();
        const double s0 = now_ms();
        draw_scene(SceneTable, scene_index_at(time), time);
        const double s1 = now_ms();
        finish_frame();
        SDL_RenderPresent(renderer);
        finish_rendering();
        frame_ms.push_back(now_ms() - t0);
        scene_ms.push_back(s1 - s0);
        *seconds += 1.0 / 60.0;
    }
    const Stats scene = stats_of(scene_ms);
    print_row(label, stats_of(frame_ms), &scene);
    return time;
}

// Every scene, then no scene and no text; returns the last frame's time.
FrameTime time_scenes(long frames)
{
    std::printf("%-30s %9s %9s %9s %9s\n", "scene", "frame", "frame p90", "scene", "scene p90");
    double seconds = 0.0;
    for (int i = 0; i < static_cast<int>(SceneTable.size()); ++i)
        time_scene(i, BENCH_VALUES.clear_a, std::to_string(i) + " " + SceneTable[i].name, frames,
                   &seconds);
    time_scene(-1, BENCH_VALUES.clear_a, "no scene", frames, &seconds);
    return time_scene(-1, 0.0f, "loop only", frames, &seconds);
}

// The pixel functions at `time`, each reading the bench camera's landscape
// picture as its snapshot and writing scratch buffers, so no scene state
// changes.
void time_passes(long frames, const FrameTime &time)
{
    std::vector<uint32_t> snapshot(CANVAS_W * CANVAS_H), pixels(CANVAS_W * CANVAS_H);
    std::vector<GlyphCopy> glyph_copies(GLYPH_COPIES);
    int32_t glyph_random = GLYPH_RANDOM_START;
    char glyph_line[GLYPH_LINE_LENGTH];
    const SceneOutput scratch{pixels.data(), &glyph_random, glyph_line, glyph_copies.data()};

    SceneFrame frame = current_scene_frame(time);
    frame.values = BENCH_VALUES;
    ScenePasses[0].run(frame, SceneOutput{snapshot.data(), nullptr, nullptr, nullptr});
    frame.snapshot = snapshot.data();
    frame.snapshot_stride = CANVAS_W;
    for (const ScenePass &pass : ScenePasses) {
        SceneFrame f = frame;
        if (pass.field)
            f.values.*pass.field = pass.value;
        std::vector<double> work_ms;
        for (long i = 0; i < frames; ++i) {
            f.step = static_cast<int32_t>(i);
            const double t0 = now_ms();
            pass.run(f, scratch);
            work_ms.push_back(now_ms() - t0);
        }
        const std::string label =
            std::to_string(pass.scene) + " " + SceneTable[pass.scene].name + ": " + pass.what;
        print_row(label, stats_of(work_ms), nullptr);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const double launch_ms = now_ms();
    BenchArgs args;
    if (const int status = parse_args(argc, argv, &args); status >= 0)
        return status;
    setenv("SDL_AUDIODRIVER", "dummy", 0); // the bench plays no sound
    if (args.software)
        select_headless_video();
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    if (!time_start_up(launch_ms))
        return 1;
    std::printf("%ld frames per scene\n", args.frames);
    const FrameTime last = time_scenes(args.frames);
    time_passes(args.frames, last);
    tear_down();
    return 0;
}
