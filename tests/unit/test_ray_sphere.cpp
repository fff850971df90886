// Scene 4: the ray-cast sphere's worked pixels, texture wrap, darkening and
// the shared step counter.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "state/state.h"
#include "scene_window.h"
#include "scenes/ray_sphere.h"
#include "scenes/scenes.h"

namespace {

// A 128x128 texture, 4 bytes per pixel, texel (x, y) = 0x00RRGGBB with
// red = x, green = y, blue = 7 unless set otherwise.
struct Texture {
    std::vector<uint32_t> texels = std::vector<uint32_t>(128 * 128);
    Texture()
    {
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++)
                texels[y * 128 + x] = static_cast<uint32_t>(x) << 16 | static_cast<uint32_t>(y) << 8 | 7;
    }
    RawImage view() const
    {
        return RawImage{reinterpret_cast<const uint8_t *>(texels.data()), 128 * 4, 4, 128, 128};
    }
};

} // namespace

TEST(RaySphere, StraightAheadPixelHitsAtDistanceTwo)
{
    const SphereFrame f = prepare_sphere_frame(0.0f, 0.0f, 0.0f, 1.0f);
    const SphereSample s = trace_sphere_pixel(f, 160, 0);
    EXPECT_TRUE(s.hit);
    EXPECT_EQ(s.column, 0); // U = 0
    EXPECT_EQ(s.row, 0);    // V = 256, wrapped
    EXPECT_EQ(s.k, 1.0f);

    Texture t;
    t.texels[0] = 0x00C8968Cu; // (200, 150, 140)
    EXPECT_EQ(shade_sphere_pixel(f, t.view(), 160, 0), 0xFF56110Cu); // (86, 17, 12)
}

TEST(RaySphere, StraightAheadPixelMissesWithZeroRadiusAndIsBlack)
{
    const SphereFrame f = prepare_sphere_frame(0.0f, 0.0f, 0.0f, 0.0f);
    const SphereSample s = trace_sphere_pixel(f, 160, 0);
    EXPECT_FALSE(s.hit); // disc = 0 is not a hit
    EXPECT_EQ(s.k, 4.0f); // T = 3 + 1
    Texture t;
    t.texels[0] = 0x00FFFFFFu;
    EXPECT_EQ(shade_sphere_pixel(f, t.view(), 160, 0), 0xFF000000u);
}

