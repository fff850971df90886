// fire.h - scene 5: a feedback fire in the render target with one of four
// image overlays. Random numbers come from the standard library's rand,
// which the program never seeds, drawn in the order given here.
#pragma once

#include "scenes/render_target.h"
#include "scenes/scene_passes.h"

#include <cstdint>

enum {
    FIRE_SEED_ROW = TARGET_H - 1, // row 199
    HOUSE_LINES_X = 50,           // house lines land at (x + 50, y + 50)
    HOUSE_LINES_Y = 50,
    HOUSE_LINES_W = 160,
    HOUSE_LINES_H = 99,           // rows 0, 2, ... 98 are read
};

enum FireOverlay {
    FIRE_OVERLAY_NONE,     // v > 1 or not a number
    FIRE_OVERLAY_HOUSE,    // v < 0
    FIRE_OVERLAY_SMEAR1,   // v exactly 0: copy of the "smear1.bmp" texture
    FIRE_OVERLAY_SMEAR2,   // v exactly 1: copy of the "smear2.bmp" texture
    FIRE_OVERLAY_DISSOLVE, // 0 < v < 1
};

// The overlay that "cam.hori" = v selects.
FireOverlay choose_fire_overlay(float v);

// The 320 seed colours of the bottom row, opaque; three rand draws per pixel
// (red 0..255, green 0..63, blue 0..31), left to right.
void seed_fire_row(uint32_t *row);

// One fire step: for rows 0..198 and columns parity, parity + 2, ... 318 at
// most, the pixel one column right and 0 or 2 rows below (one rand draw,
// limited to row 199) in the snapshot, less 2 red, 4 green and 8 blue, floored
// at 0. Writes only the columns of the given parity, reads only the others, so
// target may be the snapshot itself. Returns the last colour drawn.
uint32_t update_fire(const uint32_t *snapshot, int snapshot_stride, uint32_t *target,
                     int target_stride, int parity);

// Dark pixels (red + green + blue < 3) of rows 0, 2, ... 98 and columns 0..159
// of the house image, as grey y at (x + 50, y + 50). The image must cover
// 160x99. Returns the last colour drawn, 0 for none.
uint32_t draw_house_lines(const RawImage &house, uint32_t *target, int stride);

// The dissolve weight from one rand value r: (r mod 10) / 100 + v in single
// precision, clamped to 0..1.
float dissolve_weight(int r, float v);

// One blended channel: trunc(q2 * w) + trunc(q1 * (1 - w)).
int blend_channel(uint32_t q1, uint32_t q2, float w);

// Per-pixel dissolve of the two 320x200 images at amount v (one rand draw per
// pixel, rows top to bottom); a blend whose red + green + blue is 3 or less
// is not drawn. Both images must cover 320x200. Returns the last colour
// drawn, 0 for none.
uint32_t dissolve_smears(const RawImage &smear1, const RawImage &smear2, float v, uint32_t *target,
                         int stride);

// The scene's pixel work after the read-back: one fire step of the frame's
// snapshot (the column parity is the frame's step's low bit), then the
// overlay that the frame's "cam.hori" selects where it is worked in software
// (house lines from the frame's house image, or the dissolve of its two
// smears; an image too small for it is skipped), into out.pixels (TARGET_W
// per row). Returns the overlay's last point, else the fire's.
ScenePixelFunction paint_fire;
