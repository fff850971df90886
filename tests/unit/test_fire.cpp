// Scene 5: the feedback fire's seed row, update, overlays and dissolve, with
// the standard library's rand sequence replayed from a test seed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "state/state.h"
#include "scene_window.h"
#include "scenes/fire.h"
#include "scenes/scenes.h"

namespace {

constexpr uint32_t SENTINEL = 0x0000BEEFu; // alpha 0: never a drawn point

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | r << 16 | g << 8 | b; }

// A 24-bit image (bytes blue, green, red) filled with one colour.
struct Image24 {
    int w, h, pitch;
    std::vector<uint8_t> bytes;
    Image24(int w_, int h_, uint32_t colour) : w(w_), h(h_), pitch(w_ * 3 + 4)
    {
        bytes.resize(static_cast<size_t>(pitch) * h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                set(x, y, colour);
    }
    void set(int x, int y, uint32_t colour)
    {
        uint8_t *p = &bytes[static_cast<size_t>(y) * pitch + x * 3];
        p[0] = colour & 0xFF;
        p[1] = (colour >> 8) & 0xFF;
        p[2] = (colour >> 16) & 0xFF;
    }
    RawImage view() const { return RawImage{bytes.data(), pitch, 3, w, h}; }
};

struct Picture {
    std::vector<uint32_t> px = std::vector<uint32_t>(TARGET_W * TARGET_H, SENTINEL);
    uint32_t &at(int x, int y) { return px[y * TARGET_W + x]; }
};

} // namespace

TEST(FireOverlay, CamHoriSelectsTheOverlay)
{
    EXPECT_EQ(choose_fire_overlay(-0.5f), FIRE_OVERLAY_HOUSE);
    EXPECT_EQ(choose_fire_overlay(-INFINITY), FIRE_OVERLAY_HOUSE);
    EXPECT_EQ(choose_fire_overlay(0.0f), FIRE_OVERLAY_SMEAR1);
    EXPECT_EQ(choose_fire_overlay(-0.0f), FIRE_OVERLAY_SMEAR1);
    EXPECT_EQ(choose_fire_overlay(1.0f), FIRE_OVERLAY_SMEAR2);
    EXPECT_EQ(choose_fire_overlay(0.5f), FIRE_OVERLAY_DISSOLVE);
    EXPECT_EQ(choose_fire_overlay(0.95f), FIRE_OVERLAY_DISSOLVE);
    EXPECT_EQ(choose_fire_overlay(1e-30f), FIRE_OVERLAY_DISSOLVE);
    EXPECT_EQ(choose_fire_overlay(1.0000001f), FIRE_OVERLAY_NONE);
    EXPECT_EQ(choose_fire_overlay(INFINITY), FIRE_OVERLAY_NONE);
    EXPECT_EQ(choose_fire_overlay(std::numeric_limits<float>::quiet_NaN()), FIRE_OVERLAY_NONE);
}

TEST(FireSeed, ThreeDrawsPerPixelRedGreenBlueInOrder)
{
    uint32_t row[TARGET_W];
    std::srand(1234);
    seed_fire_row(row);
    const int after = std::rand();

    std::srand(1234);
    for (int x = 0; x < TARGET_W; x++) {
        const int r = std::rand() & 255;
        const int g = (std::rand() & 255) / 4;
        const int b = (std::rand() & 255) / 8;
        ASSERT_EQ(row[x], rgb(r, g, b)) << x;
        ASSERT_LE(g, 63);
        ASSERT_LE(b, 31);
    }
    EXPECT_EQ(std::rand(), after); // exactly 960 draws
}

