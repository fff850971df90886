// house_reflection.h - the pixel work of scene 2, the house silhouette and its
// rippling reflection, apart from the renderer.
#pragma once

#include <cstdint>

#include "scenes/scene_passes.h"

// The silhouette colour of a mask byte (m * 0x111111) and the reflection
// colour (m * 0x40033), 32-bit products.
uint32_t silhouette_colour(uint8_t m);
uint32_t reflection_colour(uint8_t m);

// Sideways shift, in Canvas columns, of reflection row y (100..129) at time
// tick: (6 - |3 cos(y 0.1)|) cos(y 0.5 + tick 0.001), single precision but
// for the double phase.
float reflection_shift(int y, uint32_t tick);

// Writes reflection row k (0..29: mask row 99 - k onto Canvas row
// trunc((100 + k) * 1.3)) with the given shift, x ascending, spill included.
void render_reflection_row(uint32_t *canvas, const uint8_t *mask, int k, float shift);

// Paints the silhouette (Canvas rows 0..129) and the reflection (rows 130..167
// and their spill) of a 320x100 mask into a 320x200 ARGB8888 canvas that is
// all zero on entry. Only writes pixels.
void render_house_reflection(uint32_t *canvas, const uint8_t *mask, uint32_t tick);

// The scene's pixel work: silhouette and reflection of the frame's house
// mask at the frame's Tick into out.pixels (all zero on entry).
ScenePixelFunction paint_house_reflection;
