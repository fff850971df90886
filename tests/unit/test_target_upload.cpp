// The CPU-buffer passes against drawing the same points one at a time: the
// upload of TargetCopy must leave the render target bit for bit as the
// points would, alpha included, in either draw blend mode.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "state/state.h"
#include "scene_window.h"
#include "scenes/fire.h"
#include "scenes/ray_sphere.h"
#include "scenes/render_target.h"
#include "scenes/sprite_drip.h"

namespace {

using Pixels = std::vector<uint32_t>;

// A pass writes opaque points into a 320x200 buffer given the snapshot.
using Pass = std::function<void(const uint32_t *snapshot, uint32_t *out)>;

Pixels read_target()
{
    Pixels px(TARGET_W * TARGET_H);
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, px.data(), TARGET_W * 4);
    return px;
}

// Some picture with every alpha value in it.
Pixels start_picture()
{
    Pixels px(TARGET_W * TARGET_H);
    uint32_t h = 12345;
    for (uint32_t &p : px) {
        h = h * 1103515245u + 12345u;
        p = h ^ (h >> 13);
    }
    return px;
}

// Draws the passes one after the other both ways and compares the targets.
void expect_same_as_points(const std::vector<Pass> &passes, SDL_BlendMode mode)
{
    const Pixels start = start_picture();

    // Single points, pass by pass, each pass's points in raster order (no
    // pass writes a pixel twice). Written pixels are the opaque ones of a
    // buffer that starts all zero.
    SDL_UpdateTexture(TargetTexture, nullptr, start.data(), TARGET_W * 4);
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_SetRenderDrawBlendMode(renderer, mode);
    int points = 0;
    for (const Pass &pass : passes) {
        const Pixels snapshot = read_target();
        Pixels writes(TARGET_W * TARGET_H, 0);
        pass(snapshot.data(), writes.data());
        for (int y = 0; y < TARGET_H; y++)
            for (int x = 0; x < TARGET_W; x++)
                if (const uint32_t c = writes[y * TARGET_W + x]) {
                    SDL_SetRenderDrawColor(renderer, c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF, 255);
                    SDL_RenderDrawPoint(renderer, x, y);
                    points++;
                }
    }
    const Pixels by_points = read_target();
    EXPECT_GT(points, 0);

    // The buffer: snapshot plus writes, one upload per pass.
    SDL_UpdateTexture(TargetTexture, nullptr, start.data(), TARGET_W * 4);
    SDL_SetRenderTarget(renderer, TargetTexture);
    for (const Pass &pass : passes) {
        int stride = 0;
        const uint32_t *snapshot = read_back_target(&stride);
        ASSERT_EQ(snapshot[0], TargetCopy[0]);
        pass(TargetCopy, TargetCopy);
        upload_target_copy();
    }
    const Pixels by_buffer = read_target();
    SDL_SetRenderTarget(renderer, nullptr);

    int differ = 0, changed = 0;
    for (int i = 0; i < TARGET_W * TARGET_H; i++) {
        differ += by_points[i] != by_buffer[i];
        changed += by_points[i] != start[i];
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(changed, 0);
}

// The passes of the three scenes, with rand seeded so both runs draw alike.
Pass smear_pass()
{
    return [](const uint32_t *snap, uint32_t *out) { smear_columns(snap, TARGET_W, out, TARGET_W); };
}

Pass fire_pass(int parity)
{
    return [parity](const uint32_t *snap, uint32_t *out) {
        std::srand(17);
        update_fire(snap, TARGET_W, out, TARGET_W, parity);
    };
}

struct Images {
    std::vector<uint8_t> house, smear1, smear2;
    Images() : house(160 * 99 * 3), smear1(320 * 200 * 3), smear2(320 * 200 * 3)
    {
        for (size_t i = 0; i < house.size(); i++)
            house[i] = (i / 3) % 7 == 0 ? 0 : 200;
        for (size_t i = 0; i < smear1.size(); i++) {
            smear1[i] = static_cast<uint8_t>(i * 7 % 256);
            smear2[i] = (i / 3) % 5 == 0 ? 0 : static_cast<uint8_t>(i * 13 % 256);
        }
    }
};

Pass house_pass(const Images &im)
{
    return [&im](const uint32_t *, uint32_t *out) {
        draw_house_lines(RawImage{im.house.data(), 160 * 3, 3, 160, 99}, out, TARGET_W);
    };
}

Pass dissolve_pass(const Images &im, float v)
{
    return [&im, v](const uint32_t *, uint32_t *out) {
        std::srand(99);
        dissolve_smears(RawImage{im.smear1.data(), 320 * 3, 3, 320, 200},
                        RawImage{im.smear2.data(), 320 * 3, 3, 320, 200}, v, out, TARGET_W);
    };
}

Pass sphere_pass()
{
    return [](const uint32_t *, uint32_t *out) {
        static std::vector<uint32_t> tex(128 * 128);
        for (size_t i = 0; i < tex.size(); i++)
            tex[i] = static_cast<uint32_t>(i * 2654435761u);
        const SphereFrame f = prepare_sphere_frame(0.3f, 0.1f, 0.2f, 1.2f);
        cast_sphere(f, RawImage{reinterpret_cast<const uint8_t *>(tex.data()), 512, 4, 128, 128},
                    out, TARGET_W);
    };
}

void check_all_passes()
{
    const Images im;
    for (SDL_BlendMode mode : {SDL_BLENDMODE_NONE, SDL_BLENDMODE_BLEND}) {
        SCOPED_TRACE(mode);
        {
            SCOPED_TRACE("smear");
            expect_same_as_points({smear_pass()}, mode);
        }
        {
            SCOPED_TRACE("sphere");
            expect_same_as_points({sphere_pass()}, mode);
        }
        {
            SCOPED_TRACE("fire and house lines");
            expect_same_as_points({fire_pass(0), house_pass(im)}, mode);
        }
        {
            SCOPED_TRACE("fire and dissolve");
            expect_same_as_points({fire_pass(1), dissolve_pass(im, 0.4f)}, mode);
        }
    }
}

} // namespace

