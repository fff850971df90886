// Scene 1: the sprite chain's placement and tints, and the drip smear over a
// hand-built snapshot.
#include <gtest/gtest.h>

#include <vector>

#include "scenes/render_target.h"
#include "scenes/sprite_drip.h"

namespace {

constexpr uint32_t SENTINEL = 0x12345678u; // never a smear colour (alpha 0x12)

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return a << 24 | r << 16 | g << 8 | b;
}

struct Smear {
    std::vector<uint32_t> snapshot = std::vector<uint32_t>(TARGET_W * TARGET_H);
    std::vector<uint32_t> target = std::vector<uint32_t>(TARGET_W * TARGET_H, SENTINEL);
    uint32_t last = 0;

    void fill(uint32_t colour) { snapshot.assign(snapshot.size(), colour); }
    uint32_t &at(int x, int y) { return snapshot[y * TARGET_W + x]; }
    uint32_t out(int x, int y) const { return target[y * TARGET_W + x]; }
    void run() { last = smear_columns(snapshot.data(), TARGET_W, target.data(), TARGET_W); }
};

} // namespace

TEST(SpriteChain, FirstThreeAndLastPlacementsAtZeroPhase)
{
    const SpritePlacement s0 = place_sprite(0, 0.0f, 0.0f);
    const SpritePlacement s1 = place_sprite(2, 0.0f, 0.0f);
    const SpritePlacement s2 = place_sprite(4, 0.0f, 0.0f);
    const SpritePlacement last = place_sprite(96, 0.0f, 0.0f);
    EXPECT_EQ(s0.x, 96);
    EXPECT_EQ(s0.y, -54);
    EXPECT_EQ(s1.x, 102);
    EXPECT_EQ(s1.y, -50);
    EXPECT_EQ(s2.x, 108);
    EXPECT_EQ(s2.y, -46);
    // 95.99998 before truncation toward zero.
    EXPECT_EQ(last.x, 95);
    EXPECT_EQ(last.y, 22);
}

TEST(SpriteChain, SwayIsSineTimes100ThenTimesCosine)
{
    // Values worked in single precision, one rounding per operation. Multiplying
    // s by (100 * c), or the whole product in double, lands on the other side
    // of an integer in each case.
    // i = 26, cam.dist = 1.415, cam.rot = 1.24: s = sin(2.2318139) = 0.789367914,
    // c = cos(2.5162718) = -0.81077534; s * 100 = 78.9367905, times c = -64.0
    // exactly, x = 32 (the other orders: -64.0000076, 31.99999 -> 31).
    EXPECT_EQ(place_sprite(26, 1.415f, 1.24f).x, 32);
    // i = 44, cam.dist = 1.905, cam.rot = 1.25: s = -0.145192668,
    // c = -0.964235723; s * 100 = -14.5192671, times c = 13.9999962, + 96 rounds
    // to 110.0 (the other orders: 13.9999952, 109.99999 -> 109).
    EXPECT_EQ(place_sprite(44, 1.905f, 1.25f).x, 110);
    // i = 38, cam.dist = 0.514, cam.rot = 0.27: s * 100 = 99.0629044, times
    // c = -0.535013616 gives -53.0000038, x = 42.9999962 -> 42 (the other
    // orders: -53.0 exactly, x = 43).
    EXPECT_EQ(place_sprite(38, 0.514f, 0.27f).x, 42);
}

TEST(SpriteChain, TintsRunFromDarkToBrightAlongTheChain)
{
    const SpritePlacement s0 = place_sprite(0, 0.3f, 1.1f);
    EXPECT_EQ(s0.r, 205);
    EXPECT_EQ(s0.g, 155);
    EXPECT_EQ(s0.b, 155);
    const SpritePlacement s1 = place_sprite(2, 0.3f, 1.1f);
    EXPECT_EQ(s1.r, 206);
    EXPECT_EQ(s1.g, 157);
    EXPECT_EQ(s1.b, 157);
    const SpritePlacement s2 = place_sprite(4, 0.3f, 1.1f);
    EXPECT_EQ(s2.r, 207);
    EXPECT_EQ(s2.g, 159);
    const SpritePlacement last = place_sprite(96, 0.3f, 1.1f);
    EXPECT_EQ(last.r, 253);
    EXPECT_EQ(last.g, 251);
    EXPECT_EQ(last.b, 251);
}

TEST(SpriteChain, PhasesMoveTheSprites)
{
    // cam.dist = pi/2 at i = 0: x = 100 * sin(pi/2) * cos(0) + 96 = 196,
    // y = 20 * sin(0.321 * pi/2 = 0.50422) - 54 = -44.34 -> -44.
    const SpritePlacement p = place_sprite(0, 1.5707964f, 0.0f);
    EXPECT_EQ(p.x, 196);
    EXPECT_EQ(p.y, -44);
    // cam.dist = -pi/2: x = -100 + 96 = -4, y = 20 * sin(-0.50422) - 54 = -63.66 -> -63.
    const SpritePlacement n = place_sprite(0, -1.5707964f, 0.0f);
    EXPECT_EQ(n.x, -4);
    EXPECT_EQ(n.y, -63);
    // cam.rot = pi/2 at i = 0: the cosine is ~0, so x stays at 96.
    const SpritePlacement q = place_sprite(0, 0.3f, 1.5707964f);
    EXPECT_EQ(q.x, 96);
}

