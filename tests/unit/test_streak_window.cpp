// The streak pattern: H from "cam.h", the band attenuation and the 32-bit
// rules of the pixel value, the pattern against values worked out apart from
// the scene's code, the mirror, and the drawn window on a software renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "state/state.h"
#include "scene_window.h"
#include "scenes/scenes.h"
#include "scenes/streak_window.h"

namespace {

constexpr uint32_t WHITE = 0xFFFFFFFFu;

std::vector<uint32_t> pattern(int32_t h)
{
    std::vector<uint32_t> p(STREAK_W * STREAK_H, 0x12345678u);
    render_streak_pattern(p.data(), h);
    return p;
}

TEST(StreakParameter, WholePartOfCamH)
{
    EXPECT_EQ(streak_parameter(3.0f), 3);
    EXPECT_EQ(streak_parameter(3.9f), 3);
    EXPECT_EQ(streak_parameter(4.0f), 4);
    EXPECT_EQ(streak_parameter(-0.5f), 0);
    EXPECT_EQ(streak_parameter(-1.5f), -1);
    EXPECT_EQ(streak_parameter(std::numeric_limits<float>::quiet_NaN()), INT_MIN);
}

TEST(StreakColour, BandRowsNeed255AndOuterRowsMore)
{
    // Rows 30..70: n >= 255.
    for (int r : {30, 50, 70}) {
        EXPECT_EQ(streak_colour(254, r), 0u) << r;
        EXPECT_EQ(streak_colour(255, r), WHITE) << r;
    }
    // Row 0 loses 30 * 80 = 2400, row 29 loses 80, row 99 loses 29 * 80.
    EXPECT_EQ(streak_colour(2654, 0), 0u);
    EXPECT_EQ(streak_colour(2655, 0), WHITE);
    EXPECT_EQ(streak_colour(334, 29), 0u);
    EXPECT_EQ(streak_colour(335, 29), WHITE);
    EXPECT_EQ(streak_colour(335, 71), WHITE);
    EXPECT_EQ(streak_colour(2574, 99), 0u);
    EXPECT_EQ(streak_colour(2575, 99), WHITE);
    // An out-of-range product (INT32_MIN) wraps to a large positive value in
    // the attenuated rows and stays black in the band.
    EXPECT_EQ(streak_colour(INT_MIN, 0), WHITE);
    EXPECT_EQ(streak_colour(INT_MIN, 29), WHITE);
    EXPECT_EQ(streak_colour(INT_MIN, 30), 0u);
    EXPECT_EQ(streak_colour(INT_MIN, 70), 0u);
    // Near the top of the range the sum wraps the other way.
    EXPECT_EQ(streak_colour(INT_MAX, 50), WHITE);
    EXPECT_EQ(streak_colour(INT_MAX, 0), WHITE); // 2^31 - 1 - 2400 is still large
}

// The expected pixels were worked out once apart from the scene's code: the
// pixel formula as written in the scene's description, evaluated step by
// step in plain double arithmetic (with the single-precision f) by a short
// script, for the right half (columns 80..159) of each H.
TEST(StreakPattern, RightHalfHasTheWorkedOutPixelsAndLeftHalfMirrorsIt)
{
    const std::pair<int32_t, int> white_counts[] = {{0, 1974},   {3, 1097},    {4, 1176},   {17, 908},
                                                    {-40, 1240}, {1000, 1150}, {123456, 541}};
    for (const auto &[h, want] : white_counts) {
        const auto p = pattern(h);
        int whites = 0;
        for (int r = 0; r < STREAK_H; ++r)
            for (int q = 80; q < STREAK_W; ++q) {
                const uint32_t v = p[r * STREAK_W + q];
                ASSERT_TRUE(v == 0u || v == WHITE) << "H " << h << " q " << q << " r " << r;
                ASSERT_EQ(streak_pixel(q, r, h), v);
                ASSERT_EQ(p[r * STREAK_W + (159 - q)], v) << "mirror, H " << h;
                whites += v == WHITE;
            }
        EXPECT_EQ(whites, want) << "H " << h;
    }

    // Rows of H = 3 pixel by pixel: 80 bits, column 80 the highest.
    const std::pair<int, const char *> rows[] = {{0, "0000000000000000011D"},  {29, "000020828A28A69C71C4"},
                                                 {30, "020820828A29A69C71C4"}, {50, "00020821861841041042"},
                                                 {70, "20861041041041041062"}, {99, "0000000000000000003B"}};
    const auto p = pattern(3);
    for (const auto &[r, hex] : rows) {
        std::string want, got;
        for (const char *c = hex; *c; ++c) {
            const int nibble = *c <= '9' ? *c - '0' : *c - 'A' + 10;
            for (int bit = 3; bit >= 0; --bit)
                want += (nibble >> bit & 1) ? '#' : '.';
        }
        for (int q = 80; q < STREAK_W; ++q)
            got += p[r * STREAK_W + q] == WHITE ? '#' : '.';
        EXPECT_EQ(got, want) << "row " << r;
    }
}

TEST(StreakPattern, OneWholeUnitOfCamHChangesThePattern)
{
    EXPECT_NE(pattern(3), pattern(4));
    EXPECT_EQ(pattern(streak_parameter(3.0f)), pattern(streak_parameter(3.9f)));
}

TEST(StreakPattern, HugeHStaysDefined)
{
    // q * H and H + 300 would overflow 32 bits; the pattern is still made of
    // the two colours only and still mirrored.
    for (int32_t h : {INT_MAX, INT_MIN, INT_MAX - 100}) {
        const auto p = pattern(h);
        for (int r = 0; r < STREAK_H; ++r)
            for (int q = 0; q < STREAK_W; ++q) {
                const uint32_t v = p[r * STREAK_W + q];
                ASSERT_TRUE(v == 0u || v == WHITE);
                ASSERT_EQ(v, p[r * STREAK_W + 159 - q]);
            }
    }
}

// ---- Drawn on a software renderer -------------------------------------------

struct StreakDrawing : ::testing::Test {
    SceneWindow win;
    void SetUp() override
    {
        ASSERT_TRUE(win.ok) << SDL_GetError();
        // "paita.bmp": yellow (transparent) with a blue 10x10 block in its
        // top-left corner, stretched from 320x200 over the window.
        SDL_Surface *paita = SDL_CreateRGBSurfaceWithFormat(0, 320, 200, 24, SDL_PIXELFORMAT_RGB24);
        ASSERT_NE(paita, nullptr);
        SDL_FillRect(paita, nullptr, SDL_MapRGB(paita->format, 255, 255, 0));
        SDL_Rect block{0, 0, 10, 10};
        SDL_FillRect(paita, &block, SDL_MapRGB(paita->format, 0, 0, 255));
        PaitaTexture = SceneWindow::texture_from(paita, true, 255, 255, 0);
        ASSERT_NE(PaitaTexture, nullptr);
        SDL_SetRenderDrawColor(renderer, 90, 90, 90, 255);
        SDL_RenderClear(renderer);
    }
    void TearDown() override
    {
        PaitaTexture = nullptr;
        TrackValues = {};
    }
    void draw(float cam_h, float r, float g, float b)
    {
        std::memset(ByteBuffer, 0, BYTEBUFFER_BYTES);
        TrackValues.cam_h = cam_h;
        TrackValues.clear_r = r;
        TrackValues.clear_g = g;
        TrackValues.clear_b = b;
        draw_streak_window(FrameTime{});
    }
    // Window pixel at the centre of pattern pixel (q, r): the 160x100
    // pattern covers (518, 360, 640, 270), 4 by 2.7 window pixels each.
    uint32_t pattern_pixel(int q, int r)
    {
        return win.pixel(518 + 4 * q + 2, 360 + static_cast<int>(2.7 * r + 1.35));
    }
    std::vector<uint32_t> window_pixels()
    {
        std::vector<uint32_t> all;
        for (int y = 0; y < WINDOW_H; y += 3)
            for (int x = 0; x < WINDOW_W; x += 2)
                all.push_back(win.pixel(x, y));
        return all;
    }
};

TEST_F(StreakDrawing, WhiteClearShowsThePatternUnderThePicture)
{
    draw(3.5f, 255.0f, 255.0f, 255.0f);
    const auto p = pattern(3);
    EXPECT_EQ(std::memcmp(ByteBuffer, p.data(), BYTEBUFFER_BYTES), 0);
    for (int r = 0; r < STREAK_H; r += 7)
        for (int q = 0; q < STREAK_W; q += 3)
            ASSERT_EQ(pattern_pixel(q, r), p[r * STREAK_W + q] & 0xFFFFFFu) << q << "," << r;
    EXPECT_EQ(win.pixel(10, 10), 0x0000FFu);    // the picture's blue block
    EXPECT_EQ(win.pixel(300, 700), 0x000000u);  // cleared black, picture transparent
    EXPECT_EQ(win.pixel(517, 400), 0x000000u);  // just left of the pattern
    EXPECT_EQ(win.pixel(1158, 400), 0x000000u); // just right of it
    SDL_BlendMode mode = SDL_BLENDMODE_BLEND;
    SDL_GetRenderDrawBlendMode(renderer, &mode);
    EXPECT_EQ(mode, SDL_BLENDMODE_NONE);
}

TEST_F(StreakDrawing, ClearColourMultipliesTheWindow)
{
    draw(3.0f, 255.0f, 128.0f, 64.0f);
    const auto p = pattern(3);
    for (int r = 0; r < STREAK_H; r += 5)
        for (int q = 80; q < STREAK_W; q += 3)
            ASSERT_EQ(pattern_pixel(q, r), p[r * STREAK_W + q] ? 0xFF8040u : 0u) << q << "," << r;
    EXPECT_EQ(win.pixel(10, 10), 0x000040u); // blue 255 * 64 / 255

    draw(3.0f, 0.0f, 0.0f, 0.0f);
    const auto all = window_pixels();
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](uint32_t v) { return v == 0; }));

    // 256 and 511.9 have low byte 0 and 255.
    draw(3.0f, 511.9f, 256.0f, 256.0f);
    EXPECT_EQ(win.pixel(10, 10), 0x000000u);
    for (int q = 80; q < STREAK_W; ++q) {
        ASSERT_EQ(pattern_pixel(q, 50), p[50 * STREAK_W + q] ? 0xFF0000u : 0u) << q;
    }
}

TEST_F(StreakDrawing, SameWholeCamHSamePictureAndTheCacheFollowsH)
{
    draw(3.0f, 255.0f, 255.0f, 255.0f);
    const auto three = window_pixels();
    draw(3.9f, 255.0f, 255.0f, 255.0f);
    EXPECT_EQ(window_pixels(), three);
    draw(4.0f, 255.0f, 255.0f, 255.0f);
    EXPECT_NE(window_pixels(), three);
    EXPECT_EQ(std::memcmp(ByteBuffer, pattern(4).data(), BYTEBUFFER_BYTES), 0);
    draw(3.2f, 255.0f, 255.0f, 255.0f);
    EXPECT_EQ(window_pixels(), three);
    EXPECT_EQ(std::memcmp(ByteBuffer, pattern(3).data(), BYTEBUFFER_BYTES), 0);
}

} // namespace