TEST(TargetUpload, BufferPassesEqualSinglePointsOnTheSoftwareRenderer)
{
    SceneWindow w;
    ASSERT_TRUE(w.ok);
    check_all_passes();
}

namespace {


void expect_row_upload_same_as_points()
{
    const Pixels start = start_picture();
    uint32_t row[TARGET_W];
    std::srand(4);
    seed_fire_row(row);

    SDL_UpdateTexture(TargetTexture, nullptr, start.data(), TARGET_W * 4);
    SDL_SetRenderTarget(renderer, TargetTexture);
    for (int x = 0; x < TARGET_W; x++) {
        SDL_SetRenderDrawColor(renderer, row[x] >> 16 & 0xFF, row[x] >> 8 & 0xFF, row[x] & 0xFF, 255);
        SDL_RenderDrawPoint(renderer, x, 199);
    }
    const Pixels by_points = read_target();

    SDL_UpdateTexture(TargetTexture, nullptr, start.data(), TARGET_W * 4);
    SDL_SetRenderTarget(renderer, TargetTexture);
    upload_target_row(199, row);
    const Pixels by_row = read_target();
    SDL_SetRenderTarget(renderer, nullptr);
    EXPECT_TRUE(by_points == by_row);
    EXPECT_EQ(by_row[199 * TARGET_W + 5], row[5]);
    EXPECT_EQ(by_row[198 * TARGET_W + 5], start[198 * TARGET_W + 5]);
    EXPECT_EQ(by_row[0], start[0]);
}

} // namespace

TEST(TargetUpload, RowUploadEqualsThePointsOfTheSeedRow)
{
    SceneWindow w;
    ASSERT_TRUE(w.ok);
    expect_row_upload_same_as_points();
}

// The same comparison on a window's own renderer (opengl under a display);
// skipped where only the software renderer is available.
TEST(TargetUpload, BufferPassesEqualSinglePointsOnTheWindowRenderer)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        GTEST_SKIP() << SDL_GetError();
    SDL_Window *win = SDL_CreateWindow("target upload", 0, 0, 320, 200, SDL_WINDOW_HIDDEN);
    SDL_Renderer *r = win ? SDL_CreateRenderer(win, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    SDL_RendererInfo info{};
    if (!r || SDL_GetRendererInfo(r, &info) != 0 || SDL_strcmp(info.name, "software") == 0) {
        if (r)
            SDL_DestroyRenderer(r);
        if (win)
            SDL_DestroyWindow(win);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        GTEST_SKIP() << "no accelerated renderer here";
    }
    renderer = r;
    TargetTexture = SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                      TARGET_W, TARGET_H);
    ASSERT_NE(TargetTexture, nullptr);
    std::printf("renderer: %s\n", info.name);
    check_all_passes();
    expect_row_upload_same_as_points();
    SDL_DestroyRenderer(r);
    renderer = nullptr;
    TargetTexture = nullptr;
    SDL_DestroyWindow(win);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
