// bench - frame timings of every scene through the demo's own start-up and
// frame functions.
//
//   bench [--frames N] [--renderer software]
//
// Starts the demo exactly as it starts itself (images from this program's
// directory, tracks and music from the working directory), with vertical
// sync off. Then, for each scene index 0 to 7, for a frame with no scene
// (-1) and for one with neither scene nor text (the loop's own cost), renders N frames (default 300) with fixed track values, the music
// time advancing 1/60 s per frame, and prints per scene the median and 90th
// percentile, in milliseconds, of
//   frame: the whole frame up to SDL_RenderPresent and a one-pixel read-back
//          (so the renderer has finished its work);
//   scene: draw_scene, that is the scene routine with the loop's own steps
//          around it (for scene 0 the clear, Canvas upload and copy).
// Extra rows time the software pixel work alone: the landscape at the bench
// camera, the streak pattern when H changes every frame, and the CPU passes
// of the render-target scenes (smear, sphere, fire with its overlays, the
// glyph field's plan of 1170 copies).
//
// First it reports the start-up time: from entering main to the end of
// start_up(), and to the first frame (music time 0) presented.
//
// With --renderer software the dummy video driver and the software renderer
// are used (no display needed); otherwise SDL picks as for the demo.
// Exit status: 0 done, 1 start-up failure, 2 bad arguments.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/frame.h"
#include "app/startup.h"
#include "state/state.h"
#include "scenes/fire.h"
#include "scenes/glyph_field.h"
#include "scenes/landscape.h"
#include "scenes/ray_sphere.h"
#include "scenes/render_target.h"
#include "scenes/scene_table.h"
#include "scenes/sprite_drip.h"
#include "scenes/streak_window.h"

