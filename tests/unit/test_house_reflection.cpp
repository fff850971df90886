// The house scene: silhouette colours and the -9 column shift through the
// linear mask, the stretched rows, the reflection rows with their sideways
// spill, and the drawn window on a software renderer.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "state/state.h"
#include "scene_window.h"
#include "scenes/house_reflection.h"
#include "scenes/scenes.h"

namespace {

constexpr int W = 320;

std::vector<uint32_t> blank_canvas()
{
    return std::vector<uint32_t>(W * 200, 0);
}

// A mask of arbitrary bytes, so that every source position is recognisable.
std::vector<uint8_t> random_mask(unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> mask(320 * 100);
    for (auto &m : mask)
        m = static_cast<uint8_t>(rng());
    return mask;
}

TEST(HouseColours, ProductsOfTheMaskBytes)
{
    EXPECT_EQ(silhouette_colour(0x00), 0x00000000u);
    EXPECT_EQ(silhouette_colour(0xC0), 0x0CCCCCC0u);
    EXPECT_EQ(silhouette_colour(0xE0), 0x0EEEEEE0u);
    EXPECT_EQ(reflection_colour(0x00), 0x00000000u);
    EXPECT_EQ(reflection_colour(0xC0), 0x03002640u);
    EXPECT_EQ(reflection_colour(0xE0), 0x03802CA0u);
    EXPECT_EQ(reflection_colour(0xFF), 0x03FC32CDu); // 0x4003300 - 0x40033
}

TEST(HouseSilhouette, MaskRowZeroAndTheNineColumnShift)
{
    // Mask rows: columns 311..319 are 0xC0, the rest 0xE0.
    std::vector<uint8_t> mask(320 * 100, 0xE0);
    for (int y = 0; y < 100; ++y)
        for (int x = 311; x < 320; ++x)
            mask[y * 320 + x] = 0xC0;
    auto canvas = blank_canvas();
    render_house_reflection(canvas.data(), mask.data(), 0);

    for (int x = 0; x < 9; ++x) {
        // Mask row 0 reads before the start of the mask: zero. Canvas row 1,
        // which mask row 0 writes first, is written again by mask row 1
        // (trunc(1.3) = 1), and like every later row it shows the previous
        // mask row's last nine bytes.
        EXPECT_EQ(canvas[0 * W + x], 0u) << x;
        for (int r = 1; r < 129; ++r)
            ASSERT_EQ(canvas[r * W + x], 0x0CCCCCC0u) << x << "," << r;
    }
    // Mask columns 0..309 land on Canvas columns 9..318; 319 is never written.
    for (int r = 0; r < 129; ++r) {
        for (int x = 9; x < 319; ++x)
            ASSERT_EQ(canvas[r * W + x], 0x0EEEEEE0u) << x << "," << r;
        ASSERT_EQ(canvas[r * W + 319], 0u) << r;
    }
}

TEST(HouseSilhouette, RowsAreStretchedByOnePointThree)
{
    // Mask row y holds the byte y + 1 everywhere: Canvas rows trunc(1.3 y)
    // and trunc(1.3 y) + 1 show row y, a later row winning the shared row.
    std::vector<uint8_t> mask(320 * 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 320; ++x)
            mask[y * 320 + x] = static_cast<uint8_t>(y + 1);
    auto canvas = blank_canvas();
    render_house_reflection(canvas.data(), mask.data(), 0);
    // Worked by hand: R = 0, 1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14 for
    // y = 0..11, and 126, 127, 128 for y = 97, 98, 99; each Canvas row shows
    // the last mask row that wrote it.
    const int row_of[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {5, 4}, {6, 5}, {7, 6},
                             {8, 6}, {12, 9}, {13, 10}, {14, 11}, {126, 97}, {127, 98}, {128, 99}};
    for (auto [row, y] : row_of)
        EXPECT_EQ(canvas[row * W + 100], silhouette_colour(static_cast<uint8_t>(y + 1))) << "row " << row;
    // Row 129 (mask row 99) can take reflection spill only at its right end.
    EXPECT_EQ(canvas[129 * W + 100], silhouette_colour(100));
}

TEST(HouseReflection, WaveShiftAtTickZero)
{
    // (6 - |3 cos(10)|) cos(50) in single precision: cos(10) = -0.839071529,
    // cos(50) = 0.964966028, so (6 - 2.517214587) * 0.964966028.
    EXPECT_FLOAT_EQ(reflection_shift(100, 0), 3.3607695f);
    // Tick 1000 adds one radian to the phase. y = 107: 107 * 0.1f = 10.6999998
    // (single), cos = -0.291289479 rounded to single, 6 - |3 * that| =
    // 5.12613153; cos(53.5 + 1) = -0.459890097; the product -2.35745716.
    EXPECT_EQ(reflection_shift(107, 1000), -2.35745716f);
}

TEST(HouseReflection, ShiftIsSinglePrecisionAroundADoublePhase)
{
    // Tick 3007, y = 126, each step worked separately:
    //   126 * 0.1f = 12.6000004 (single), cos = 0.999434590 rounded to single;
    //   amplitude 6 - 3 * 0.99943459 = 3.00169611 (single);
    //   phase 63 + 3.007 = 66.007 in double, cos = -0.999437094 rounded to single;
    //   shift = 3.00169611 * -0.999437094 = -3.00000644 (single).
    // Rounding the cosines only where a result is stored would give
    // -3.00000668; all in double, -3.0000066131.
    EXPECT_EQ(reflection_shift(126, 3007), -3.00000644f);
    // At Tick 4e9 the time alone is 4e6 radians: a single-precision phase
    // would step in quarters of a radian. The double phase follows Tick.
    EXPECT_NE(reflection_shift(100, 4000000000u), reflection_shift(100, 4000000001u));
}

TEST(HouseReflection, ColumnSumIsSinglePrecision)
{
    // With shift -3.00000644 (the row y = 126 at Tick 3007), x = 132 gives
    // 128.99999356, which is 129.0 in single precision (half a step there is
    // 7.6e-6): column 129, where a double sum would give 128. x = 131 gives
    // 127.99999237 in single: column 127. Column 128 gets no pixel of the row.
    const auto mask = random_mask(5);
    auto canvas = blank_canvas();
    render_reflection_row(canvas.data(), mask.data(), 26, -3.00000644f); // Canvas row 163
    auto source = [&](int x) { return reflection_colour(mask[73 * 320 + x - 9]); };
    ASSERT_NE(source(131), source(132));
    EXPECT_EQ(canvas[163 * W + 127], source(131));
    EXPECT_EQ(canvas[163 * W + 128], 0u);
    EXPECT_EQ(canvas[163 * W + 129], source(132));
}

TEST(HouseReflection, RowsListAndGapRows)
{
    std::vector<uint8_t> mask(320 * 100, 0xE0);
    for (uint32_t tick : {0u, 777u, 123456u, 4294967295u}) {
        auto canvas = blank_canvas();
        render_house_reflection(canvas.data(), mask.data(), tick);
        const int rows[] = {130, 131, 132, 133, 135, 136, 137, 139, 140, 141, 143, 144, 145, 146, 148,
                            149, 150, 152, 153, 154, 156, 157, 158, 159, 161, 162, 163, 165, 166, 167};
        for (int r : rows)
            for (int x = 7; x < 312; ++x)
                ASSERT_EQ(canvas[r * W + x], 0x03802CA0u) << "row " << r << " tick " << tick;
        for (int r : {134, 138, 142, 147, 151, 155, 160, 164})
            for (int x = 7; x < 312; ++x)
                ASSERT_EQ(canvas[r * W + x], 0u) << "gap row " << r << " tick " << tick;
        for (int i = 169 * W; i < 200 * W; ++i)
            ASSERT_EQ(canvas[i], 0u) << "row " << i / W << " tick " << tick;
        for (int r = 0; r < 129; ++r)
            ASSERT_EQ(canvas[r * W + 319], 0u) << "row " << r << " tick " << tick;
    }
}

TEST(HouseReflection, ShiftOfMinusAHalfPutsTwoSourcesOnColumnZero)
{
    const auto mask = random_mask(1);
    auto canvas = blank_canvas();
    render_reflection_row(canvas.data(), mask.data(), 0, -0.5);
    // Row k = 0 is Canvas row 130 from mask row 99, read 9 columns left.
    auto source = [&](int x) { return reflection_colour(mask[99 * 320 + x - 9]); };
    EXPECT_EQ(canvas[130 * W + 0], source(1)); // x = 0 and 1 both land on 0; 1 wins
    EXPECT_EQ(canvas[130 * W + 1], source(2)); // trunc(1.5) = 1
    EXPECT_EQ(canvas[130 * W + 317], source(318));
    EXPECT_EQ(canvas[130 * W + 318], 0u);
    EXPECT_EQ(canvas[130 * W + 319], 0u);
    EXPECT_EQ(canvas[129 * W + 319], 0u);
}

TEST(HouseReflection, ShiftOfTwoAndAHalfSpillsIntoTheNextRow)
{
    const auto mask = random_mask(2);
    auto canvas = blank_canvas();
    render_reflection_row(canvas.data(), mask.data(), 3, 2.5); // y = 103: Canvas row 133, mask row 96
    auto source = [&](int x) { return reflection_colour(mask[96 * 320 + x - 9]); };
    EXPECT_EQ(canvas[133 * W + 0], 0u);
    EXPECT_EQ(canvas[133 * W + 1], 0u);
    EXPECT_EQ(canvas[133 * W + 2], source(0));
    EXPECT_EQ(canvas[133 * W + 319], source(317));
    EXPECT_EQ(canvas[134 * W + 0], source(318)); // spilled onto the next row
    EXPECT_EQ(canvas[134 * W + 1], 0u);
}

TEST(HouseReflection, ShiftBelowMinusOneWritesOverTheLastSilhouetteRow)
{
    const auto mask = random_mask(3);
    auto canvas = blank_canvas();
    render_reflection_row(canvas.data(), mask.data(), 0, -3.2);
    auto source = [&](int x) { return reflection_colour(mask[99 * 320 + x - 9]); };
    // x = 0..3 give -3.2, -2.2, -1.2, -0.2: trunc -3, -2, -1, 0.
    EXPECT_EQ(canvas[129 * W + 317], source(0));
    EXPECT_EQ(canvas[129 * W + 318], source(1));
    EXPECT_EQ(canvas[129 * W + 319], source(2));
    // x = 3 (-0.2) and x = 4 (0.8) both land on column 0; x = 4 wins.
    EXPECT_EQ(canvas[130 * W + 0], source(4));
    EXPECT_EQ(canvas[130 * W + 1], source(5));
}

TEST(HouseReflection, TickZeroPicture)
{
    // At Tick 0 rows y = 100 and 101 shift by 3.36 and 3.56: both by 3
    // columns, and row 130's last two pixels spill onto row 131's columns
    // 0 and 1, which row 131 itself leaves unwritten.
    const auto mask = random_mask(4);
    auto canvas = blank_canvas();
    render_house_reflection(canvas.data(), mask.data(), 0);
    auto row99 = [&](int x) { return reflection_colour(mask[99 * 320 + x - 9]); };
    auto row98 = [&](int x) { return reflection_colour(mask[98 * 320 + x - 9]); };
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(canvas[130 * W + c], 0u) << c;
    for (int x = 0; x < 317; ++x)
        ASSERT_EQ(canvas[130 * W + x + 3], row99(x)) << x;
    EXPECT_EQ(canvas[131 * W + 0], row99(317));
    EXPECT_EQ(canvas[131 * W + 1], row99(318));
    EXPECT_EQ(canvas[131 * W + 2], 0u);
    for (int x = 0; x < 317; ++x)
        ASSERT_EQ(canvas[131 * W + x + 3], row98(x)) << x;
}

// ---- Drawn on a software renderer -------------------------------------------

TEST(HouseDrawing, CanvasCoversTheWindowAndThePictureIsBlendedOnTop)
{
    SceneWindow win;
    ASSERT_TRUE(win.ok) << SDL_GetError();
    // "house.bmp": white (transparent) except a pure red block that lands on
    // window x 45..84, y 1..40 (the 1920x700 rectangle at (45, 1), 40 image
    // pixels per 40 window pixels across, 700/700 down).
    SDL_Surface *house = SDL_CreateRGBSurfaceWithFormat(0, 1920, 700, 24, SDL_PIXELFORMAT_RGB24);
    ASSERT_NE(house, nullptr);
    SDL_FillRect(house, nullptr, SDL_MapRGB(house->format, 255, 255, 255));
    SDL_Rect block{0, 0, 40, 40};
    SDL_FillRect(house, &block, SDL_MapRGB(house->format, 255, 0, 0));
    HouseTexture = SceneWindow::texture_from(house, true, 255, 255, 255);
    ASSERT_NE(HouseTexture, nullptr);

    for (int i = 0; i < 320 * 100; ++i)
        HouseMask[i] = (i / 320) % 2 ? 0xE0 : 0xC0;
    std::memset(Canvas, 0, CANVAS_PIXEL_BYTES);
    TrackValues.clear_r = 255.0f; // the clear colour must not show
    draw_house_reflection(FrameTime{0.0f, 0});

    // Outside the picture's block, the stretched Canvas: mask row 50 (0xC0)
    // on Canvas rows 65, 66; row 51 (0xE0) on 66, 67; row 52 (0xC0) on 67, 68.
    EXPECT_EQ(win.stretched_pixel(100, 65), 0xCCCCC0u);
    EXPECT_EQ(win.stretched_pixel(100, 66), 0xEEEEE0u);
    EXPECT_EQ(win.stretched_pixel(100, 67), 0xCCCCC0u);
    EXPECT_EQ(win.stretched_pixel(319, 65), 0x000000u); // column 319
    EXPECT_EQ(win.stretched_pixel(100, 180), 0x000000u);
    // Row 130 at Tick 0 is mask row 99 (0xE0) shifted 3 columns right.
    EXPECT_EQ(win.stretched_pixel(100, 130), 0x802CA0u);
    EXPECT_EQ(win.stretched_pixel(1, 130), 0x000000u);
    // Inside the red block: red at alpha 180 over Canvas pixel (10, 3),
    // which is 0xEEEEE0: 180 + 238 * 75 / 255, 238 * 75 / 255, 224 * 75 / 255.
    const uint32_t p = win.pixel(60, 20);
    EXPECT_NEAR(static_cast<int>(p >> 16), 250, 2);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 70, 2);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 66, 2);

    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    SDL_GetTextureBlendMode(CanvasTexture, &mode);
    EXPECT_EQ(mode, SDL_BLENDMODE_BLEND);
    Uint8 alpha = 0;
    SDL_GetTextureAlphaMod(HouseTexture, &alpha);
    EXPECT_EQ(alpha, 180);
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);

    HouseTexture = nullptr;
    TrackValues = {};
    std::memset(HouseMask, 0, sizeof HouseMask);
}

} // namespace
