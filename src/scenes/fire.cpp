// fire.cpp - scene 5: feedback fire with image overlays.
//
// The fire lives in the TargetTexture from frame to frame. Each frame seeds
// the bottom row with random warm colours, reads the target back, and redraws
// every second column of rows 0..198 from the pixel one column right and 0
// or 2 rows below, a little darker: the picture drifts up and left and cools
// to black. An overlay picked by "cam.hori" follows: the house's dark pixels
// as grey lines, one of the two smear images, or a random dissolve of them.
// The next frame carries the overlay up into the fire.
//
// The per-pixel work (paint_fire) is computed into TargetCopy and uploaded in
// one go; the seed row, the read-back and the smear texture copies keep their
// places in the renderer's command order. State: the shared ReadbackSurface and
// StepCounter (its low bit picks the column parity).
#include "scenes/fire.h"

#include "base/convert.h"
#include "state/state.h"
#include "gfx/image.h"
#include "scenes/scenes.h"

#include <cmath>
#include <cstdlib>

FireOverlay choose_fire_overlay(float v)
{
    if (!(v <= 1.0f))
        return FIRE_OVERLAY_NONE; // above 1, or not a number
    if (v < 0.0f)
        return FIRE_OVERLAY_HOUSE;
    if (v == 0.0f)
        return FIRE_OVERLAY_SMEAR1;
    if (v == 1.0f)
        return FIRE_OVERLAY_SMEAR2;
    return FIRE_OVERLAY_DISSOLVE;
}

void seed_fire_row(uint32_t *row)
{
    for (int x = 0; x < TARGET_W; x++) {
        const uint32_t r = std::rand() & 255;
        const uint32_t g = (std::rand() & 255) >> 2;
        const uint32_t b = (std::rand() & 255) >> 3;
        row[x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
}

// A channel lowered by step, floored at 0.
static uint32_t cool(uint32_t c, uint32_t step) { return c > step ? c - step : 0; }

uint32_t update_fire(const uint32_t *snapshot, int snapshot_stride, uint32_t *target,
                     int target_stride, int parity)
{
    uint32_t last = 0;
    for (int y = 0; y < FIRE_SEED_ROW; y++) {
        for (int x = parity; x + 1 < TARGET_W; x += 2) {
            int s = y + (std::rand() & 2);
            if (s > FIRE_SEED_ROW)
                s = FIRE_SEED_ROW;
            const uint32_t p = snapshot[s * snapshot_stride + x + 1];
            last = 0xFF000000u | cool((p >> 16) & 0xFF, 2) << 16 | cool((p >> 8) & 0xFF, 4) << 8 |
                   cool(p & 0xFF, 8);
            target[y * target_stride + x] = last;
        }
    }
    return last;
}

uint32_t draw_house_lines(const RawImage &house, uint32_t *target, int stride)
{
    uint32_t last = 0;
    for (int y = 0; y < HOUSE_LINES_H; y += 2) {
        for (int x = 0; x < HOUSE_LINES_W; x++) {
            const uint32_t p = read_raw_pixel(house.pixels, house.pitch, house.bpp, x, y);
            if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3) {
                const uint32_t grey = static_cast<uint32_t>(y);
                last = 0xFF000000u | grey << 16 | grey << 8 | grey;
                target[(y + HOUSE_LINES_Y) * stride + x + HOUSE_LINES_X] = last;
            }
        }
    }
    return last;
}

float dissolve_weight(int r, float v)
{
    float w = static_cast<float>(r % 10) / 100.0f + v;
    if (w < 0.0f)
        w = 0.0f;
    if (w > 1.0f)
        w = 1.0f;
    return w;
}

int blend_channel(uint32_t q1, uint32_t q2, float w)
{
    return to_int32(static_cast<float>(q2) * w) + to_int32(static_cast<float>(q1) * (1.0f - w));
}

uint32_t dissolve_smears(const RawImage &smear1, const RawImage &smear2, float v, uint32_t *target,
                         int stride)
{
    uint32_t last = 0;
    for (int y = 0; y < TARGET_H; y++) {
        for (int x = 0; x < TARGET_W; x++) {
            const uint32_t p1 = read_raw_pixel(smear1.pixels, smear1.pitch, smear1.bpp, x, y);
            const uint32_t p2 = read_raw_pixel(smear2.pixels, smear2.pitch, smear2.bpp, x, y);
            const float w = dissolve_weight(std::rand(), v);
            const int r = blend_channel((p1 >> 16) & 0xFF, (p2 >> 16) & 0xFF, w);
            const int g = blend_channel((p1 >> 8) & 0xFF, (p2 >> 8) & 0xFF, w);
            const int b = blend_channel(p1 & 0xFF, p2 & 0xFF, w);
            if (r + g + b > 3) {
                last = 0xFF000000u | static_cast<uint32_t>(r & 0xFF) << 16 |
                       static_cast<uint32_t>(g & 0xFF) << 8 | static_cast<uint32_t>(b & 0xFF);
                target[y * stride + x] = last;
            }
        }
    }
    return last;
}

// The overlays worked in software; the smear images are texture copies that
// the routine makes after the upload. Returns the overlay's last point, 0
// for none.
static uint32_t paint_fire_overlay(const SceneFrame &frame, uint32_t *target)
{
    const float v = frame.values.cam_hori;
    const FireOverlay overlay = choose_fire_overlay(v);
    if (overlay == FIRE_OVERLAY_HOUSE && covers(frame.house, HOUSE_LINES_W, HOUSE_LINES_H))
        return draw_house_lines(frame.house, target, TARGET_W);
    if (overlay == FIRE_OVERLAY_DISSOLVE && covers(frame.smear1, TARGET_W, TARGET_H) &&
        covers(frame.smear2, TARGET_W, TARGET_H))
        return dissolve_smears(frame.smear1, frame.smear2, v, target, TARGET_W);
    return 0;
}

uint32_t paint_fire(const SceneFrame &frame, const SceneOutput &out)
{
    const uint32_t last =
        update_fire(frame.snapshot, frame.snapshot_stride, out.pixels, TARGET_W, frame.step & 1);
    const uint32_t overlay_last = paint_fire_overlay(frame, out.pixels);
    return overlay_last ? overlay_last : last;
}

void draw_fire(const FrameTime &time)
{
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_SetTextureBlendMode(TargetTexture, SDL_BLENDMODE_BLEND);
    make_readback_surface();

    uint32_t seed[TARGET_W];
    seed_fire_row(seed);
    upload_target_row(FIRE_SEED_ROW, seed);

    SceneFrame frame = current_scene_frame(time);
    frame.snapshot = read_back_target(&frame.snapshot_stride);
    StepCounter = static_cast<int32_t>(static_cast<uint32_t>(StepCounter) + 1u);
    frame.step = StepCounter;
    const uint32_t last = paint_fire(frame, scene_state_output(TargetCopy));

    upload_target_copy();
    const FireOverlay overlay = choose_fire_overlay(frame.values.cam_hori);
    if (overlay == FIRE_OVERLAY_SMEAR1 || overlay == FIRE_OVERLAY_SMEAR2) {
        const SDL_Rect dst{0, 0, TARGET_W, TARGET_H};
        SDL_RenderCopy(renderer, overlay == FIRE_OVERLAY_SMEAR1 ? Smear1Texture : Smear2Texture,
                       nullptr, &dst);
    }
    set_last_point_colour(last);
    SDL_SetRenderTarget(renderer, PictureTarget);
}
