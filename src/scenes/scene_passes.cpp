// scene_passes.cpp - the frame the scene routines hand their pixel work, and
// the table of those pixel functions.
#include "scenes/scene_passes.h"

#include "scenes/fire.h"
#include "scenes/glyph_field.h"
#include "scenes/house_reflection.h"
#include "scenes/landscape.h"
#include "scenes/ray_sphere.h"
#include "scenes/sprite_drip.h"
#include "scenes/streak_window.h"

SceneFrame current_scene_frame(const FrameTime &time)
{
    SceneFrame f;
    f.values = TrackValues;
    f.tick = time.tick;
    f.step = StepCounter;
    f.snapshot = nullptr;
    f.snapshot_stride = 0;
    f.heights = HeightMap;
    f.colours = ColourMap;
    f.house_mask = HouseMask;
    f.glyph_table = GlyphTable;
    f.house = view_surface(HouseSurface);
    f.smear1 = view_surface(Smear1Surface);
    f.smear2 = view_surface(Smear2Surface);
    f.textureloop = view_surface(TextureloopSurface);
    return f;
}

SceneOutput scene_state_output(uint32_t *pixels)
{
    return SceneOutput{pixels, &GlyphRandomState, GlyphLine, GlyphCopies};
}

const ScenePass ScenePasses[SCENE_PASS_COUNT] = {
    {0, "pixels", paint_landscape, nullptr, 0.0f},
    {1, "smear pixels", paint_drip_smear, nullptr, 0.0f},
    {2, "pixels", paint_house_reflection, nullptr, 0.0f},
    {3, "pattern, new H", paint_streak_pattern, nullptr, 0.0f},
    {4, "pixels", paint_sphere, nullptr, 0.0f},
    {5, "fire + house lines", paint_fire, &TrackValueSet::cam_hori, -0.5f},
    {5, "fire + dissolve", paint_fire, &TrackValueSet::cam_hori, 0.5f},
    {6, "plan", plan_glyph_copies, nullptr, 0.0f},
};
