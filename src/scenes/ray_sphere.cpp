// ray_sphere.cpp - scene 4: ray-cast textured sphere.
//
// Every pixel of the 320x200 TargetTexture casts a ray from the eye against a
// sphere of radius "cam.h" three units ahead. A hit shows a texel of
// "textureloop.bmp" picked by the ray direction and the hit distance; a miss
// uses the same formulas with a substitute distance, so the background is
// textured too. The further the distance, the darker the texel (red fades
// slowest). All 64000 pixels are computed into TargetCopy and uploaded at
// once; the frame loop copies the target to the window.
//
// Single precision throughout; sine, cosine and square root are taken in
// double on the float argument and rounded back to float.
#include "scenes/ray_sphere.h"

#include "base/convert.h"
#include "state/state.h"
#include "gfx/image.h"
#include "scenes/scenes.h"

#include <cmath>

static float sin_f(float v) { return static_cast<float>(std::sin(static_cast<double>(v))); }
static float cos_f(float v) { return static_cast<float>(std::cos(static_cast<double>(v))); }
static float sqrt_f(float v) { return static_cast<float>(std::sqrt(static_cast<double>(v))); }

SphereFrame prepare_sphere_frame(float cam_rot, float cam_x, float cam_y, float cam_h)
{
    SphereFrame f;
    f.view_x = sin_f(cam_rot) * 100.0f;
    f.view_y = cos_f(cam_rot * 0.8f) * 100.0f;
    f.u_off = sin_f(cam_x) * 256.0f;
    f.v_off = cos_f(cam_y) * 256.0f;
    f.radius = cam_h;
    return f;
}

// The ray before normalisation: dx from the column, dy from the row (the
// image plane runs -0.5..0.5 across, widened by 1.6 for the 16:10 target).
static float ray_dx(const SphereFrame &frame, int x)
{
    const float sx = frame.view_x + static_cast<float>(x);
    const float px = sx / static_cast<float>(CANVAS_W) - 0.5f;
    return static_cast<float>(static_cast<double>(px) * static_cast<double>(1.6f));
}

static float ray_dy(const SphereFrame &frame, int y)
{
    const float sy = frame.view_y + static_cast<float>(y);
    return sy / static_cast<float>(CANVAS_H) - 0.5f;
}

static SphereSample trace_ray(const SphereFrame &frame, float dx, float dy)
{
    const float len = sqrt_f(dy * dy + dx * dx + 0.49f);
    const float nx = dx / len;
    const float ny = dy / len;
    const float nz = 0.7f / len;

    // Sphere centred 3 units along the view axis.
    const float b = -3.0f * nz;
    const float e = 9.0f - frame.radius * frame.radius;
    const float disc = b * b - e;
    const float q = sqrt_f(std::fabs(disc)); // a miss still gives a number
    const float t = -b - q;
    SphereSample s;
    s.hit = t > 0.0f && disc > 0.0f;
    const float dist = s.hit ? t : t + 1.0f;

    const float f = dist * dist * 0.25f;
    s.k = nz * f;
    const float u = nx * f * 256.0f + frame.u_off;
    const float v = ny * f * 256.0f + frame.v_off;
    s.column = to_int32(u) & SPHERE_TEXTURE_MASK; // wraps every 128 texels
    s.row = to_int32(v) & SPHERE_TEXTURE_MASK;
    return s;
}

SphereSample trace_sphere_pixel(const SphereFrame &frame, int x, int y)
{
    return trace_ray(frame, ray_dx(frame, x), ray_dy(frame, y));
}

uint8_t darken_channel(uint32_t channel, float k, float per_unit)
{
    const uint32_t amount = static_cast<uint32_t>(to_int32(k * per_unit));
    const int32_t value = static_cast<int32_t>(channel - amount);
    return static_cast<uint8_t>(value > 0 ? value : 0);
}

static uint32_t shade_sample(const SphereSample &s, const RawImage &texture)
{
    const uint32_t p = read_raw_pixel(texture.pixels, texture.pitch, texture.bpp, s.column, s.row);
    const uint32_t r = darken_channel((p >> 16) & 0xFF, s.k, 114.0f);
    const uint32_t g = darken_channel((p >> 8) & 0xFF, s.k, 133.0f);
    const uint32_t b = darken_channel(p & 0xFF, s.k, 128.0f);
    return 0xFF000000u | r << 16 | g << 8 | b;
}

uint32_t shade_sphere_pixel(const SphereFrame &frame, const RawImage &texture, int x, int y)
{
    return shade_sample(trace_sphere_pixel(frame, x, y), texture);
}

void cast_sphere(const SphereFrame &frame, const RawImage &texture, uint32_t *target, int stride)
{
    float dx[TARGET_W];
    for (int x = 0; x < TARGET_W; x++)
        dx[x] = ray_dx(frame, x);
    for (int y = 0; y < TARGET_H; y++) {
        const float dy = ray_dy(frame, y);
        for (int x = 0; x < TARGET_W; x++)
            target[y * stride + x] = shade_sample(trace_ray(frame, dx[x], dy), texture);
    }
}

uint32_t paint_sphere(const SceneFrame &frame, const SceneOutput &out)
{
    if (!covers(frame.textureloop, SPHERE_TEXTURE_SIZE, SPHERE_TEXTURE_SIZE))
        return 0;
    const TrackValueSet &v = frame.values;
    const SphereFrame sphere = prepare_sphere_frame(v.cam_rot, v.cam_x, v.cam_y, v.cam_h);
    cast_sphere(sphere, frame.textureloop, out.pixels, TARGET_W);
    return out.pixels[TARGET_W * TARGET_H - 1]; // every pixel is drawn, opaque
}

void draw_ray_sphere(const FrameTime &time)
{
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_SetTextureBlendMode(TargetTexture, SDL_BLENDMODE_BLEND);
    StepCounter = static_cast<int32_t>(static_cast<uint32_t>(StepCounter) + 1u);

    // An image too small for the 128x128 tile leaves the target as it was.
    if (const uint32_t last = paint_sphere(current_scene_frame(time), scene_state_output(TargetCopy))) {
        upload_target_copy();
        set_last_point_colour(last);
    }
    SDL_SetRenderTarget(renderer, PictureTarget);
}
