// scene_times: the release's screenshot times from the "scene" track of the
// working directory and the names of the scene table.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "run_program.h"
#include "sync/track_file.h"

using run_program::ProcessResult;
using run_program::run_in;

namespace {

class SceneTimes : public run_program::DemoWorkDir {
protected:
    ProcessResult run() { return run_in(work, std::string("'") + TOOLS_DIR + "/scene_times'"); }
    void write_scene_track(const std::vector<SyncKey> &keys)
    {
        const std::vector<uint8_t> bytes = encode_track(keys);
        std::ofstream(work / "sync_scene.track", std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};

} // namespace

// The shipped timeline, worked from its scene keys by hand (bars of 32 rows,
// 20 rows a second): the sequence holds bars 0-5 (rows 0-192, middle 4.8 s),
// the house 6-11 (14.4 s), the landscape 12-27 (32 s), the sprite chain
// 28-35 (51.2 s), the sphere 36-43 (64 s), the streaks 44-51 (76.8 s), the
// fire 52-67 (96 s) and the glyph field 68-73 (113.6 s); later stretches of
// a scene do not count.
TEST_F(SceneTimes, ShippedTimeline)
{
    const ProcessResult r = run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "4.8 sequence\n14.4 house\n32 landscape\n51.2 sprite-drip\n64 sphere\n"
                     "76.8 streak\n96 fire\n113.6 glyph-field\n");
    EXPECT_EQ(r.err, "");
}

// Values outside the table show no scene and end a stretch; a fraction is
// truncated toward zero as the frame does (3.9 is scene 3, -0.5 is 0); the
// last key's stretch ends one row after it; scenes never selected are left out.
TEST_F(SceneTimes, StretchesOfAHandMadeTrack)
{
    write_scene_track({{0, 9.0f, INTERP_HOLD},
                       {10, 3.9f, INTERP_HOLD},
                       {30, 8.0f, INTERP_HOLD},
                       {40, 3.0f, INTERP_HOLD},
                       {50, -0.5f, INTERP_HOLD},
                       {59, -0.5f, INTERP_HOLD}});
    const ProcessResult r = run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 streak\n2.75 landscape\n");
}

TEST_F(SceneTimes, NoSceneTrackIsAnError)
{
    std::filesystem::remove(work / "sync_scene.track");
    const ProcessResult r = run();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("scene_times: the \"scene\" track selects no scene"), std::string::npos) << r.err;
}
