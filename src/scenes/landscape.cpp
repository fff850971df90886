// landscape.cpp - scene 0: a voxel landscape flown over the repeating
// 1024x1024 terrain of the HeightMap and ColourMap, drawn into the Canvas.
//
// The picture is defined by painting slices of terrain from near to far: for
// every slice each column gets a strip from the slice's projected height down
// to row 198, and a farther slice overwrites a nearer one. A pixel therefore
// ends with the colour of the farthest slice whose strip covers it. This code
// walks the slices from far to near instead and keeps, per column, the highest
// row written so far: each pixel is written at most once and a column that is
// full to the top costs no more than its projection.
//
// The slice distances are the same single-precision values the forward walk
// produces (z = 1, 1.001, 1.012, ..., the step growing by 0.01 per slice); they
// do not depend on the camera, so they are computed once into a fixed table,
// LandscapeSlices of the process-wide state.

#include "scenes/landscape.h"

#include <algorithm>
#include <cmath>

#include "base/convert.h"
#include "state/state.h"
#include "scenes/scenes.h"

namespace {

enum {
    SCREEN_W = CANVAS_W,
    SCREEN_H = CANVAS_H,
    BOTTOM_ROW = SCREEN_H - 2, // every strip reaches down to here; row 199 stays clear
    TERRAIN_SIZE = MAP_SIZE,
    TERRAIN_MASK = MAP_MASK, // the terrain wraps every 1024 cells
};

// The forward walk of the slice distances: z += dz in single precision, then
// dz += 0.01 formed in double and rounded back.
void fill_slice_table(LandscapeSliceTable *table)
{
    float z = 1.0f;
    float dz = 0.001f;
    for (int k = 0; k < LANDSCAPE_MAX_SLICES; ++k) {
        table->z[k] = z;
        table->eye_factor[k] = std::cos(std::sin(static_cast<double>(z) * 0.01));
        z = z + dz;
        dz = static_cast<float>(static_cast<double>(dz) + 0.01);
    }
    table->ready = true;
}

const LandscapeSliceTable &slice_table()
{
    if (!LandscapeSlices.ready)
        fill_slice_table(&LandscapeSlices);
    return LandscapeSlices;
}

} // namespace

void prepare_landscape()
{
    slice_table();
}

float landscape_slice_z(int k)
{
    return slice_table().z[k];
}

int landscape_slice_count(float dist)
{
    if (!(dist > 1.0f))
        return 0;
    // The walk goes on while dist > z; the table rises strictly, so the count
    // is the index of the first slice at or beyond dist.
    const float *z = slice_table().z;
    return static_cast<int>(std::lower_bound(z, z + LANDSCAPE_MAX_SLICES, dist) - z);
}

void render_landscape(uint32_t *canvas, const uint32_t *heights,
                      const uint32_t *colours, const LandscapeCamera &cam)
{
    const float sr = static_cast<float>(std::sin(static_cast<double>(cam.rot)));
    const float cr = static_cast<float>(std::cos(static_cast<double>(cam.rot)));
    const int count = landscape_slice_count(cam.dist);
    const LandscapeSliceTable &slices = slice_table();

    // top[i]: the highest row of column i written so far (199: none yet).
    int top[SCREEN_W];
    std::fill(top, top + SCREEN_W, BOTTOM_ROW + 1);
    int open_columns = SCREEN_W; // columns not yet filled up to row 0

    for (int k = count - 1; k >= 0 && open_columns > 0; --k) {
        const float z = slices.z[k];
        const float zs = z * sr;
        const float zc = z * cr;
        const float lx = cam.x - (zs + zc);
        const float ly = (zs - zc) + cam.y;
        const float rx = (zc - zs) + cam.x;
        const float ry = cam.y - (zs + zc);
        const float dx = (rx - lx) / static_cast<float>(SCREEN_W);
        const float dy = (ry - ly) / static_cast<float>(SCREEN_W);
        const double eye = slices.eye_factor[k] * static_cast<double>(cam.h);
        const double zd = z;
        const double scaleh = cam.scaleh;
        const double hori = cam.hori;

        float x = lx;
        float y = ly;
        for (int i = 0; i < SCREEN_W; ++i, x += dx, y += dy) {
            if (top[i] == 0)
                continue;
            // Two's-complement low 10 bits: negative positions wrap too.
            const uint32_t row = static_cast<uint32_t>(to_int32(y)) & TERRAIN_MASK;
            const uint32_t col = static_cast<uint32_t>(to_int32(x)) & TERRAIN_MASK;
            const uint32_t cell = row * TERRAIN_SIZE + col;
            const double v = ((eye - static_cast<double>(heights[cell])) / zd) * scaleh + hori;
            // Top row of the strip, SCREEN_H + 2t; worked in 64 bits so that a
            // huge projection clamps instead of overflowing.
            const int64_t t = to_int32(v);
            const int64_t strip_top = SCREEN_H + 2 * t;
            if (strip_top >= SCREEN_H)
                continue;
            const int first = strip_top <= 1 ? 0 : static_cast<int>(strip_top) - 1;
            if (first >= top[i])
                continue;
            const uint32_t colour = colours[cell];
            for (int r = first; r < top[i]; ++r)
                canvas[r * SCREEN_W + i] = colour;
            top[i] = first;
            if (first == 0)
                --open_columns;
        }
    }
}

uint32_t paint_landscape(const SceneFrame &frame, const SceneOutput &out)
{
    const TrackValueSet &v = frame.values;
    const LandscapeCamera cam{v.cam_x, v.cam_y, v.cam_rot, v.cam_dist, v.cam_h, v.cam_hori, v.cam_scaleh};
    render_landscape(out.pixels, frame.heights, frame.colours, cam);
    return 0;
}

// Scene 0: the window cleared to the clear colour, the landscape painted into
// the Canvas (which the frame loop has cleared), uploaded and stretched over
// the window.
void draw_landscape(const FrameTime &time)
{
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer, channel_from_value(TrackValues.clear_r),
                           channel_from_value(TrackValues.clear_g),
                           channel_from_value(TrackValues.clear_b), 255);
    SDL_RenderClear(renderer);

    paint_landscape(current_scene_frame(time), scene_state_output(Canvas));
    SDL_UpdateTexture(CanvasTexture, nullptr, Canvas, CANVAS_PITCH);
    SDL_RenderCopy(renderer, CanvasTexture, nullptr, nullptr);
}