TEST(FireUpdate, ParityPicksTheColumnsAndLeavesColumn319AndRow199)
{
    Picture snap;
    for (uint32_t &p : snap.px)
        p = rgb(100, 100, 100);
    for (int parity = 0; parity < 2; parity++) {
        Picture out;
        std::srand(5);
        const uint32_t last = update_fire(snap.px.data(), TARGET_W, out.px.data(), TARGET_W, parity);
        EXPECT_EQ(last, rgb(98, 96, 92));
        for (int y = 0; y < TARGET_H; y++) {
            for (int x = 0; x < TARGET_W; x++) {
                const bool written = y < 199 && x < 319 && x % 2 == parity;
                ASSERT_EQ(out.at(x, y), written ? rgb(98, 96, 92) : SENTINEL)
                    << parity << " " << x << "," << y;
            }
        }
    }
}

TEST(FireUpdate, SourceRowsFollowTheReplayedRandSequence)
{
    // Snapshot pixel (x, y) = (y + 50, x / 2, 200): the cooled red tells the
    // source row, the green the source column.
    Picture snap;
    for (int y = 0; y < TARGET_H; y++)
        for (int x = 0; x < TARGET_W; x++)
            snap.at(x, y) = rgb(y + 50, x / 2, 200);
    Picture out;
    std::srand(77);
    update_fire(snap.px.data(), TARGET_W, out.px.data(), TARGET_W, 1);

    std::srand(77);
    bool seen[2][2] = {}; // rows 197 and 198: own row, row 199
    for (int y = 0; y < 199; y++) {
        for (int x = 1; x <= 317; x += 2) {
            const int s = std::min(y + (std::rand() & 2), 199);
            const uint32_t p = out.at(x, y);
            const int src_row = static_cast<int>((p >> 16) & 0xFF) + 2 - 50;
            ASSERT_EQ(src_row, s) << x << "," << y;
            const uint32_t g = (x + 1) / 2;
            ASSERT_EQ((p >> 8) & 0xFF, g > 4 ? g - 4 : 0) << x << "," << y;
            ASSERT_EQ(p & 0xFF, 192u);
            if (y >= 197)
                seen[y - 197][s == 199] = true;
            if (y == 197) {
                ASSERT_TRUE(s == 197 || s == 199);
            }
            if (y == 198) {
                ASSERT_TRUE(s == 198 || s == 199);
            }
        }
    }
    EXPECT_TRUE(seen[0][0] && seen[0][1] && seen[1][0] && seen[1][1]);
}

TEST(FireUpdate, CoolingFloorsEachChannelAtZero)
{
    const struct { uint32_t in, out; } cases[] = {
        {rgb(2, 4, 8), rgb(0, 0, 0)},
        {rgb(3, 5, 9), rgb(1, 1, 1)},
        {rgb(0, 0, 0), rgb(0, 0, 0)},
        {rgb(255, 255, 255), rgb(253, 251, 247)},
        {0x80FF0410u, rgb(253, 0, 8)}, // alpha of the source does not matter
    };
    for (const auto &c : cases) {
        Picture snap;
        for (uint32_t &p : snap.px)
            p = c.in;
        Picture out;
        update_fire(snap.px.data(), TARGET_W, out.px.data(), TARGET_W, 0);
        EXPECT_EQ(out.at(0, 0), c.out);
        EXPECT_EQ(out.at(318, 198), c.out);
    }
}

