// The opengl renderer's pictures against the software renderer's: one frame
// of every scene, captured from a fresh start by each. Needs a display (the
// end-to-end test runs it under Xvfb); skipped without one.
//
// Compared at the centres of the 6 x 5.4 blocks that a 320 x 200 picture
// stretches to (the renderers may round a block's edge to a different window
// row). Where both renderers show a plain stretched copy the values must be
// equal; where they modulated or blended, GPU-style arithmetic may round
// differently, by at most 2 per channel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "capture_fixture.h"
#include "run_program.h"

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
};

// From the timeline: bars of 1.6 s.
const SceneTime kScenes[] = {
    {0, 20.0, false},  // landscape, bar 12.5
    {1, 48.0, true},   // sprite chain, bar 30
    {2, 10.0, true},   // house reflection, bar 6.25
    {3, 75.0, true},   // streak window, bar 46.9
    {4, 62.0, false},  // sphere, bar 38.75
    {5, 84.0, true},   // fire, bar 52.5
    {6, 112.0, true},  // glyph field, bar 70
    {7, 8.5, false},   // image sequence, bar 5.3
};

bool have_display()
{
    const char *driver = std::getenv("SDL_VIDEODRIVER");
    return std::getenv("DISPLAY") && !(driver && std::strcmp(driver, "dummy") == 0);
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
        int worst = 0, differing = 0;
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 320; x++) {
                const Rgb a = pictures[0].block(x, y), b = pictures[1].block(x, y);
                const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
                worst = std::max(worst, d);
                differing += d != 0;
            }
        EXPECT_LE(worst, s.blended ? 2 : 0) << "scene " << s.scene << ": " << differing << " blocks differ";
    }
    fs::remove_all(work);
}
