// The render-target scenes and the glyph field through the offline renderer:
// one frame of each from a fresh start, with images and tracks made here, and
// pixels checked at the centres of the 6 x 5.4 window blocks that the 320x200
// target's pixels stretch to.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_fixture.h"

namespace fs = std::filesystem;
using namespace capture_fixture;

namespace {

// A demo directory of small but sufficient images and the capture program.
struct RtCapture : CaptureDir {
    void SetUp() override
    {
        CaptureDir::SetUp();
        ASSERT_TRUE(save(solid(1024, 1024, {90, 90, 90}), work / "d1.bmp"));
        ASSERT_TRUE(save(solid(1024, 1024, {10, 80, 20}), work / "c1.bmp"));
        // The sprite: no blue-free pixel, no white, so every tinted pixel is
        // (0, g, b) with b odd: a source for the smear.
        ASSERT_TRUE(save(solid(64, 64, {0, 255, 255}), work / "badtaste.bmp"));
        // The font: every cell solid white on black.
        SDL_Surface *font = solid(940, 732, {0, 0, 0});
        for (int r = 0; r < 15; r++)
            for (int q = 0; q < 16; q++)
                fill(font, SDL_Rect{61 * q - (q > 0), 50 * r, r < 5 ? 25 : 21, 32}, {255, 255, 255});
        ASSERT_TRUE(save(font, work / "font.bmp"));
        // The house: white, one black pixel at (20, 40).
        SDL_Surface *house = solid(160, 101, {255, 255, 255});
        fill(house, SDL_Rect{20, 40, 1, 1}, {0, 0, 0});
        ASSERT_TRUE(save(house, work / "house.bmp"));
        ASSERT_TRUE(save(solid(16, 16, {1, 2, 3}), work / "paita.bmp"));
        // The sphere's texture: (200, 210, 220) but texel (0, 0).
        SDL_Surface *loop = solid(128, 128, {200, 210, 220});
        fill(loop, SDL_Rect{0, 0, 1, 1}, {250, 240, 230});
        ASSERT_TRUE(save(loop, work / "textureloop.bmp"));
        ASSERT_TRUE(save(solid(320, 200, {0, 0, 0}), work / "smear1.bmp"));
        // smear2: black (keyed out) but a block at (200..259, 20..59).
        SDL_Surface *smear2 = solid(320, 200, {0, 0, 0});
        fill(smear2, SDL_Rect{200, 20, 60, 40}, {30, 60, 90});
        ASSERT_TRUE(save(smear2, work / "smear2.bmp"));
        for (int k = 1; k <= 60; k++) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d.bmp", k);
            ASSERT_TRUE(save(solid(8, 8, {k, k, k}), work / name));
        }
    }
};

} // namespace

TEST_F(RtCapture, SpriteDripFrame)
{
    // Even clear blue: the background smears too.
    tracks(1, {{"clear.r", 200.0f}, {"clear.g", 150.0f}, {"clear.b", 100.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // The last sprite (i = 96) at (95, 22), 128x128, tint (253, 251, 251):
    // (0, 251, 251) on top, then running down below row 149.
    EXPECT_EQ(f.block(150, 100), (Rgb{0, 251, 251}));
    EXPECT_EQ(f.block(150, 149), (Rgb{0, 251, 251}));
    EXPECT_EQ(f.block(150, 150), (Rgb{0, 250, 250}));
    EXPECT_EQ(f.block(150, 160), (Rgb{0, 240, 240}));
    EXPECT_EQ(f.block(150, 199), (Rgb{0, 201, 201}));
    // Column 300 has no sprite: row 0's clear colour darkening by the row.
    EXPECT_EQ(f.block(300, 0), (Rgb{200, 150, 100}));
    EXPECT_EQ(f.block(300, 50), (Rgb{150, 100, 50}));
    EXPECT_EQ(f.block(300, 120), (Rgb{80, 30, 0}));
    // Columns 304..319 keep the clear colour.
    EXPECT_EQ(f.block(310, 120), (Rgb{200, 150, 100}));
    EXPECT_EQ(f.block(319, 199), (Rgb{200, 150, 100}));
}

TEST_F(RtCapture, RaySphereFrame)
{
    tracks(4, {{"cam.h", 1.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // Straight ahead: a hit at distance 2, texel (0, 0) less (114, 133, 128).
    EXPECT_EQ(f.block(160, 0), (Rgb{136, 107, 102}));
    // Misses (k = 0.8241 and 1.4241), darkening (93, 109, 105) and (162, 189, 182).
    EXPECT_EQ(f.block(160, 100), (Rgb{107, 101, 115}));
    EXPECT_EQ(f.block(100, 50), (Rgb{38, 21, 38}));
}

TEST_F(RtCapture, FireFrameWithSmear2)
{
    tracks(5, {{"cam.hori", 1.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // The program never seeds rand: its sequence is that of seed 1.
    std::srand(1);
    std::vector<Rgb> seed(320);
    for (Rgb &c : seed) {
        c.r = std::rand() & 255;
        c.g = (std::rand() & 255) >> 2;
        c.b = (std::rand() & 255) >> 3;
    }
    for (int x = 0; x < 320; x++)
        ASSERT_EQ(f.block(x, 199), seed[x]) << x;
    // The first frame has StepCounter 1: odd columns move. Row 198 is the
    // last of 199 rows of 159 draws each.
    for (int i = 0; i < 198 * 159; i++)
        std::rand();
    for (int x = 1; x <= 317; x += 2) {
        const bool from_seed = (std::rand() & 2) != 0;
        const Rgb s = from_seed ? seed[x + 1] : Rgb{0, 0, 0};
        const Rgb cooled{s.r > 2 ? s.r - 2 : 0, s.g > 4 ? s.g - 4 : 0, s.b > 8 ? s.b - 8 : 0};
        if (x < 200 || x > 259) {
            ASSERT_EQ(f.block(x, 198), cooled) << x;
        }
    }
    // Odd columns of the rows above come from the empty target: black.
    EXPECT_EQ(f.block(101, 100), (Rgb{0, 0, 0}));
    // smear2's block over the fire.
    EXPECT_EQ(f.block(200, 20), (Rgb{30, 60, 90}));
    EXPECT_EQ(f.block(259, 59), (Rgb{30, 60, 90}));
    EXPECT_EQ(f.block(229, 40), (Rgb{30, 60, 90}));
}

TEST_F(RtCapture, FireFrameWithHouseLines)
{
    tracks(5, {{"cam.hori", -0.5f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // The black house pixel (20, 40) as grey 40 at (70, 90).
    EXPECT_EQ(f.block(70, 90), (Rgb{40, 40, 40}));
}

TEST_F(RtCapture, GlyphFieldFrame)
{
    tracks(6, {});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // Row 0 at Tick 0: glyph j from x = 50j, first 35 rows uncovered by
    // row 1, colour from a = |cos(cos(0.01j) * 20 + (0.01j + 1) * 0.1) * 255|.
    const Rgb expect[] = {{17, 13, 17}, {17, 13, 17}, {17, 13, 17}, {18, 12, 18},
                          {20, 10, 20}, {22, 8, 22}, {24, 6, 24}, {27, 3, 27}};
    for (int j = 0; j < 8; j++)
        EXPECT_EQ(f.at(50 * j + 5, 10), expect[j]) << j;
    // The first glyph is 39 wide (50 - 11): x = 38 is in it.
    EXPECT_EQ(f.at(38, 20), (Rgb{17, 13, 17}));
}