TEST(FireUpdate, InPlaceReadsOnlyTheOtherParity)
{
    Picture snap;
    for (int i = 0; i < TARGET_W * TARGET_H; i++)
        snap.px[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    Picture out = snap;
    std::srand(3);
    update_fire(snap.px.data(), TARGET_W, out.px.data(), TARGET_W, 0);
    Picture in_place = snap;
    std::srand(3);
    update_fire(in_place.px.data(), TARGET_W, in_place.px.data(), TARGET_W, 0);
    EXPECT_EQ(in_place.px, out.px);
}

TEST(FireHouseLines, DarkPixelsOfEverySecondRowAsGreys)
{
    Image24 house(160, 99, 0xFFFFFF);
    house.set(0, 0, 0x000000);   // sum 0: drawn, grey 0 at (50, 50)
    house.set(5, 10, 0x010100);  // sum 2: drawn, grey 10 at (55, 60)
    house.set(6, 10, 0x010101);  // sum 3: not drawn
    house.set(159, 98, 0x000001); // drawn, grey 98 at (209, 148)
    house.set(7, 11, 0x000000);  // odd row: never read
    Picture out;
    const uint32_t last = draw_house_lines(house.view(), out.px.data(), TARGET_W);
    EXPECT_EQ(out.at(50, 50), rgb(0, 0, 0));
    EXPECT_EQ(out.at(55, 60), rgb(10, 10, 10));
    EXPECT_EQ(out.at(56, 60), SENTINEL);
    EXPECT_EQ(out.at(209, 148), rgb(98, 98, 98));
    EXPECT_EQ(out.at(57, 61), SENTINEL);
    EXPECT_EQ(last, rgb(98, 98, 98));
    int drawn = 0;
    for (uint32_t p : out.px)
        drawn += p != SENTINEL;
    EXPECT_EQ(drawn, 3);
}

TEST(FireDissolve, WeightIsTheRandomTenthsPlusVClampedToOne)
{
    EXPECT_EQ(dissolve_weight(0, 0.5f), 0.5f);
    EXPECT_EQ(dissolve_weight(10, 0.5f), 0.5f);      // 10 mod 10 = 0
    EXPECT_NEAR(dissolve_weight(19, 0.5f), 0.59f, 1e-6f);
    EXPECT_NEAR(dissolve_weight(32767, 0.5f), 0.57f, 1e-6f);
    EXPECT_EQ(dissolve_weight(5, 0.95f), 1.0f);       // 1.0 whenever 0.95 + r/100 passes 1
    EXPECT_EQ(dissolve_weight(9, 0.95f), 1.0f);
    EXPECT_NEAR(dissolve_weight(4, 0.95f), 0.99f, 1e-6f);
    for (int r = 0; r < 100; r++) {
        const float w = dissolve_weight(r, 0.5f);
        ASSERT_GE(w, 0.5f);
        ASSERT_LE(w, 0.5900001f);
    }
}

TEST(FireDissolve, ChannelsAreTruncatedSeparately)
{
    EXPECT_EQ(blend_channel(100, 200, 0.5f), 150);
    EXPECT_EQ(blend_channel(255, 0, 0.5f), 127);  // trunc(0) + trunc(127.5)
    EXPECT_EQ(blend_channel(3, 3, 0.5f), 2);      // 1 + 1, not 3
    EXPECT_EQ(blend_channel(40, 90, 1.0f), 90);
    EXPECT_EQ(blend_channel(255, 255, 0.55f), 254); // 140.25 + 114.75
    for (int q1 = 0; q1 < 256; q1 += 5)
        for (int q2 = 0; q2 < 256; q2 += 3)
            for (float w : {0.5f, 0.53f, 0.97f, 1.0f})
                ASSERT_LE(blend_channel(q1, q2, w), 255);
}

TEST(FireDissolve, DrawsOnlyBlendsBrighterThanThree)
{
    // smear1 black, smear2 (1, 1, 1) or (2, 1, 1) in alternate columns; at
    // v = 0.95 the weight is exactly 1 where rand mod 10 >= 5, giving blends
    // of sum 3 (not drawn) and 4 (drawn); below that the weight is 0.95..0.99
    // and trunc(q * w) loses one of each channel.
    Image24 smear1(320, 200, 0x000000);
    Image24 smear2(320, 200, 0x010101);
    for (int y = 0; y < 200; y++)
        for (int x = 1; x < 320; x += 2)
            smear2.set(x, y, 0x020101);
    Picture out;
    std::srand(2024);
    const uint32_t last = dissolve_smears(smear1.view(), smear2.view(), 0.95f, out.px.data(), TARGET_W);

    std::srand(2024);
    uint32_t expect_last = 0;
    for (int y = 0; y < 200; y++) {
        for (int x = 0; x < 320; x++) {
            const bool full = std::rand() % 10 >= 5;
            const bool drawn = full && x % 2 == 1;
            ASSERT_EQ(out.at(x, y), drawn ? rgb(2, 1, 1) : SENTINEL) << x << "," << y;
            if (drawn)
                expect_last = rgb(2, 1, 1);
        }
    }
    EXPECT_EQ(last, expect_last);
}

TEST(FireDissolve, HalfwayBlendOfTwoPictures)
{
    // v = 0.5: weights 0.50..0.59. smear1 (200, 0, 100), smear2 (0, 200, 100):
    // red trunc(200 * (1 - w)), green trunc(200 * w), blue 100 in total
    // less at most 1.
    Image24 smear1(320, 200, 0xC80064);
    Image24 smear2(320, 200, 0x00C864);
    Picture out;
    std::srand(8);
    dissolve_smears(smear1.view(), smear2.view(), 0.5f, out.px.data(), TARGET_W);
    std::srand(8);
    for (int y = 0; y < 200; y++) {
        for (int x = 0; x < 320; x++) {
            const int tenths = std::rand() % 10; // 0.5 + tenths / 100
            const uint32_t p = out.at(x, y);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            ASSERT_EQ(p >> 24, 0xFFu);
            // 200 * w = 100 + 2 * tenths, give or take the float rounding.
            ASSERT_NEAR(g, 100 + 2 * tenths, 1) << x << "," << y;
            ASSERT_NEAR(r, 100 - 2 * tenths, 1) << x << "," << y;
            ASSERT_GE(b, 99);
            ASSERT_LE(b, 100);
        }
    }
}

namespace {

struct FireScene : ::testing::Test {
    SceneWindow w;
    std::vector<uint32_t> start = std::vector<uint32_t>(TARGET_W * TARGET_H);

    void SetUp() override
    {
        ASSERT_TRUE(w.ok);
        TrackValues = TrackValueSet{};
        StepCounter = 0;
        // The picture another scene left: pixel (x, y) = (y, x / 2, 100).
        for (int y = 0; y < TARGET_H; y++)
            for (int x = 0; x < TARGET_W; x++)
                start[y * TARGET_W + x] = rgb(y, x / 2, 100);
        SDL_UpdateTexture(TargetTexture, nullptr, start.data(), TARGET_W * 4);
    }
    void TearDown() override
    {
        HouseSurface = Smear1Surface = Smear2Surface = nullptr;
        Smear1Texture = Smear2Texture = nullptr;
    }
    std::vector<uint32_t> target()
    {
        std::vector<uint32_t> px(TARGET_W * TARGET_H);
        SDL_SetRenderTarget(renderer, TargetTexture);
        SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, px.data(), TARGET_W * 4);
        SDL_SetRenderTarget(renderer, nullptr);
        return px;
    }
};

} // namespace

