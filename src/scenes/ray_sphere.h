// ray_sphere.h - scene 4: a textured sphere ray-cast per pixel.
#pragma once

#include "base/facts.h"
#include "scenes/render_target.h"
#include "scenes/scene_passes.h"

#include <cstdint>

enum { SPHERE_TEXTURE_SIZE = TEXTURELOOP_SIZE, SPHERE_TEXTURE_MASK = SPHERE_TEXTURE_SIZE - 1 };

// Per-frame values, the same for every pixel.
struct SphereFrame {
    float view_x; // sin(cam.rot) * 100, pixels
    float view_y; // cos(cam.rot * 0.8) * 100, pixels
    float u_off;  // sin(cam.x) * 256, texels
    float v_off;  // cos(cam.y) * 256, texels
    float radius; // cam.h
};
SphereFrame prepare_sphere_frame(float cam_rot, float cam_x, float cam_y, float cam_h);

// The ray of pixel (x, y) against the sphere: texel column and row (0..127)
// and the darkening amount k.
struct SphereSample {
    bool hit;
    int column, row;
    float k;
};
SphereSample trace_sphere_pixel(const SphereFrame &frame, int x, int y);

// A channel lowered by trunc(k * per_unit), floored at 0. The subtraction is
// 32-bit two's complement, so a darkening too large for 32 bits (or not a
// number) also gives 0.
uint8_t darken_channel(uint32_t channel, float k, float per_unit);

// The opaque colour 0xFFRRGGBB of pixel (x, y); texture is at least 128x128.
uint32_t shade_sphere_pixel(const SphereFrame &frame, const RawImage &texture, int x, int y);

// All 320x200 pixels into target (stride pixels per row).
void cast_sphere(const SphereFrame &frame, const RawImage &texture, uint32_t *target, int stride);

// The scene's pixel work: the sphere of the frame's camera tracks on the
// frame's "textureloop.bmp" into out.pixels (TARGET_W per row). An image
// smaller than 128x128 draws nothing (returns 0).
ScenePixelFunction paint_sphere;
