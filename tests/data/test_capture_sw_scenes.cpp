// The software scenes (landscape, house reflection, streak pattern) and the
// image sequence with the text overlay through the offline renderer: one
// frame of each from a fresh start, with images and tracks made here, and
// pixels checked at the centres of the 6 x 5.4 window blocks that a 320x200
// picture's pixels stretch to.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_fixture.h"
#include "scenes/streak_window.h"

namespace fs = std::filesystem;
using namespace capture_fixture;

namespace {

const Rgb BLACK{0, 0, 0};

Rgb frame_colour(int k) { return Rgb{k * 4, 255 - k, k * 3}; } // "000k.bmp"

const Rgb TERRAIN{10, 200, 30};
const Rgb LETTER_C{200, 100, 50};
const Rgb UNDERSCORE{0, 160, 0};

struct SwCapture : CaptureDir {
    void SetUp() override
    {
        CaptureDir::SetUp();
        // Flat terrain of height trunc(210 * 0.7152) = 150 in one colour.
        ASSERT_TRUE(save(solid(1024, 1024, {0, 210, 0}), work / "d1.bmp"));
        ASSERT_TRUE(save(solid(1024, 1024, TERRAIN), work / "c1.bmp"));
        ASSERT_TRUE(save(solid(64, 64, {0, 255, 255}), work / "badtaste.bmp"));
        // The font: "C" (cell 34) and "_" (cell 62) coloured, all else black.
        SDL_Surface *font = solid(940, 732, BLACK);
        fill(font, SDL_Rect{121, 100, 25, 32}, LETTER_C);
        fill(font, SDL_Rect{853, 150, 25, 32}, UNDERSCORE);
        ASSERT_TRUE(save(font, work / "font.bmp"));
        // The house: white with two black blocks, image columns 50..59 rows
        // 30..39, and columns 100..109 rows 80..89.
        SDL_Surface *house = solid(200, 120, {255, 255, 255});
        fill(house, SDL_Rect{50, 30, 10, 10}, BLACK);
        fill(house, SDL_Rect{100, 80, 10, 10}, BLACK);
        ASSERT_TRUE(save(house, work / "house.bmp"));
        // The shirt: all yellow, its transparent colour.
        ASSERT_TRUE(save(solid(16, 16, {255, 255, 0}), work / "paita.bmp"));
        ASSERT_TRUE(save(solid(128, 128, {200, 210, 220}), work / "textureloop.bmp"));
        ASSERT_TRUE(save(solid(320, 200, BLACK), work / "smear1.bmp"));
        ASSERT_TRUE(save(solid(320, 200, BLACK), work / "smear2.bmp"));
        for (int k = 1; k <= 60; k++) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d.bmp", k);
            ASSERT_TRUE(save(solid(8, 8, frame_colour(k)), work / name));
        }
    }
};

} // namespace

