// sprite_drip.cpp - scene 1: sprite chain with drip smear.
//
// 49 copies of "badtaste.bmp" (white keyed out), tinted from dark to bright,
// sway across the 320x200 TargetTexture on a clear background. The target is
// then read back and every column smeared downwards: below each source pixel
// (odd blue) its colour runs down, one step darker per row, until the next
// source. The smear is computed into TargetCopy and uploaded in one go; the
// frame loop copies the target to the window. No state of its own: the
// ReadbackSurface is shared with the fire.
#include "scenes/sprite_drip.h"

#include "base/convert.h"
#include "state/state.h"
#include "scenes/render_target.h"
#include "scenes/scenes.h"

#include <cmath>

SpritePlacement place_sprite(int i, float cam_dist, float cam_rot)
{
    const float a = static_cast<float>(i) * 6.283184f;
    const float s = static_cast<float>(std::sin(static_cast<double>(a / 200.0f + cam_dist)));
    const float c = static_cast<float>(std::cos(static_cast<double>(a * 0.0078125f + cam_rot)));
    const float x = s * 100.0f * c + 96.0f;
    const float sway = static_cast<float>(
        std::sin(static_cast<double>(static_cast<float>(i) * 0.05f + cam_dist * 0.321f)));
    const float y = 20.0f * sway + static_cast<float>(i - 54);
    SpritePlacement p;
    p.x = to_int32(x);
    p.y = to_int32(y);
    p.r = static_cast<uint8_t>(i / 2 - 51); // low 8 bits: 205..253
    p.g = static_cast<uint8_t>(i - 101);    // 155, 157, ... 251
    p.b = static_cast<uint8_t>(i - 101);
    return p;
}

uint32_t darken_carry(uint32_t carry)
{
    uint32_t out = carry & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t c = (carry >> shift) & 0xFF;
        out |= (c > 0 ? c - 1 : 0) << shift;
    }
    return out;
}

uint32_t smear_columns(const uint32_t *snapshot, int snapshot_stride, uint32_t *target,
                       int target_stride)
{
    uint32_t last = 0;
    for (int x = 0; x < SMEAR_COLUMNS; x++) {
        uint32_t carry = snapshot[x];
        for (int y = 0; y < TARGET_H; y++) {
            const uint32_t p = snapshot[y * snapshot_stride + x];
            if (p & 1) {
                carry = p; // a source pixel: odd blue
            } else {
                last = opaque(carry);
                target[y * target_stride + x] = last;
            }
            carry = darken_carry(carry);
        }
    }
    return last;
}

uint32_t paint_drip_smear(const SceneFrame &frame, const SceneOutput &out)
{
    return smear_columns(frame.snapshot, frame.snapshot_stride, out.pixels, TARGET_W);
}

static void draw_sprite_chain()
{
    for (int i = 0; i < 2 * SPRITE_CHAIN_LENGTH; i += 2) {
        const SpritePlacement p = place_sprite(i, TrackValues.cam_dist, TrackValues.cam_rot);
        SDL_SetTextureColorMod(BadtasteTexture, p.r, p.g, p.b);
        const SDL_Rect dst{p.x, p.y, SPRITE_SIZE, SPRITE_SIZE};
        SDL_RenderCopy(renderer, BadtasteTexture, nullptr, &dst);
    }
}

void draw_sprite_drip(const FrameTime &time)
{
    const uint8_t r = channel_from_value(TrackValues.clear_r);
    const uint8_t g = channel_from_value(TrackValues.clear_g);
    const uint8_t b = channel_from_value(TrackValues.clear_b);

    SDL_SetRenderTarget(renderer, PictureTarget);
    SDL_SetRenderDrawColor(renderer, r, g, b, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_RenderClear(renderer);

    draw_sprite_chain();

    SceneFrame frame = current_scene_frame(time);
    frame.snapshot = read_back_target(&frame.snapshot_stride);
    set_last_point_colour(paint_drip_smear(frame, scene_state_output(TargetCopy)));
    upload_target_copy();

    SDL_SetRenderTarget(renderer, PictureTarget);
}