TEST(DripSmear, DarkenCarryFloorsEachChannelAndKeepsAlpha)
{
    EXPECT_EQ(darken_carry(argb(0x80, 10, 0, 1)), argb(0x80, 9, 0, 0));
    EXPECT_EQ(darken_carry(argb(0xFF, 255, 255, 255)), argb(0xFF, 254, 254, 254));
    EXPECT_EQ(darken_carry(0u), 0u);
}

TEST(DripSmear, EvenClearBlueSmearsTheBackgroundBelowASprite)
{
    Smear s;
    s.fill(argb(0xFF, 10, 20, 40)); // even blue: no source anywhere
    s.at(7, 5) = argb(0xFF, 100, 50, 31); // a sprite pixel, odd blue
    s.run();
    // Above the source: row 0's colour, one step darker per row.
    EXPECT_EQ(s.out(7, 0), argb(0xFF, 10, 20, 40));
    EXPECT_EQ(s.out(7, 4), argb(0xFF, 6, 16, 36));
    // The source itself is not drawn.
    EXPECT_EQ(s.out(7, 5), SENTINEL);
    // Below: the source colour fading by one per row, blue floored at 0.
    EXPECT_EQ(s.out(7, 6), argb(0xFF, 99, 49, 30));
    EXPECT_EQ(s.out(7, 36), argb(0xFF, 69, 19, 0));
    EXPECT_EQ(s.out(7, 199), argb(0xFF, 0, 0, 0));
    // A column without source: row 0's colour darkening down to the floor.
    EXPECT_EQ(s.out(8, 15), argb(0xFF, 0, 5, 25));
    EXPECT_EQ(s.out(8, 199), argb(0xFF, 0, 0, 0));
}

TEST(DripSmear, OddClearBlueLeavesTheBackgroundAndTrailsSpritePixels)
{
    Smear s;
    s.fill(argb(0xFF, 10, 20, 41)); // odd blue: every background pixel is a source
    for (int y = 10; y <= 12; y++)
        s.at(30, y) = argb(0xFF, 200, 100, 50); // sprite pixels with even blue
    s.run();
    EXPECT_EQ(s.out(30, 9), SENTINEL);
    EXPECT_EQ(s.out(30, 10), argb(0xFF, 9, 19, 40));
    EXPECT_EQ(s.out(30, 11), argb(0xFF, 8, 18, 39));
    EXPECT_EQ(s.out(30, 12), argb(0xFF, 7, 17, 38));
    EXPECT_EQ(s.out(30, 13), SENTINEL);
    for (int x = 0; x < TARGET_W; x++)
        for (int y = 0; y < TARGET_H; y++)
            if (!(x == 30 && y >= 10 && y <= 12)) {
                ASSERT_EQ(s.out(x, y), SENTINEL) << x << "," << y;
            }
    EXPECT_EQ(s.last, argb(0xFF, 7, 17, 38));
}

TEST(DripSmear, RowZeroKeepsItsColourButBecomesOpaque)
{
    Smear s;
    s.fill(argb(0x40, 3, 0, 200));
    s.run();
    EXPECT_EQ(s.out(0, 0), argb(0xFF, 3, 0, 200));
    EXPECT_EQ(s.out(0, 5), argb(0xFF, 0, 0, 195));
    EXPECT_EQ(s.out(303, 199), argb(0xFF, 0, 0, 1));
}

TEST(DripSmear, ColumnsFrom304OnAreNeverTouched)
{
    Smear s;
    s.fill(argb(0xFF, 10, 20, 40));
    s.run();
    EXPECT_EQ(s.out(303, 100), argb(0xFF, 0, 0, 0));
    for (int x = 304; x < TARGET_W; x++)
        for (int y = 0; y < TARGET_H; y++)
            ASSERT_EQ(s.out(x, y), SENTINEL) << x << "," << y;
    // The last point drawn is column 303, row 199.
    EXPECT_EQ(s.last, argb(0xFF, 0, 0, 0));
}

TEST(DripSmear, NoPointAtAllWhenEverythingIsASource)
{
    Smear s;
    s.fill(argb(0xFF, 1, 1, 1));
    s.run();
    EXPECT_EQ(s.last, 0u);
    EXPECT_EQ(s.out(0, 0), SENTINEL);
}

TEST(DripSmear, InPlaceGivesTheSamePicture)
{
    Smear s;
    for (int i = 0; i < TARGET_W * TARGET_H; i++)
        s.snapshot[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    s.target = s.snapshot;
    s.run();
    std::vector<uint32_t> in_place = s.snapshot;
    smear_columns(in_place.data(), TARGET_W, in_place.data(), TARGET_W);
    EXPECT_EQ(in_place, s.target);
}