namespace {

const char *const USAGE = "usage: bench [--frames N] [--renderer software]";

struct BenchArgs {
    long frames = 300;
    bool software = false;
};

bool parse_args(int argc, char **argv, BenchArgs *args)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            char *end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || end == argv[i] || n < 1 || n > 1000000)
                return false;
            args->frames = n;
        } else if (std::strcmp(argv[i], "--renderer") == 0 && i + 1 < argc &&
                   std::strcmp(argv[i + 1], "software") == 0) {
            args->software = true;
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

double now_ms()
{
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double, std::milli>(clock::now().time_since_epoch()).count();
}

// Track values of every bench frame: a landscape at draw distance 600 seen
// from above the hills, a light clear colour, and overlay line 17.
void set_bench_values()
{
    TrackValues.clear_r = 200.0f;
    TrackValues.clear_g = 180.0f;
    TrackValues.clear_b = 160.0f;
    TrackValues.clear_a = 17.0f;
    TrackValues.cam_x = 300.0f;
    TrackValues.cam_y = 400.0f;
    TrackValues.cam_h = 180.0f;
    TrackValues.cam_hori = -20.0f;
    TrackValues.cam_scaleh = 60.0f;
    TrackValues.cam_rot = 0.7f;
    TrackValues.cam_dist = 600.0f;
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

void print_row(const char *label, const Stats &frame, const Stats *scene)
{
    if (scene)
        std::printf("%-22s %9.3f %9.3f %9.3f %9.3f\n", label, frame.median, frame.p90, scene->median,
                    scene->p90);
    else
        std::printf("%-22s %9s %9s %9.3f %9.3f\n", label, "-", "-", frame.median, frame.p90);
}

} // namespace

int main(int argc, char **argv)
{
    const double launch_ms = now_ms();
    BenchArgs args;
    if (!parse_args(argc, argv, &args)) {
        std::fprintf(stderr, "%s\n", USAGE);
        return 2;
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0); // the bench plays no sound
    if (args.software)
        select_headless_video();
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    if (start_up() != 0)
        return 1;
    const double ready_ms = now_ms();
    // The first frame as the demo draws it: at music time 0, presented.
    render_frame(0.0);
    SDL_RenderPresent(renderer);
    uint32_t first_pixel = 0;
    const SDL_Rect first_one{0, 0, 1, 1};
    SDL_RenderReadPixels(renderer, &first_one, SDL_PIXELFORMAT_ARGB8888, &first_pixel, 4);
    const double first_frame_ms = now_ms();

    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0)
        std::printf("renderer: %s, video driver: %s, %ld frames per scene\n", info.name,
                    SDL_GetCurrentVideoDriver(), args.frames);
    std::printf("start-up %.1f ms, first frame presented after %.1f ms\n", ready_ms - launch_ms,
                first_frame_ms - launch_ms);
    std::printf("%-22s %9s %9s %9s %9s\n", "scene", "frame", "frame p90", "scene", "scene p90");

    double seconds = 0.0;
    std::vector<double> frame_ms, scene_ms;
    // Index -2 is the loop alone: no scene and no line of text.
    std::vector<int> indices;
    for (int i = 0; i < SCENE_COUNT; ++i)
        indices.push_back(i);
    indices.push_back(-1);
    indices.push_back(-2);
    for (int index : indices) {
        frame_ms.clear();
        scene_ms.clear();
        for (long i = 0; i < args.frames; ++i) {
            const double t0 = now_ms();
            update_frame_values(seconds);
            set_bench_values();
            if (index == -2)
                TrackValues.clear_a = 0.0f;
            clear_frame_buffers();
            const double s0 = now_ms();
            draw_scene(index);
            const double s1 = now_ms();
            finish_frame();
            SDL_RenderPresent(renderer);
            uint32_t pixel = 0;
            SDL_Rect one{0, 0, 1, 1};
            SDL_RenderReadPixels(renderer, &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
            const double t1 = now_ms();
            frame_ms.push_back(t1 - t0);
            scene_ms.push_back(s1 - s0);
            seconds += 1.0 / 60.0;
        }
        char label[32];
        if (const SceneInfo *scene = find_scene(index))
            std::snprintf(label, sizeof label, "%d %s", index, scene->name);
        else
            std::snprintf(label, sizeof label, "%s", index == -1 ? "no scene" : "loop only");
        const Stats scene = stats_of(scene_ms);
        print_row(label, stats_of(frame_ms), &scene);
    }

    // The software pixel work alone, into a scratch Canvas.
    std::vector<uint32_t> canvas(CANVAS_W * CANVAS_H);
    std::vector<double> work_ms;
    set_bench_values();
    const LandscapeCamera cam{TrackValues.cam_x,  TrackValues.cam_y,    TrackValues.cam_rot,
                              TrackValues.cam_dist, TrackValues.cam_h, TrackValues.cam_hori,
                              TrackValues.cam_scaleh};
    for (long i = 0; i < args.frames; ++i) {
        std::fill(canvas.begin(), canvas.end(), 0u);
        const double t0 = now_ms();
        render_landscape(canvas.data(), HeightMap, ColourMap, cam);
        work_ms.push_back(now_ms() - t0);
    }
    print_row("0 landscape pixels", stats_of(work_ms), nullptr);

    work_ms.clear();
    for (long i = 0; i < args.frames; ++i) {
        const double t0 = now_ms();
        render_streak_pattern(canvas.data(), static_cast<int32_t>(i));
        work_ms.push_back(now_ms() - t0);
    }
    print_row("3 pattern, new H", stats_of(work_ms), nullptr);

    // The render-target scenes' CPU passes, reading the landscape picture
    // as their snapshot and writing a scratch copy of it.
    render_landscape(canvas.data(), HeightMap, ColourMap, cam);
    std::vector<uint32_t> out(canvas);
    struct Pass {
        const char *label;
        void (*run)(const uint32_t *snapshot, uint32_t *out);
    };
    const Pass passes[] = {
        {"1 smear pixels",
         [](const uint32_t *snap, uint32_t *o) { smear_columns(snap, TARGET_W, o, TARGET_W); }},
        {"4 sphere pixels",
         [](const uint32_t *, uint32_t *o) {
             const SphereFrame f = prepare_sphere_frame(TrackValues.cam_rot, TrackValues.cam_x,
                                                        TrackValues.cam_y, 1.2f);
             cast_sphere(f, view_surface(TextureloopSurface), o, TARGET_W);
         }},
        {"5 fire + house lines",
         [](const uint32_t *snap, uint32_t *o) {
             uint32_t seed[TARGET_W];
             seed_fire_row(seed);
             update_fire(snap, TARGET_W, o, TARGET_W, 1);
             draw_house_lines(view_surface(HouseSurface), o, TARGET_W);
         }},
        {"5 fire + dissolve",
         [](const uint32_t *snap, uint32_t *o) {
             uint32_t seed[TARGET_W];
             seed_fire_row(seed);
             update_fire(snap, TARGET_W, o, TARGET_W, 0);
             dissolve_smears(view_surface(Smear1Surface), view_surface(Smear2Surface), 0.5f, o,
                             TARGET_W);
         }},
        {"6 glyph plan",
         [](const uint32_t *, uint32_t *) {
             static GlyphCopy copies[GLYPH_COPIES];
             int32_t state = GLYPH_RANDOM_START;
             char line[GLYPH_LINE_LENGTH];
             plan_glyph_field(&state, line, Tick, GlyphTable, copies);
         }},
    };
    for (const Pass &pass : passes) {
        work_ms.clear();
        for (long i = 0; i < args.frames; ++i) {
            const double t0 = now_ms();
            pass.run(canvas.data(), out.data());
            work_ms.push_back(now_ms() - t0);
        }
        print_row(pass.label, stats_of(work_ms), nullptr);
    }

    tear_down();
    return 0;
}
