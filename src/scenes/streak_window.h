// streak_window.h - the pattern of scene 3, apart from the renderer.
#pragma once

#include <cstdint>

#include "scenes/scene_passes.h"

enum { STREAK_W = 160, STREAK_H = 100 };

// The pattern parameter H: "cam.h" truncated toward zero.
int32_t streak_parameter(float cam_h);

// The colour of a pattern pixel in row r (0..99) from its truncated product
// n: rows outside 30..70 first lose 80 per row beyond the band (32-bit
// wrap-around), then n >= 255 is white.
uint32_t streak_colour(int32_t n, int r);

// Pixel (q, r) of the pattern before mirroring: 0xFFFFFFFF (opaque white) or
// 0x00000000 (transparent black).
uint32_t streak_pixel(int q, int r, int32_t h);

// The whole 160x100 ARGB8888 pattern, 160 pixels per row: columns 80..159 as
// streak_pixel gives them, columns 0..79 their mirror image (pixel i is pixel
// 159 - i). The left half is never computed.
void render_streak_pattern(uint32_t *pixels, int32_t h);

// The scene's pixel work: the pattern of the frame's "cam.h" into out.pixels
// (160x100, 160 per row). The scene calls it only for a new H.
ScenePixelFunction paint_streak_pattern;
