// Scene 5: the feedback fire's seed row, update, overlays and dissolve.
//
// Worked pixels come from glibc's published rand sequence after srand(1)
// (every build of the demo draws it, see base/glibc_rand.h):
//   draw       1           2          3           4           5          6
//   value  1804289383  846930886  1681692777  1714636915  1957747793  424238335
//   & 255     103         198        105         115          81        255
//   & 2         2           2          0           2           0          2
//   % 10        3           6          7           5           3          5
//   draw       7           8          9          10          11         12
//   value   719885386 1649760492  596516649  1189641421  1025202362 1350490027
//   & 255      74         236         41         205         186        171
//   & 2         2           0          0           0           2          2
//   % 10        6           2          9           1           2          7
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
    std::srand(1);
    seed_fire_row(row);
    const int after = std::rand();
    // Red = draw & 255, green = (draw & 255) / 4, blue = (draw & 255) / 8.
    EXPECT_EQ(row[0], rgb(103, 198 / 4, 105 / 8)); // draws 1, 2, 3
    EXPECT_EQ(row[1], rgb(115, 81 / 4, 255 / 8));  // draws 4, 5, 6
    EXPECT_EQ(row[2], rgb(74, 236 / 4, 41 / 8));   // draws 7, 8, 9
    EXPECT_EQ(row[3], rgb(205, 186 / 4, 171 / 8)); // draws 10, 11, 12

    std::srand(1);
    for (int i = 0; i < 3 * TARGET_W; i++)
        std::rand();
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

TEST(FireUpdate, EachPixelComesFromOneColumnRightAndZeroOrTwoRowsDown)
{
    // Snapshot pixel (x, y) = (y + 2, x / 2 + 4, 100), so a cooled pixel
    // reads (source row, source column / 2, 92).
    Picture snap;
    for (int y = 0; y < TARGET_H; y++)
        for (int x = 0; x < TARGET_W; x++)
            snap.at(x, y) = rgb(y + 2, x / 2 + 4, 100);
    Picture out;
    std::srand(1);
    update_fire(snap.px.data(), TARGET_W, out.px.data(), TARGET_W, 1);

    // Row 0, columns 1, 3, ... 11 take draws 1 to 6: & 2 = 2, 2, 0, 2, 0, 2.
    EXPECT_EQ(out.at(1, 0), rgb(2, 1, 92));
    EXPECT_EQ(out.at(3, 0), rgb(2, 2, 92));
    EXPECT_EQ(out.at(5, 0), rgb(0, 3, 92));
    EXPECT_EQ(out.at(7, 0), rgb(2, 4, 92));
    EXPECT_EQ(out.at(9, 0), rgb(0, 5, 92));
    EXPECT_EQ(out.at(11, 0), rgb(2, 6, 92));

    // Everywhere: the source is row y or y + 2 (at most 199) of column x + 1;
    // rows 197 and 198 take their own row and row 199 both somewhere.
    bool seen[2][2] = {}; // rows 197 and 198: own row, row 199
    int two_down = 0;
    for (int y = 0; y < 199; y++) {
        for (int x = 1; x <= 317; x += 2) {
            const uint32_t p = out.at(x, y);
            const int row = static_cast<int>((p >> 16) & 0xFF);
            ASSERT_TRUE(row == y || row == std::min(y + 2, 199)) << x << "," << y;
            ASSERT_EQ(p, rgb(row, (x + 1) / 2, 92)) << x << "," << y;
            two_down += row != y;
            if (y >= 197)
                seen[y - 197][row == 199] = true;
        }
    }
    EXPECT_TRUE(seen[0][0] && seen[0][1] && seen[1][0] && seen[1][1]);
    // Half the draws have bit 1 set: far from all or none of 31641 pixels.
    EXPECT_GT(two_down, 31641 / 3);
    EXPECT_LT(two_down, 31641 * 2 / 3);
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
    std::srand(1);
    const uint32_t last = dissolve_smears(smear1.view(), smear2.view(), 0.95f, out.px.data(), TARGET_W);

    // Row 0 takes draws 1 to 10: mod 10 = 3 6 7 5 3 5 6 2 9 1, so columns 1,
    // 3 and 5 are full weight and drawn; 7 and 9 (0.97, 0.96) are not.
    const bool drawn_in_row0[10] = {false, true, false, true, false, true, false, false, false, false};
    for (int x = 0; x < 10; x++)
        EXPECT_EQ(out.at(x, 0), drawn_in_row0[x] ? rgb(2, 1, 1) : SENTINEL) << x;
    // No even column ever reaches a sum above 3; every drawn pixel is (2, 1, 1).
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            ASSERT_TRUE(out.at(x, y) == SENTINEL || (x % 2 == 1 && out.at(x, y) == rgb(2, 1, 1)))
                << x << "," << y;
    EXPECT_EQ(last, rgb(2, 1, 1));
}