TEST(RaySphere, NothingIsHitWithZeroRadiusOrWithTheEyeInside)
{
    for (float r : {0.0f, 3.0f, 5.0f}) {
        const SphereFrame f = prepare_sphere_frame(0.4f, 0.0f, 0.0f, r);
        for (int y = 0; y < TARGET_H; y += 7)
            for (int x = 0; x < TARGET_W; x += 5)
                ASSERT_FALSE(trace_sphere_pixel(f, x, y).hit) << r << " " << x << "," << y;
    }
    // A radius of 1 hits in the middle but not in the corner: the corner ray
    // (dx = -0.8, dy = 0: row 0 is mid-height with cos(0) * 100 = 100 of view offset)
    // is 49 degrees off the axis, the sphere's edge 19.5.
    const SphereFrame f = prepare_sphere_frame(0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_TRUE(trace_sphere_pixel(f, 160, 0).hit);
    EXPECT_FALSE(trace_sphere_pixel(f, 0, 0).hit);
}

TEST(RaySphere, TextureWrapsOnNegativeCoordinates)
{
    // Pixel (160, 0) looks straight ahead, so U and V are the scroll offsets.
    // sin(-0.005859) * 256 = -1.4999 -> -1 -> column 127;
    // cos(2.1055) * 256 = -130.5 -> -130 -> row 126.
    const SphereFrame f = prepare_sphere_frame(0.0f, -0.005859f, 2.1055f, 1.0f);
    EXPECT_LT(f.u_off, -1.0f);
    EXPECT_GT(f.u_off, -2.0f);
    EXPECT_LT(f.v_off, -130.0f);
    EXPECT_GT(f.v_off, -131.0f);
    const SphereSample s = trace_sphere_pixel(f, 160, 0);
    EXPECT_EQ(s.column, 127);
    EXPECT_EQ(s.row, 126);

    Texture t; // texel (127, 126) = (127, 126, 7), darkened by k = 1
    EXPECT_EQ(shade_sphere_pixel(f, t.view(), 160, 0), 0xFF0D0000u);
}

TEST(RaySphere, PrecisionOfTheRayPinsBorderlinePixels)
{
    Texture t; // texel (x, y) = (x, y, 7)

    // Pixel (6, 28), radius 1, no offsets: dx = -0.77, dy = 0.14, so
    // len = sqrt(0.0196 + 0.5929 + 0.49) = 1.05, nz = 2/3, b = -2, disc = -4,
    // t = 0: a miss with T = 1, f = 0.25, k = 1/6 and k * 114 = 19 just on
    // the integer. Summing dy*dy + dx*dx first gives len = 1.04999995 and
    // k * 114 = 19.0; adding 0.49 to dx*dx first gives 18.99999 -> 18.
    // Texel: U = -0.7333 * 64 = -46.9 -> 82, V = 0.1333 * 64 + 256 -> 8.
    const SphereFrame ahead = prepare_sphere_frame(0.0f, 0.0f, 0.0f, 1.0f);
    const SphereSample s = trace_sphere_pixel(ahead, 6, 28);
    EXPECT_FALSE(s.hit);
    EXPECT_EQ(s.column, 82);
    EXPECT_EQ(s.row, 8);
    // (82, 8, 7) less (19, 22, 21).
    EXPECT_EQ(shade_sphere_pixel(ahead, t.view(), 6, 28), 0xFF3F0000u);

    // Pixel (282, 39), radius 1.3: px = 0.38125002; with the single 1.6
    // (1.60000002) dx = 0.610000074 and k * 114 = 57.99999 -> 57; with the
    // double 1.6 dx would be 0.610000014 and k * 114 = 58.00002 -> 58.
    const SphereFrame wide = prepare_sphere_frame(0.0f, 0.0f, 0.0f, 1.3f);
    const SphereSample w = trace_sphere_pixel(wide, 282, 39);
    EXPECT_EQ(w.column, 113);
    EXPECT_EQ(w.row, 36);
    // (113, 36, 7) less (57, 67, 65).
    EXPECT_EQ(shade_sphere_pixel(wide, t.view(), 282, 39), 0xFF380000u);
}

TEST(RaySphere, DarkeningFloorsAtZeroPerChannel)
{
    EXPECT_EQ(darken_channel(200, 1.0f, 114.0f), 86);
    EXPECT_EQ(darken_channel(114, 1.0f, 114.0f), 0);
    EXPECT_EQ(darken_channel(100, 1.0f, 114.0f), 0);
    EXPECT_EQ(darken_channel(255, 0.5f, 133.0f), 189); // 255 - trunc(66.5)
    EXPECT_EQ(darken_channel(255, 0.0f, 128.0f), 255);
    // Darkening beyond 32 bits, or not a number, is black too.
    EXPECT_EQ(darken_channel(255, 1e30f, 114.0f), 0);
    EXPECT_EQ(darken_channel(255, std::numeric_limits<float>::quiet_NaN(), 114.0f), 0);
}

TEST(RaySphere, DarkAreasDriftTowardsRed)
{
    const SphereFrame f = prepare_sphere_frame(0.0f, 0.0f, 0.0f, 1.0f);
    Texture t;
    t.texels[0] = 0x00FFFFFFu; // white, k = 1: 255 - 114, 255 - 133, 255 - 128
    EXPECT_EQ(shade_sphere_pixel(f, t.view(), 160, 0), 0xFF8D7A7Fu);
}

TEST(RaySphere, CastWritesEveryPixelOpaque)
{
    const SphereFrame f = prepare_sphere_frame(0.7f, 1.0f, -2.0f, 1.3f);
    Texture t;
    std::vector<uint32_t> target(TARGET_W * TARGET_H, 0x00ABCDEFu);
    cast_sphere(f, t.view(), target.data(), TARGET_W);
    for (uint32_t p : target)
        ASSERT_EQ(p >> 24, 0xFFu);
    const SphereFrame ahead = prepare_sphere_frame(0.0f, 0.0f, 0.0f, 1.0f);
    cast_sphere(ahead, t.view(), target.data(), TARGET_W);
    EXPECT_EQ(target[160], 0xFF000000u); // texel (0, 0) = (0, 0, 7), k = 1
}

TEST(RaySphereScene, StepsTheCounterAndDrawsTheWorkedPixel)
{
    SceneWindow w;
    ASSERT_TRUE(w.ok);
    SDL_Surface *tex = SDL_CreateRGBSurfaceWithFormat(0, 128, 128, 24, SDL_PIXELFORMAT_BGR24);
    ASSERT_NE(tex, nullptr);
    SDL_FillRect(tex, nullptr, SDL_MapRGB(tex->format, 250, 250, 250));
    TextureloopSurface = tex;
    TrackValues = TrackValueSet{};
    TrackValues.cam_h = 1.0f;
    StepCounter = 41;

    draw_ray_sphere(FrameTime{});
    EXPECT_EQ(StepCounter, 42);
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);
    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    SDL_GetTextureBlendMode(TargetTexture, &mode);
    EXPECT_EQ(mode, SDL_BLENDMODE_BLEND);

    std::vector<uint32_t> pixels(TARGET_W * TARGET_H);
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), TARGET_W * 4);
    SDL_SetRenderTarget(renderer, nullptr);
    // (250, 250, 250) less (114, 133, 128).
    EXPECT_EQ(pixels[160], 0xFF88757Au);
    for (uint32_t p : pixels)
        ASSERT_EQ(p >> 24, 0xFFu);

    draw_ray_sphere(FrameTime{});
    EXPECT_EQ(StepCounter, 43);
    TextureloopSurface = nullptr;
    SDL_FreeSurface(tex);
}
