// The voxel landscape: worked projections of the first slice, the draw
// distance rules, periodic terrain sampling, and the far-to-near painter
// against a plain near-to-far painter for random cameras.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "base/convert.h"
#include "scenes/landscape.h"

namespace {

constexpr int W = 320;
constexpr int H = 200;
constexpr int MAP = 1024;

struct Terrain {
    std::vector<uint32_t> heights = std::vector<uint32_t>(MAP * MAP, 0);
    std::vector<uint32_t> colours = std::vector<uint32_t>(MAP * MAP, 0);
    void fill(uint32_t height, uint32_t colour)
    {
        std::fill(heights.begin(), heights.end(), height);
        std::fill(colours.begin(), colours.end(), colour);
    }
    void set_column(int col, uint32_t height, uint32_t colour)
    {
        for (int r = 0; r < MAP; ++r) {
            heights[r * MAP + col] = height;
            colours[r * MAP + col] = colour;
        }
    }
    void set_row(int row, uint32_t height, uint32_t colour)
    {
        for (int c = 0; c < MAP; ++c) {
            heights[row * MAP + c] = height;
            colours[row * MAP + c] = colour;
        }
    }
};

std::vector<uint32_t> render(const Terrain &t, const LandscapeCamera &cam)
{
    std::vector<uint32_t> canvas(W * H, 0);
    render_landscape(canvas.data(), t.heights.data(), t.colours.data(), cam);
    return canvas;
}

// Facing rot 0 from (x, y): slice z samples map row trunc(y - z) and, across
// the 320 columns, map columns from x - z to x + z.
LandscapeCamera camera(float x, float y, float dist, float h, float scaleh, float hori)
{
    return LandscapeCamera{x, y, 0.0f, dist, h, hori, scaleh};
}

// Rows of column i holding `colour`; every other row of the column must be 0.
void expect_column(const std::vector<uint32_t> &canvas, int i, int first_row, uint32_t colour)
{
    for (int r = 0; r < H; ++r) {
        const uint32_t want = (r >= first_row && r <= 198) ? colour : 0u;
        ASSERT_EQ(canvas[r * W + i], want) << "column " << i << " row " << r;
    }
}

// The picture as defined by painting: slices near to far, every strip
// to row 198, farther slices overwriting nearer ones.
std::vector<uint32_t> paint_near_to_far(const Terrain &t, const LandscapeCamera &c)
{
    std::vector<uint32_t> canvas(W * H, 0);
    const float sr = static_cast<float>(std::sin(static_cast<double>(c.rot)));
    const float cr = static_cast<float>(std::cos(static_cast<double>(c.rot)));
    if (!(c.dist > 1.0f))
        return canvas;
    float z = 1.0f;
    float dz = 0.001f;
    do {
        const float zs = z * sr, zc = z * cr;
        const float lx = c.x - (zs + zc), ly = (zs - zc) + c.y;
        const float rx = (zc - zs) + c.x, ry = c.y - (zs + zc);
        const float dx = (rx - lx) / 320.0f, dy = (ry - ly) / 320.0f;
        const double e = std::cos(std::sin(static_cast<double>(z) * 0.01)) * static_cast<double>(c.h);
        float px = lx, py = ly;
        for (int i = 0; i < W; ++i) {
            const int row = to_int32(py) & 1023;
            const int col = to_int32(px) & 1023;
            const double v = ((e - t.heights[row * MAP + col]) / static_cast<double>(z)) * c.scaleh + c.hori;
            long long top = 200 + 2 * static_cast<long long>(to_int32(v));
            top = std::clamp(top, 0LL, 200LL);
            if (top < 200)
                for (long long r = std::max(top - 1, 0LL); r <= 198; ++r)
                    canvas[r * W + i] = t.colours[row * MAP + col];
            px += dx;
            py += dy;
        }
        z = z + dz;
        dz = static_cast<float>(static_cast<double>(dz) + 0.01);
    } while (c.dist > z);
    return canvas;
}

const uint32_t kColour = 0xFF123456u;

TEST(LandscapeFirstSlice, WorkedHeights)
{
    // One slice (z = 1), eye E = cos(sin(0.01)) * 100 = 99.995.
    Terrain t;
    t.fill(150, kColour); // v = -50.005, t = -50, T = 100: rows 99..198
    auto canvas = render(t, camera(512.5f, 512.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    for (int i = 0; i < W; ++i)
        expect_column(canvas, i, 99, kColour);

    t.fill(200, kColour); // T = 0: rows 0..198
    canvas = render(t, camera(512.5f, 512.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    for (int i = 0; i < W; ++i)
        expect_column(canvas, i, 0, kColour);

    t.fill(99, kColour); // v = 0.995, t = 0, T = 200: nothing
    canvas = render(t, camera(512.5f, 512.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    EXPECT_TRUE(std::all_of(canvas.begin(), canvas.end(), [](uint32_t p) { return p == 0; }));
}

TEST(LandscapeFirstSlice, ScaleAndHorizonMoveTheStripTop)
{
    Terrain t;
    t.fill(150, kColour);
    // scaleh 0.5: v = -25.0025, t = -25, T = 150, rows 149..198.
    auto canvas = render(t, camera(5.5f, 5.5f, 1.0005f, 100.0f, 0.5f, 0.0f));
    expect_column(canvas, 17, 149, kColour);
    // scaleh 2: v = -100.01, T clamps to 0.
    canvas = render(t, camera(5.5f, 5.5f, 1.0005f, 100.0f, 2.0f, 0.0f));
    expect_column(canvas, 17, 0, kColour);
    // hori +30 lowers by 60 rows: v = -20.005, t = -20, T = 160, rows 159..198.
    canvas = render(t, camera(5.5f, 5.5f, 1.0005f, 100.0f, 1.0f, 30.0f));
    expect_column(canvas, 17, 159, kColour);

    // Height 99 sits 0.995 under the eye: hori -1 gives v = -0.005, which
    // truncates to 0 (nothing); hori -2 gives v = -1.005, T = 198, rows 197..198.
    t.fill(99, kColour);
    canvas = render(t, camera(5.5f, 5.5f, 1.0005f, 100.0f, 1.0f, -1.0f));
    expect_column(canvas, 17, 199, kColour);
    canvas = render(t, camera(5.5f, 5.5f, 1.0005f, 100.0f, 1.0f, -2.0f));
    expect_column(canvas, 17, 197, kColour);
}

TEST(LandscapeDistance, NotAboveOneDrawsNothing)
{
    Terrain t;
    t.fill(255, kColour); // would fill every column to the top
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float dist : {1.0f, 0.5f, 0.0f, -100.0f, nan, -std::numeric_limits<float>::infinity()}) {
        auto canvas = render(t, camera(1.5f, 1.5f, dist, 0.0f, 1.0f, 0.0f));
        EXPECT_TRUE(std::all_of(canvas.begin(), canvas.end(), [](uint32_t p) { return p == 0; }))
            << "dist " << dist;
        EXPECT_EQ(landscape_slice_count(dist), 0);
    }
}

TEST(LandscapeDistance, SlightlyAboveOneIsExactlyOneSlice)
{
    // From y = 2.0005 the slice z = 1 samples map row 1 (y - z = 1.0005) and
    // the slice z = 1.001 map row 0 (0.9995).
    Terrain t;
    t.set_row(1, 150, 0xFFAA0000u);
    t.set_row(0, 200, 0xFF00BB00u);
    auto one = render(t, camera(600.5f, 2.0005f, 1.0005f, 100.0f, 1.0f, 0.0f));
    for (int i = 0; i < W; i += 29)
        expect_column(one, i, 99, 0xFFAA0000u);
    // Up to 1.002 there are two slices (z = 1, 1.001; the next is 1.012): the
    // farther one overwrites the nearer. At z = 1.001, E = 99.99499 and
    // v = (E - 200) / 1.001 = -99.905: t = -99, T = 2, rows 1..198.
    auto two = render(t, camera(600.5f, 2.0005f, 1.002f, 100.0f, 1.0f, 0.0f));
    for (int i = 0; i < W; i += 29)
        expect_column(two, i, 1, 0xFF00BB00u);
}

TEST(LandscapeDistance, SliceDistancesFollowTheForwardWalk)
{
    float z = 1.0f, dz = 0.001f;
    for (int k = 0; k < 5000; ++k) {
        ASSERT_EQ(landscape_slice_z(k), z) << "slice " << k;
        z = z + dz;
        dz = static_cast<float>(static_cast<double>(dz) + 0.01);
    }
    // The first distances: 1, 1.001, 1.012, 1.033.
    EXPECT_NEAR(landscape_slice_z(1), 1.001f, 1e-6f);
    EXPECT_NEAR(landscape_slice_z(2), 1.012f, 1e-6f);
    EXPECT_NEAR(landscape_slice_z(3), 1.033f, 1e-6f);
    // The walk goes on while dist > z.
    const float z1 = landscape_slice_z(1);
    EXPECT_EQ(landscape_slice_count(z1), 1);
    EXPECT_EQ(landscape_slice_count(std::nextafter(z1, 2.0f)), 2);
    EXPECT_EQ(landscape_slice_count(std::nextafter(1.0f, 2.0f)), 1);
    // About sqrt(200 D) slices for a distance D: 600 needs about 346.
    EXPECT_NEAR(landscape_slice_count(600.0f), 346, 3);
}

TEST(LandscapeDistance, HugeDistanceIsCutAtTheTableEnd)
{
    Terrain t;
    t.fill(150, kColour);
    EXPECT_EQ(landscape_slice_count(1e30f), LANDSCAPE_MAX_SLICES);
    EXPECT_EQ(landscape_slice_count(std::numeric_limits<float>::infinity()), LANDSCAPE_MAX_SLICES);
    for (int k = 1; k < LANDSCAPE_MAX_SLICES; ++k)
        ASSERT_LT(landscape_slice_z(k - 1), landscape_slice_z(k)) << "slice " << k;
    // Flat terrain 50 under the eye: the nearest slice reaches row 99 and
    // every farther one lower, so the picture is that of the first slice.
    auto canvas = render(t, camera(7.5f, 7.5f, 1e30f, 100.0f, 1.0f, 0.0f));
    for (int i = 0; i < W; i += 31)
        expect_column(canvas, i, 99, kColour);
}

TEST(LandscapeSampling, NegativeAndFarPositionsWrapEvery1024Cells)
{
    // Map column 0: height 150 (strip from row 99); column 1023: height 200
    // (strip from row 0); everything else below the eye.
    Terrain t;
    t.set_column(0, 150, 0xFF0000AAu);
    t.set_column(1023, 200, 0xFF00AA00u);
    // x = 0.5: column 0 samples x - 1 = -0.5, cell 0; x stays in (-1, 1)
    // up to about column 239, then reaches cell 1 (height 0, nothing).
    auto canvas = render(t, camera(0.5f, 3.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    for (int i : {0, 1, 100, 230})
        expect_column(canvas, i, 99, 0xFF0000AAu);
    for (int i : {250, 319})
        expect_column(canvas, i, 199, 0);
    // x = -0.5: column 0 samples -1.5, cell 1023, up to column 79 (-1.00625);
    // from column 82 on x lies in (-1, 1), cell 0.
    canvas = render(t, camera(-0.5f, 3.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    for (int i : {0, 40, 78})
        expect_column(canvas, i, 0, 0xFF00AA00u);
    for (int i : {82, 200, 319})
        expect_column(canvas, i, 99, 0xFF0000AAu);
    // Far away in both directions the same cells come back: x - 1 starts at
    // 37888.5 and at -37888.5, both cell 0. (At that size a float steps in
    // 1/256, so x drifts by 1/128 per column and stays in the cell for about
    // 60 columns.)
    canvas = render(t, camera(37 * 1024 + 1.5f, 3.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    for (int i : {0, 20, 40})
        expect_column(canvas, i, 99, 0xFF0000AAu);
    canvas = render(t, camera(-37 * 1024 + 0.5f, -5 * 1024 + 3.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    for (int i : {0, 20, 40})
        expect_column(canvas, i, 99, 0xFF0000AAu);
    // Row direction: y = 0.5 samples row -0.5 (cell 0), y = -0.5 row -1.5
    // (cell 1023).
    Terrain rows;
    rows.set_row(0, 150, 0xFF0000AAu);
    rows.set_row(1023, 200, 0xFF00AA00u);
    canvas = render(rows, camera(300.5f, 0.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    expect_column(canvas, 160, 99, 0xFF0000AAu);
    canvas = render(rows, camera(300.5f, -0.5f, 1.0005f, 100.0f, 1.0f, 0.0f));
    expect_column(canvas, 160, 0, 0xFF00AA00u);
}

TEST(LandscapePainter, FarToNearEqualsNearToFarForRandomCameras)
{
    std::mt19937 rng(20190401);
    Terrain t;
    // Smooth hills plus noise, and a colour unique to every cell.
    for (int r = 0; r < MAP; ++r)
        for (int c = 0; c < MAP; ++c) {
            const double hill = 128 + 100 * std::sin(r * 0.02) * std::cos(c * 0.03);
            t.heights[r * MAP + c] = static_cast<uint32_t>(hill) + rng() % 20;
            t.colours[r * MAP + c] = 0xFF000000u | static_cast<uint32_t>(r << 10 | c);
        }
    std::uniform_real_distribution<float> pos(-5000.0f, 5000.0f), rot(-20.0f, 20.0f),
        dist(0.5f, 700.0f), eye(0.0f, 300.0f), hori(-30.0f, 30.0f), scale(-2.0f, 40.0f);
    int partial_pictures = 0;
    for (int n = 0; n < 16; ++n) {
        LandscapeCamera cam{pos(rng), pos(rng), rot(rng), dist(rng), eye(rng), hori(rng), scale(rng)};
        if (n == 0)
            cam = LandscapeCamera{100.0f, 200.0f, 0.3f, 600.0f, 220.0f, -10.0f, 120.0f};
        const auto fast = render(t, cam);
        const auto plain = paint_near_to_far(t, cam);
        ASSERT_EQ(fast, plain) << "camera " << n;
        const auto drawn = std::count_if(fast.begin(), fast.end(), [](uint32_t p) { return p != 0; });
        if (drawn > 0 && drawn < W * 199)
            ++partial_pictures;
        for (int i = 0; i < W; ++i)
            ASSERT_EQ(fast[199 * W + i], 0u) << "row 199, camera " << n;
    }
    // The cameras must show real landscapes: strips of many heights.
    EXPECT_GE(partial_pictures, 8);
}

TEST(LandscapePainter, FarToNearEqualsNearToFarForEdgeCameras)
{
    // Track values a careless timeline can produce: NaN and infinite angles,
    // heights and scales, a zero or negative scale, a huge horizon either
    // way, positions beyond the 32-bit range. Whatever the picture is, the
    // two painters must agree pixel for pixel.
    std::mt19937 rng(7);
    Terrain t;
    for (int r = 0; r < MAP; ++r)
        for (int c = 0; c < MAP; ++c) {
            t.heights[r * MAP + c] = rng() % 256;
            t.colours[r * MAP + c] = 0xFF000000u | static_cast<uint32_t>(r << 10 | c);
        }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    //                  x        y       rot    dist    h      hori    scaleh
    const LandscapeCamera cams[] = {
        {300.5f, 40.25f, nan, 120.0f, 150.0f, -5.0f, 30.0f},
        {300.5f, 40.25f, inf, 120.0f, 150.0f, -5.0f, 30.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, nan, -5.0f, 30.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, inf, -5.0f, 30.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, 150.0f, -5.0f, nan},
        {300.5f, 40.25f, 1.0f, 120.0f, 150.0f, -5.0f, 0.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, 150.0f, -0.5f, 0.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, 150.0f, 3.0f, -25.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, 150.0f, 1e12f, 30.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, 150.0f, -1e12f, 30.0f},
        {300.5f, 40.25f, 1.0f, 120.0f, 150.0f, nan, 30.0f},
        {3e9f, -3e9f, 0.7f, 120.0f, 150.0f, -5.0f, 30.0f},
        {1e20f, 2147483000.0f, 2.0f, 120.0f, 150.0f, -5.0f, 30.0f},
        {nan, 40.25f, 1.0f, 120.0f, 150.0f, -5.0f, 30.0f},
        {-inf, inf, 1.0f, 120.0f, 150.0f, -5.0f, 30.0f},
        {-77777.5f, 123456.75f, -3.0f, 300.0f, 255.0f, -40.0f, 1e6f},
    };
    for (size_t n = 0; n < sizeof cams / sizeof cams[0]; ++n)
        ASSERT_EQ(render(t, cams[n]), paint_near_to_far(t, cams[n])) << "edge camera " << n;

    // Two of them worked by hand. A NaN scale makes every v NaN, whose
    // truncation is the out-of-range value -2^31: T clamps to 0 and every
    // column is a full strip from row 0, of the farthest slice's cell.
    const auto full = render(t, cams[4]);
    for (int i = 0; i < W; ++i)
        ASSERT_NE(full[0 * W + i], 0u) << i;
    // Scale 0 with hori -0.5: v = -0.5 truncates to 0, nothing at all.
    const auto none = render(t, cams[6]);
    EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](uint32_t p) { return p == 0; }));
}

} // namespace