TEST(FireDissolve, HalfwayBlendOfTwoPictures)
{
    // v = 0.5: weights 0.50..0.59. smear1 (200, 0, 100), smear2 (0, 200, 100):
    // red trunc(200 * (1 - w)), green trunc(200 * w), blue
    // trunc(100 * w) + trunc(100 * (1 - w)).
    Image24 smear1(320, 200, 0xC80064);
    Image24 smear2(320, 200, 0x00C864);
    Picture out;
    std::srand(1);
    dissolve_smears(smear1.view(), smear2.view(), 0.5f, out.px.data(), TARGET_W);
    // Draw 1, mod 10 = 3: w = 0.03f + 0.5f = 0.529999971 in single, so
    // 200 w = 105.999992 and 200 (1 - w) = 94.0000076, 100 w = 52.9999962
    // and 100 (1 - w) = 47.0000038: each channel loses its own fraction.
    EXPECT_EQ(out.at(0, 0), rgb(94, 105, 99));
    // Draws 2, 3 and 4 (6, 7, 5): w = 0.56, 0.57, 0.55 give whole products.
    EXPECT_EQ(out.at(1, 0), rgb(88, 112, 100));
    EXPECT_EQ(out.at(2, 0), rgb(86, 114, 100));
    EXPECT_EQ(out.at(3, 0), rgb(90, 110, 100));
    // Everywhere a blend of the two: green 100..118, red the rest of 200
    // less at most the one the fractions lose, blue 99 or 100.
    for (int y = 0; y < 200; y++) {
        for (int x = 0; x < 320; x++) {
            const uint32_t p = out.at(x, y);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            ASSERT_EQ(p >> 24, 0xFFu);
            ASSERT_GE(g, 100) << x << "," << y;
            ASSERT_LE(g, 118) << x << "," << y;
            ASSERT_TRUE(r + g == 199 || r + g == 200) << x << "," << y;
            ASSERT_TRUE(b == 99 || b == 100) << x << "," << y;
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

TEST_F(FireScene, TwoFramesWithoutOverlay)
{
    // Every row of the picture left behind alike, (100, 8 + x / 2, 60), so
    // that the fire's source row matters only where it reaches the seed row.
    for (int y = 0; y < TARGET_H; y++)
        for (int x = 0; x < TARGET_W; x++)
            start[y * TARGET_W + x] = rgb(100, 8 + x / 2, 60);
    SDL_UpdateTexture(TargetTexture, nullptr, start.data(), TARGET_W * 4);
    TrackValues.cam_hori = 2.0f;
    std::srand(1);
    draw_fire(FrameTime{});
    EXPECT_EQ(StepCounter, 1);
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);
    ASSERT_NE(ReadbackSurface, nullptr);
    EXPECT_EQ(ReadbackSurface->w, 1920);
    EXPECT_EQ(ReadbackSurface->h, 1080);
    const std::vector<uint32_t> px = target();

    // The seed row, draws 1 to 12 (see the top of the file).
    const uint32_t seed[4] = {rgb(103, 49, 13), rgb(115, 20, 31), rgb(74, 59, 5), rgb(205, 46, 21)};
    for (int x = 0; x < 4; x++)
        EXPECT_EQ(px[199 * TARGET_W + x], seed[x]) << x;
    // The read-back holds the picture left behind with the seed row.
    const uint32_t *snap = static_cast<const uint32_t *>(ReadbackSurface->pixels);
    const int stride = ReadbackSurface->pitch / 4;
    EXPECT_EQ(snap[5 * stride + 7], rgb(100, 11, 60));
    EXPECT_EQ(snap[199 * stride + 3], seed[3]);

    // StepCounter 1: the odd columns up to 317 take column x + 1 cooled,
    // (98, 4 + (x + 1) / 2, 52); rows 197 and 198 may reach the seed row.
    // The even columns and column 319 keep the picture.
    for (int y = 0; y < 199; y++) {
        for (int x = 1; x <= 317; x += 2) {
            const uint32_t p = px[y * TARGET_W + x];
            const uint32_t from_picture = rgb(98, 4 + (x + 1) / 2, 52);
            const uint32_t s = px[199 * TARGET_W + x + 1];
            const uint32_t from_seed = rgb(((s >> 16) & 0xFF) > 2 ? ((s >> 16) & 0xFF) - 2 : 0,
                                           ((s >> 8) & 0xFF) > 4 ? ((s >> 8) & 0xFF) - 4 : 0,
                                           (s & 0xFF) > 8 ? (s & 0xFF) - 8 : 0);
            if (y < 197)
                ASSERT_EQ(p, from_picture) << x << "," << y;
            else
                ASSERT_TRUE(p == from_picture || p == from_seed) << x << "," << y;
        }
        for (int x = 0; x < TARGET_W; x += 2)
            ASSERT_EQ(px[y * TARGET_W + x], rgb(100, 8 + x / 2, 60)) << x << "," << y;
        ASSERT_EQ(px[y * TARGET_W + 319], rgb(100, 167, 60));
    }
    EXPECT_EQ(px[0 * TARGET_W + 1], rgb(98, 5, 52));
    EXPECT_EQ(px[196 * TARGET_W + 317], rgb(98, 163, 52));
    // The draw colour is the last fire point's, (317, 198).
    Uint8 r, g, b, a;
    SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
    EXPECT_EQ(rgb(r, g, b), px[198 * TARGET_W + 317]);
    EXPECT_EQ(a, 255);

    // StepCounter 2: the even columns take the odd ones of the first frame,
    // cooled again: (96, (x + 2) / 2, 44) wherever that reaches row 196 at
    // most; column 318 takes column 319, which never moves, cooled once. The
    // odd columns and column 319 stay.
    draw_fire(FrameTime{});
    EXPECT_EQ(StepCounter, 2);
    const std::vector<uint32_t> next = target();
    EXPECT_EQ(next[0], rgb(96, 1, 44));
    for (int y = 0; y < 195; y++) {
        for (int x = 0; x <= 316; x += 2)
            ASSERT_EQ(next[y * TARGET_W + x], rgb(96, (x + 2) / 2, 44)) << x << "," << y;
        ASSERT_EQ(next[y * TARGET_W + 318], rgb(98, 163, 52)) << y;
    }
    EXPECT_EQ(next[1], px[1]);
    EXPECT_EQ(next[319], rgb(100, 167, 60));
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
    draw_fire(FrameTime{});
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
    draw_fire(FrameTime{});
    const std::vector<uint32_t> px = target();
    EXPECT_EQ(px[90 * TARGET_W + 70], rgb(40, 40, 40));
    Uint8 r, g, b, a;
    SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
    EXPECT_EQ(rgb(r, g, b), rgb(40, 40, 40));
    HouseSurface = nullptr;
    SDL_FreeSurface(house);
}
