// scene_table.cpp - the table of the scenes.
#include "scenes/scene_table.h"

#include "scenes/scenes.h"

static const SceneInfo Scenes[] = {
    {"landscape", draw_landscape, false},
    {"sprite drip", draw_sprite_drip, true},
    {"house", draw_house_reflection, false},
    {"streak", draw_streak_window, false},
    {"sphere", draw_ray_sphere, true},
    {"fire", draw_fire, true},
    {"glyph field", draw_glyph_field, false},
    {"sequence", draw_image_sequence, true},
};

const std::span<const SceneInfo> SceneTable{Scenes};

const SceneInfo *find_scene(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= SceneTable.size())
        return nullptr;
    return &SceneTable[index];
}