TEST_F(SwCapture, LandscapeFrame)
{
    // Eye 100 over flat terrain 150: the nearest slice projects to row 100
    // (v = -50.005), every farther one lower, so rows 99..198 show the
    // terrain; above, the Canvas's black covers the red clear colour.
    tracks(0, {{"clear.r", 255.0f}, {"cam.x", 512.5f}, {"cam.y", 512.5f}, {"cam.h", 100.0f},
               {"cam.scaleh", 1.0f}, {"cam.dist", 600.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    for (int x : {0, 100, 160, 319}) {
        EXPECT_EQ(f.block(x, 0), BLACK) << x;
        EXPECT_EQ(f.block(x, 98), BLACK) << x;
        EXPECT_EQ(f.block(x, 99), TERRAIN) << x;
        EXPECT_EQ(f.block(x, 150), TERRAIN) << x;
        EXPECT_EQ(f.block(x, 198), TERRAIN) << x;
        EXPECT_EQ(f.block(x, 199), BLACK) << x;
    }
}

TEST_F(SwCapture, HouseReflectionFrame)
{
    tracks(2, {{"clear.r", 255.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // Block one: mask columns 100..119 (Canvas 109..128 after the 9-column
    // shift); mask row 29 is 0xE0 (only image row 30 black), rows 30..38
    // 0xC0. Canvas row 38 is mask row 29's second row, row 42 mask row 33's.
    EXPECT_EQ(f.block(115, 38), (Rgb{0xEE, 0xEE, 0xE0}));
    EXPECT_EQ(f.block(115, 42), (Rgb{0xCC, 0xCC, 0xC0}));
    EXPECT_EQ(f.block(128, 42), (Rgb{0xCC, 0xCC, 0xC0}));
    EXPECT_EQ(f.block(108, 42), BLACK);
    EXPECT_EQ(f.block(129, 42), BLACK);
    // Block two: mask columns 200..219, rows 79..89; Canvas row 110 is mask
    // row 85's (trunc(85 * 1.3) = 110).
    EXPECT_EQ(f.block(218, 110), (Rgb{0xCC, 0xCC, 0xC0}));
    // Its reflection: y = 115 mirrors mask row 84 onto Canvas row 149,
    // shifted by at most 6, so Canvas columns 215..222 are covered whatever
    // the wave: 0xC0 * 0x40033 = 0x03002640.
    for (int x : {215, 218, 222})
        EXPECT_EQ(f.block(x, 149), (Rgb{0x00, 0x26, 0x40})) << x;
    EXPECT_EQ(f.block(218, 147), BLACK); // a row between reflection rows
    EXPECT_EQ(f.block(218, 180), BLACK);
    EXPECT_EQ(f.block(319, 42), BLACK);
}

TEST_F(SwCapture, StreakFrame)
{
    tracks(3, {{"cam.h", 3.5f}, {"clear.r", 255.0f}, {"clear.g", 128.0f}, {"clear.b", 64.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    int whites = 0;
    for (int r = 0; r < 100; r += 3)
        for (int q = 0; q < 160; ++q) {
            const int src = q < 80 ? 159 - q : q; // the left half mirrors the right
            const bool white = streak_pixel(src, r, 3) == 0xFFFFFFFFu; // its values: test_streak_window.cpp
            whites += white;
            // 160x100 over (518, 360, 640, 270): 4 by 2.7 window pixels each;
            // white times the clear colour (255, 128, 64).
            const Rgb got = f.at(518 + 4 * q + 2, 360 + static_cast<int>(2.7 * r + 1.35));
            ASSERT_EQ(got, white ? (Rgb{255, 128, 64}) : BLACK) << q << "," << r;
        }
    EXPECT_GT(whites, 0);
    EXPECT_EQ(f.at(517, 400), BLACK);
    EXPECT_EQ(f.at(1158, 400), BLACK);
    EXPECT_EQ(f.at(900, 100), BLACK);
}

TEST_F(SwCapture, ImageSequenceFrameWithOverlay)
{
    tracks(7, {{"clear.a", 2.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // First call at Row 0: the pass starts there and shows "0001.bmp".
    EXPECT_EQ(f.block(0, 0), frame_colour(1));
    EXPECT_EQ(f.block(250, 30), frame_colour(1));
    EXPECT_EQ(f.block(319, 199), frame_colour(1));
    // Line 2, "CINDERHALLs____________" at y 508: the "C" at (96, 504),
    // 50x64, its shadow 4 pixels right and down; other letters' cells are
    // black, that is transparent.
    EXPECT_EQ(f.at(96, 504), LETTER_C);
    EXPECT_EQ(f.at(145, 567), LETTER_C);
    EXPECT_EQ(f.at(147, 570), BLACK);
    EXPECT_EQ(f.at(99, 570), frame_colour(1));
    EXPECT_EQ(f.at(160, 530), frame_colour(1));
    // The underscores from x 638 (text) to 1242 (end of the last shadow).
    EXPECT_EQ(f.at(660, 540), UNDERSCORE);
    EXPECT_EQ(f.at(1237, 567), UNDERSCORE);
    EXPECT_EQ(f.at(1240, 570), BLACK);
    EXPECT_EQ(f.at(1242, 570), frame_colour(1));
}

TEST_F(SwCapture, ImageSequenceBelowTwentyFramesASecondKeepsChanging)
{
    // 11.7647 frames a second: 1.7 Rows a frame, so the count steps from 59
    // (frame 35, Row 59.5) over 60 to 61 (frame 36, Row 61.2). A new pass
    // starts there, and the pictures go on changing.
    tracks(7, {});
    const std::string line = "cd '" + work.string() +
                             "' && ./capture --out shots --frames 40 --fps 11.7647 >out.txt 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
    Rgb previous{-1, -1, -1};
    for (int i = 0; i < 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", i);
        Frame f;
        ASSERT_TRUE(read_png(work / "shots" / name, &f)) << name;
        const int row = static_cast<int>(i * 20.0 / 11.7647); // Row, truncated
        const int image = i < 36 ? row + 1 : row - 61 + 1; // "00NN.bmp"
        EXPECT_EQ(f.block(160, 100), frame_colour(image)) << name;
        EXPECT_NE(f.block(160, 100), previous) << name;
        previous = f.block(160, 100);
    }
}