TEST_F(FireScene, OneFrameWithoutOverlayReplaysSeedAndUpdate)
{
    TrackValues.cam_hori = 2.0f;
    std::srand(31);
    draw_fire();
    EXPECT_EQ(StepCounter, 1);
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);
    ASSERT_NE(ReadbackSurface, nullptr);
    EXPECT_EQ(ReadbackSurface->w, 1920);
    EXPECT_EQ(ReadbackSurface->h, 1080);
    const std::vector<uint32_t> px = target();

    std::srand(31);
    std::vector<uint32_t> seed(TARGET_W);
    for (int x = 0; x < TARGET_W; x++) {
        const int r = std::rand() & 255;
        const int g = (std::rand() & 255) >> 2;
        const int b = (std::rand() & 255) >> 3;
        seed[x] = rgb(r, g, b);
        ASSERT_EQ(px[199 * TARGET_W + x], seed[x]) << x;
    }
    // The read-back holds the start picture with the seed row.
    const uint32_t *snap = static_cast<const uint32_t *>(ReadbackSurface->pixels);
    const int stride = ReadbackSurface->pitch / 4;
    EXPECT_EQ(snap[5 * stride + 7], start[5 * TARGET_W + 7]);
    EXPECT_EQ(snap[199 * stride + 3], seed[3]);
    // StepCounter 1: the odd columns move, the even ones keep the start.
    for (int y = 0; y < 199; y++) {
        for (int x = 1; x <= 317; x += 2) {
            const int s = std::min(y + (std::rand() & 2), 199);
            const uint32_t src = s == 199 ? seed[x + 1] : start[s * TARGET_W + x + 1];
            const uint32_t r = (src >> 16) & 0xFF, g = (src >> 8) & 0xFF, b = src & 0xFF;
            ASSERT_EQ(px[y * TARGET_W + x],
                      rgb(r > 2 ? r - 2 : 0, g > 4 ? g - 4 : 0, b > 8 ? b - 8 : 0))
                << x << "," << y;
        }
        for (int x = 0; x < TARGET_W; x += 2)
            ASSERT_EQ(px[y * TARGET_W + x], start[y * TARGET_W + x]);
        ASSERT_EQ(px[y * TARGET_W + 319], start[y * TARGET_W + 319]);
    }
    // The draw colour is the last fire point's, (317, 198).
    Uint8 r, g, b, a;
    SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
    EXPECT_EQ(rgb(r, g, b), px[198 * TARGET_W + 317]);
    EXPECT_EQ(a, 255);

    // The next frame moves the even columns.
    draw_fire();
    EXPECT_EQ(StepCounter, 2);
    const std::vector<uint32_t> next = target();
    EXPECT_NE(next[0], px[0]);
    EXPECT_EQ(next[319], px[319]);
}

