// landscape.h - the pixel work of scene 0, the voxel landscape, on any
// buffers. Its one table, LandscapeSlices, is in state/state.h.
#pragma once

#include <cstdint>

#include "scenes/scene_passes.h"
#include "state/state.h"

// The camera of the landscape, as the "cam" tracks give it.
struct LandscapeCamera {
    float x, y;   // position in terrain cells (x along a map row, y down rows)
    float rot;    // view direction, radians
    float dist;   // draw distance in terrain cells
    float h;      // eye height, HeightMap units (0..255)
    float hori;   // horizon offset, units of two Canvas rows
    float scaleh; // vertical scale of the projection
};

// LANDSCAPE_MAX_SLICES (state/state.h) slices of terrain are drawn at most;
// the forward walk of a draw distance beyond about 2.1e7 cells is cut short
// there (its nearest slices are drawn, the farther ones are not).

// Distance of slice k as the forward walk from z = 1 produces it
// (0 <= k < LANDSCAPE_MAX_SLICES).
float landscape_slice_z(int k);

// Builds the table of slice distances now (start-up), so that the first
// landscape frame does not pay for it. Later calls do nothing.
void prepare_landscape();

// Number of slices a draw distance paints: 0 when dist is not above 1 (NaN
// included), otherwise 1 + the number of later slices closer than dist.
int landscape_slice_count(float dist);

// Paints the landscape into a 320x200 ARGB8888 canvas (320 pixels per row)
// that is all zero on entry; heights and colours are 1024x1024 maps indexed
// row * 1024 + column. Writes each pixel at most once and never row 199.
void render_landscape(uint32_t *canvas, const uint32_t *heights,
                      const uint32_t *colours, const LandscapeCamera &cam);

// The scene's pixel work: the landscape of the frame's camera tracks, from
// the frame's height and colour maps, into out.pixels (all zero on entry).
ScenePixelFunction paint_landscape;
