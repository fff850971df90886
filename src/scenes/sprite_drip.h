// sprite_drip.h - scene 1: a swaying chain of tinted sprites, smeared
// downwards through a read-back of the render target.
#pragma once

#include <cstdint>

#include "scenes/scene_passes.h"

enum {
    SPRITE_CHAIN_LENGTH = 49, // i = 0, 2, ... 96
    SPRITE_SIZE = 128,        // the sprite is drawn scaled to 128x128
    SMEAR_COLUMNS = 304,      // columns 304..319 keep the sprite picture
};

// Where and in what tint chain sprite i (0, 2, ... 96) is drawn; cam_dist and
// cam_rot are the sway's two phases in radians.
struct SpritePlacement {
    int x, y;        // top-left corner in target pixels
    uint8_t r, g, b; // colour modulation
};
SpritePlacement place_sprite(int i, float cam_dist, float cam_rot);

// One carry colour darkened by one step: each of red, green and blue above 0
// loses 1; alpha is kept.
uint32_t darken_carry(uint32_t carry);

// The drip smear of columns 0..303. Reads only the snapshot (snapshot_stride
// pixels per row, 200 rows); every pixel with even blue becomes the column's
// carry colour, opaque, in target (target_stride pixels per row). Pixels with
// odd blue are sources: they set the carry and are left alone, as are columns
// 304..319. target may be the snapshot itself. Returns the last colour drawn
// (0xFFRRGGBB), or 0 when every pixel was a source.
uint32_t smear_columns(const uint32_t *snapshot, int snapshot_stride, uint32_t *target,
                       int target_stride);

// The scene's pixel work: the drip smear of the frame's snapshot into
// out.pixels (smear_columns, TARGET_W per row).
ScenePixelFunction paint_drip_smear;