TEST_F(FireScene, Smear1IsCopiedWithItsBlackKeyOverTheFire)
{
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, 320, 200, 24, SDL_PIXELFORMAT_BGR24);
    ASSERT_NE(s, nullptr);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
    const SDL_Rect block{100, 20, 50, 40};
    SDL_FillRect(s, &block, SDL_MapRGB(s->format, 10, 200, 30));
    Smear1Texture = SceneWindow::texture_from(s, true, 0, 0, 0);
    ASSERT_NE(Smear1Texture, nullptr);
    TrackValues.cam_hori = 0.0f;
    StepCounter = 1; // the fire moves the even columns this frame
    draw_fire();
    const std::vector<uint32_t> px = target();
    EXPECT_EQ(px[30 * TARGET_W + 120], rgb(10, 200, 30));
    EXPECT_EQ(px[30 * TARGET_W + 121], rgb(10, 200, 30));
    // Outside the block the fire shows: odd column 121 of row 5 is untouched.
    EXPECT_EQ(px[5 * TARGET_W + 121], start[5 * TARGET_W + 121]);
}

TEST_F(FireScene, HouseLinesGoOverTheFire)
{
    SDL_Surface *house = SDL_CreateRGBSurfaceWithFormat(0, 160, 101, 24, SDL_PIXELFORMAT_BGR24);
    ASSERT_NE(house, nullptr);
    SDL_FillRect(house, nullptr, SDL_MapRGB(house->format, 255, 255, 255));
    SDL_Rect dark{20, 40, 1, 1};
    SDL_FillRect(house, &dark, SDL_MapRGB(house->format, 0, 0, 0));
    HouseSurface = house;
    TrackValues.cam_hori = -0.5f;
    draw_fire();
    const std::vector<uint32_t> px = target();
    EXPECT_EQ(px[90 * TARGET_W + 70], rgb(40, 40, 40));
    Uint8 r, g, b, a;
    SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
    EXPECT_EQ(rgb(r, g, b), rgb(40, 40, 40));
    HouseSurface = nullptr;
    SDL_FreeSurface(house);
}
