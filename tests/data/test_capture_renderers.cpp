// The opengl renderer's pictures against the software renderer's: one frame
// of every scene, captured from a fresh start by each. Needs a display (the
// end-to-end test runs it under Xvfb); skipped without one.
//
// A scene drawn as a 320 x 200 picture is compared at the centres of the
// 6 x 5.4 blocks it stretches to (the renderers may round a block's edge to a
// different window row). Where both show a plain stretched copy the values
// must be equal; where they modulated or blended, the GPU's arithmetic may
// round differently, by at most 2 per channel. The glyph field draws glyph
// copies scaled by non-integer factors straight onto the window, some over
// others: a copy's edges may land a pixel apart, and where a scaled texel's
// edge falls near a pixel centre the renderers pick a different source row
// for a run of pixels, under or over other translucent copies. There every
// window pixel must be within 2 of a pixel of the other picture at most one
// pixel away, except for at most one in a thousand (about 80 to 320 were seen).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#include "capture_fixture.h"
#include "run_program.h"
#include "scenes/scene_table.h"

namespace fs = std::filesystem;
using capture_fixture::Frame;
using capture_fixture::Rgb;
using run_program::ProcessResult;
using run_program::run_in;

namespace {

struct SceneTime {
    int scene;
    double seconds; // music time well inside the scene, with no line of text
    bool blended;   // drawn with modulation or blending somewhere on screen
    bool window;    // drawn at window resolution, not as a stretched picture
};

// From the timeline: bars of 1.6 s.
const SceneTime kScenes[] = {
    {0, 20.0, false, false}, // landscape, bar 12.5
    {1, 48.0, true, false},  // sprite chain, bar 30
    {2, 10.0, true, false},  // house reflection, bar 6.25
    {3, 75.0, true, false},  // streak window, bar 46.9
    {4, 62.0, false, false}, // sphere, bar 38.75
    {5, 84.0, true, false},  // fire, bar 52.5
    {6, 112.0, true, true},  // glyph field, bar 70
    {7, 8.5, false, false},  // image sequence, bar 5.3
};


bool have_display()
{
    const char *driver = std::getenv("SDL_VIDEODRIVER");
    return std::getenv("DISPLAY") && !(driver && std::strcmp(driver, "dummy") == 0);
}

int difference(Rgb a, Rgb b)
{
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// Largest difference over the 320 x 200 block centres; `differing` counts
// the blocks that are not equal.
int block_difference(const Frame &a, const Frame &b, int *differing)
{
    int worst = 0;
    *differing = 0;
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            const int d = difference(a.block(x, y), b.block(x, y));
            worst = std::max(worst, d);
            *differing += d != 0;
        }
    return worst;
}

// Window pixels of `a` that differ by more than 2 from every pixel of `b`
// at most one pixel away.
int pixels_without_near_match(const Frame &a, const Frame &b)
{
    int count = 0;
    for (int y = 0; y < a.h; y++)
        for (int x = 0; x < a.w; x++) {
            int best = 255;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    const int u = x + dx, v = y + dy;
                    if (u >= 0 && v >= 0 && u < b.w && v < b.h)
                        best = std::min(best, difference(a.at(x, y), b.at(u, v)));
                }
            count += best > 2;
        }
    return count;
}

} // namespace

TEST(CaptureRenderers, OpenglPicturesAgreeWithSoftwareInEveryScene)
{
    if (!have_display())
        GTEST_SKIP() << "no display for the opengl renderer";
    const fs::path work = fs::temp_directory_path() / ("capture_renderers_" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    for (const auto &entry : fs::directory_iterator(DEMO_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".track"))
            fs::copy_file(entry.path(), work / name);
    }
    ASSERT_EQ(std::size(kScenes), SceneTable.size()) << "one frame of every scene";
    const std::string capture = std::string(DEMO_DIR) + "/capture";
    for (const SceneTime &s : kScenes) {
        Frame pictures[2];
        const char *renderers[2] = {"software", "opengl"};
        for (int k = 0; k < 2; k++) {
            const std::string dir = std::string(renderers[k]) + std::to_string(s.scene);
            ProcessResult r = run_in(work, "SDL_VIDEODRIVER= " + capture + " --renderer " +
                                               renderers[k] + " --out " + dir + " --start " +
                                               std::to_string(s.seconds));
            ASSERT_EQ(r.status, 0) << renderers[k] << " scene " << s.scene << ": " << r.out << r.err;
            ASSERT_TRUE(capture_fixture::read_png(work / dir / "frame-000000.png", &pictures[k]));
        }
        if (s.window) {
            const int allowed = pictures[0].w * pictures[0].h / 1000;
            EXPECT_LE(pixels_without_near_match(pictures[0], pictures[1]), allowed) << SceneTable[s.scene].name;
            EXPECT_LE(pixels_without_near_match(pictures[1], pictures[0]), allowed) << SceneTable[s.scene].name;
        } else {
            int differing = 0;
            EXPECT_LE(block_difference(pictures[0], pictures[1], &differing), s.blended ? 2 : 0)
                << SceneTable[s.scene].name << ": " << differing << " blocks differ";
        }
    }
    fs::remove_all(work);
}
