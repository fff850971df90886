// house_reflection.cpp - scene 2: the HouseMask silhouette stretched by 1.3
// over Canvas rows 0..129 in light grey, a mirrored copy of its lower 30 rows
// under it in purple and dark blue, each row shifted by a wave that travels
// with Tick, and the "house.bmp" picture over everything at alpha 180.
//
// The mask and the Canvas are both addressed as one linear array, and that is
// the picture: mask index row * 320 + x - 9 reaches back into the end of the
// previous mask row (the silhouette sits 9 columns right, its 9 leftmost
// columns showing the previous row's last 9 bytes), and a reflection pixel
// shifted past either side of the Canvas lands on the row above or below.

#include "scenes/house_reflection.h"

#include <cmath>

#include "base/convert.h"
#include "state/state.h"
#include "scenes/scenes.h"

namespace {

enum {
    MASK_W = HOUSEMASK_W,
    MASK_H = HOUSEMASK_H,
    MASK_SHIFT = 9,       // columns the mask is read to the left
    ROW_LENGTH = 319,     // x runs 0..318; column 319 gets only spill
    REFLECTION_ROWS = 30, // mask rows 99 down to 70, mirrored
    SCREEN_W = CANVAS_W,
    CANVAS_PIXELS = CANVAS_W * CANVAS_H,
};

// Mask byte at a linear index; below the start of the mask it reads 0.
uint8_t mask_at(const uint8_t *mask, int index)
{
    return index < 0 ? 0 : mask[index];
}

// Canvas row of mask row (or reflection row) y: trunc(y * 1.3) in double.
int stretched_row(int y)
{
    return to_int32(y * 1.3);
}

} // namespace

uint32_t silhouette_colour(uint8_t m)
{
    return m * 0x111111u;
}

uint32_t reflection_colour(uint8_t m)
{
    return m * 0x40033u;
}

float reflection_shift(int y, uint32_t tick)
{
    // The phase is double (T = Tick * 0.001 is); everything stored is single
    // precision, each cosine taken in double and rounded back. A single
    // phase would throw away T's precision (at Tick 4e9, T = 4e6 radians
    // steps by a quarter radian in single); y * 0.5 is exact either way.
    const double t = static_cast<double>(tick) * 0.001; // radians, 1.6 per second
    const float ripple = static_cast<float>(std::cos(static_cast<double>(static_cast<float>(y) * 0.1f)));
    const float amplitude = 6.0f - std::fabs(3.0f * ripple); // 3..6
    const float wave = static_cast<float>(std::cos(static_cast<double>(y) * 0.5 + t));
    return amplitude * wave;
}

void render_reflection_row(uint32_t *canvas, const uint8_t *mask, int k, float shift)
{
    const int base = stretched_row(100 + k) * SCREEN_W;
    const int source = (MASK_H - 1 - k) * MASK_W - MASK_SHIFT;
    for (int x = 0; x < ROW_LENGTH; ++x) {
        // Truncation toward zero: x + shift in (-1, 1) lands on column 0.
        const int64_t index = base + static_cast<int64_t>(to_int32(static_cast<float>(x) + shift));
        if (index < 0 || index >= CANVAS_PIXELS)
            continue; // only a shift far beyond the wave's +-6 could get here
        canvas[index] = reflection_colour(mask_at(mask, source + x));
    }
}

void render_house_reflection(uint32_t *canvas, const uint8_t *mask, uint32_t tick)
{
    // Silhouette: mask row y on Canvas rows R and R + 1, R = trunc(y * 1.3).
    for (int y = 0; y < MASK_H; ++y) {
        const int r = stretched_row(y);
        uint32_t *upper = canvas + r * SCREEN_W;
        uint32_t *lower = upper + SCREEN_W;
        for (int x = 0; x < ROW_LENGTH; ++x) {
            const uint32_t c = silhouette_colour(mask_at(mask, y * MASK_W + x - MASK_SHIFT));
            upper[x] = c;
            lower[x] = c;
        }
    }

    // Reflection: mask rows 99 upwards on Canvas rows trunc(y * 1.3) for
    // y = 100..129; later rows' writes win.
    for (int k = 0; k < REFLECTION_ROWS; ++k)
        render_reflection_row(canvas, mask, k, reflection_shift(100 + k, tick));
}

uint32_t paint_house_reflection(const SceneFrame &frame, const SceneOutput &out)
{
    render_house_reflection(out.pixels, frame.house_mask, frame.tick);
    return 0;
}

// Scene 2. Draws straight onto the window; the frame loop copies nothing.
void draw_house_reflection(const FrameTime &time)
{
    SDL_SetRenderTarget(renderer, PictureTarget);
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer, channel_from_value(TrackValues.clear_r),
                           channel_from_value(TrackValues.clear_g),
                           channel_from_value(TrackValues.clear_b), 255);
    SDL_RenderClear(renderer);

    paint_house_reflection(current_scene_frame(time), scene_state_output(Canvas));

    SDL_UpdateTexture(CanvasTexture, nullptr, Canvas, CANVAS_PITCH);
    SDL_RenderCopy(renderer, CanvasTexture, nullptr, nullptr);
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_BLEND);

    const WindowRect &r = HOUSE_PICTURE_RECT;
    const SDL_Rect picture = {r.x, r.y, r.w, r.h};
    SDL_SetTextureAlphaMod(HouseTexture, 180);
    SDL_RenderCopy(renderer, HouseTexture, nullptr, &picture);
}
