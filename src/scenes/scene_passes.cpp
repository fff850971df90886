// scene_passes.cpp - one entry per software pass, calling the scenes'
// plain-buffer functions the way their routines do.
#include "scenes/scene_passes.h"

#include "scenes/fire.h"
#include "scenes/glyph_field.h"
#include "scenes/landscape.h"
#include "scenes/ray_sphere.h"
#include "scenes/render_target.h"
#include "scenes/sprite_drip.h"
#include "scenes/streak_window.h"

static void landscape_pixels(const ScenePassInput &in, uint32_t *out)
{
    const TrackValueSet &v = in.values;
    const LandscapeCamera cam{v.cam_x, v.cam_y, v.cam_rot, v.cam_dist, v.cam_h, v.cam_hori, v.cam_scaleh};
    render_landscape(out, HeightMap, ColourMap, cam);
}

static void smear_pixels(const ScenePassInput &in, uint32_t *out)
{
    smear_columns(in.snapshot, TARGET_W, out, TARGET_W);
}

// The pattern is remade only when its parameter changes: here every frame.
static void streak_pattern(const ScenePassInput &in, uint32_t *out)
{
    render_streak_pattern(out, in.frame);
}

static void sphere_pixels(const ScenePassInput &in, uint32_t *out)
{
    const TrackValueSet &v = in.values;
    const SphereFrame f = prepare_sphere_frame(v.cam_rot, v.cam_x, v.cam_y, v.cam_h);
    cast_sphere(f, view_surface(TextureloopSurface), out, TARGET_W);
}

static void fire_and_house_lines(const ScenePassInput &in, uint32_t *out)
{
    uint32_t seed[TARGET_W];
    seed_fire_row(seed);
    update_fire(in.snapshot, TARGET_W, out, TARGET_W, 1);
    draw_house_lines(view_surface(HouseSurface), out, TARGET_W);
}

static void fire_and_dissolve(const ScenePassInput &in, uint32_t *out)
{
    uint32_t seed[TARGET_W];
    seed_fire_row(seed);
    update_fire(in.snapshot, TARGET_W, out, TARGET_W, 0);
    dissolve_smears(view_surface(Smear1Surface), view_surface(Smear2Surface), 0.5f, out, TARGET_W);
}

// The plan of every glyph copy of a frame, from the scene's first random state.
static void glyph_plan(const ScenePassInput &in, uint32_t *)
{
    static GlyphCopy copies[GLYPH_COPIES];
    int32_t state = GLYPH_RANDOM_START;
    char line[GLYPH_LINE_LENGTH];
    plan_glyph_field(&state, line, in.tick, GlyphTable, copies);
}

const ScenePass ScenePasses[SCENE_PASS_COUNT] = {
    {0, "pixels", landscape_pixels},
    {1, "smear pixels", smear_pixels},
    {3, "pattern, new H", streak_pattern},
    {4, "pixels", sphere_pixels},
    {5, "fire + house lines", fire_and_house_lines},
    {5, "fire + dissolve", fire_and_dissolve},
    {6, "plan", glyph_plan},
};
