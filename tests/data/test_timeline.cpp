// test_timeline.cpp - the compiled timeline in the demo directory: every
// scene and every overlay line on screen long enough, scene changes on bar
// lines, the whole music covered, the camera flying smoothly, and the files
// matching data/timeline.txt. Values are read the way the frame loop reads
// them: track_value_at at the Row, narrowed to float, truncated toward zero.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/convert.h"
#include "common/read_file.h"
#include "sync/track.h"
#include "timeline/timeline.h"

namespace {

constexpr int MUSIC_END_ROW = 3456; // 108 bars, 172.8 s
constexpr int FILE_END_ROW = 3500;  // 175.0 s, where the music file ends
constexpr int MIN_SCENE_ROWS = 160; // 8 s
constexpr int MIN_LINE_ROWS = 50;   // 2.5 s

// The overlay's selector values and the part of the music each belongs in.
const int TitleLines[] = {1, 2};
const int CaptionLines[] = {16, 17, 18};
const int JudgementLines[] = {32, 33, 34};
const int CreditLines[] = {50, 51, 52, 53, 54};

// One track read from the demo directory, usable by track_value_at.
struct LoadedTrack {
    std::vector<SyncKey> file_keys;
    SyncTrack track{};
    std::string bytes;
};

LoadedTrack Tracks[TIMELINE_TRACK_COUNT];
bool TracksLoaded = false;
std::string LoadError;

void load_tracks()
{
    if (TracksLoaded)
        return;
    TracksLoaded = true;
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        LoadedTrack &t = Tracks[i];
        const std::string path = track_output_path(DEMO_DIR, TimelineTrackNames[i]);
        std::string error;
        if (!read_whole_file(path, 1u << 20, &t.bytes, &error) ||
            !decode_track(reinterpret_cast<const uint8_t *>(t.bytes.data()), t.bytes.size(), &t.file_keys,
                          &error)) {
            LoadError += path + ": " + error + "\n";
            continue;
        }
        t.track.name = const_cast<char *>(TimelineTrackNames[i]);
        t.track.keys = t.file_keys.data();
        t.track.key_count = static_cast<int32_t>(t.file_keys.size());
    }
}

class TimelineData : public ::testing::Test {
protected:
    void SetUp() override
    {
        load_tracks();
        ASSERT_EQ(LoadError, "");
    }
};

// A TrackValue as the frame loop has it at `row`.
float value_at(const char *name, double row)
{
    return static_cast<float>(track_value_at(&Tracks[find_timeline_track(name)].track, row));
}

int scene_at(double row)
{
    return to_int32(track_value_at(&Tracks[find_timeline_track("scene")].track, row));
}

int line_at(double row)
{
    return to_int32(value_at("clear.a", row));
}

std::string quote(const std::string &s)
{
    return "'" + s + "'";
}

int run(const std::string &command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST_F(TimelineData, EveryTrackCoversTheWholeMusic)
{
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        const std::vector<SyncKey> &k = Tracks[i].file_keys;
        ASSERT_FALSE(k.empty()) << TimelineTrackNames[i];
        EXPECT_LE(k.front().row, 0) << TimelineTrackNames[i];
        EXPECT_GE(k.back().row, FILE_END_ROW) << TimelineTrackNames[i];
    }
}

TEST_F(TimelineData, EverySceneShowsLongEnoughAndChangesOnBarLines)
{
    std::map<int, int> rows_per_scene;
    for (int r = 0; r < FILE_END_ROW; r++) {
        const int s = scene_at(r);
        ASSERT_GE(s, 0) << "row " << r;
        ASSERT_LE(s, 7) << "row " << r;
        rows_per_scene[s]++;
        if (r > 0 && s != scene_at(r - 1)) {
            EXPECT_EQ(r % ROWS_PER_BAR, 0) << "scene change at row " << r;
        }
        // Inside a row the scene is that of the row: nothing changes between
        // the bar lines, whatever fraction of a row a frame falls on.
        EXPECT_EQ(scene_at(r + 0.5), s) << "row " << r;
        EXPECT_EQ(scene_at(r + 0.999), s) << "row " << r;
    }
    for (int s = 0; s <= 7; s++)
        EXPECT_GE(rows_per_scene[s], MIN_SCENE_ROWS) << "scene " << s;
}

TEST_F(TimelineData, EveryOverlayLineIsReadableAtItsMoment)
{
    const std::set<int> all = {1, 2, 16, 17, 18, 32, 33, 34, 50, 51, 52, 53, 54};
    std::map<int, int> rows_per_line, first_row, last_row;
    for (int r = 0; r < FILE_END_ROW; r++) {
        const int line = line_at(r);
        EXPECT_TRUE(line == 0 || all.count(line)) << "row " << r << " selects " << line;
        EXPECT_EQ(line_at(r + 0.5), line) << "row " << r;
        if (line == 0)
            continue;
        if (!rows_per_line.count(line))
            first_row[line] = r;
        rows_per_line[line]++;
        last_row[line] = r;
    }
    for (int line : all)
        EXPECT_GE(rows_per_line[line], MIN_LINE_ROWS) << "line " << line;

    // Titles in the first fifth, the judgement lines around the middle,
    // credits and greeting in the last fifth; the groups in order.
    for (int line : TitleLines)
        EXPECT_LT(last_row[line], MUSIC_END_ROW / 5) << "line " << line;
    for (int line : CaptionLines) {
        EXPECT_GT(first_row[line], last_row[2]) << "line " << line;
        EXPECT_LT(last_row[line], first_row[32]) << "line " << line;
    }
    for (int line : JudgementLines) {
        EXPECT_GT(first_row[line], MUSIC_END_ROW * 3 / 10) << "line " << line;
        EXPECT_LT(last_row[line], MUSIC_END_ROW * 7 / 10) << "line " << line;
    }
    for (int line : CreditLines)
        EXPECT_GT(first_row[line], MUSIC_END_ROW * 4 / 5) << "line " << line;
    EXPECT_LT(first_row[50], first_row[53]);
    EXPECT_LT(first_row[53], first_row[54]);
    // The greeting is the last word: it is up when the music ends.
    EXPECT_EQ(line_at(MUSIC_END_ROW), 54);
}

TEST_F(TimelineData, TheLastPictureHoldsFromTheEndOfTheMusic)
{
    const int last_scene = scene_at(MUSIC_END_ROW);
    for (int r = MUSIC_END_ROW; r <= FILE_END_ROW + 100; r++)
        ASSERT_EQ(scene_at(r), last_scene) << "row " << r;
    // From the end of the file on nothing moves any more.
    for (const char *name : TimelineTrackNames)
        EXPECT_EQ(value_at(name, FILE_END_ROW), value_at(name, FILE_END_ROW + 1000.5)) << name;
}

TEST_F(TimelineData, AllFourInterpolationKindsAreUsed)
{
    std::set<int> kinds;
    for (const LoadedTrack &t : Tracks)
        for (size_t k = 0; k + 1 < t.file_keys.size(); k++) // the last key's kind is never used
            kinds.insert(t.file_keys[k].kind);
    EXPECT_EQ(kinds, (std::set<int>{INTERP_HOLD, INTERP_LINEAR, INTERP_SMOOTH, INTERP_QUADRATIC}));
}

TEST_F(TimelineData, LandscapeCameraFliesSmoothlyAboveTheGround)
{
    int landscape_rows = 0;
    for (int r = 0; r < FILE_END_ROW; r++) {
        if (scene_at(r) != 0)
            continue;
        landscape_rows++;
        EXPECT_GT(value_at("cam.dist", r), 1.0f) << "row " << r; // something is drawn
        EXPECT_GE(value_at("cam.h", r), 150.0f) << "row " << r;
        EXPECT_LE(value_at("cam.h", r), 255.0f) << "row " << r;
        EXPECT_GT(value_at("cam.scaleh", r), 0.0f) << "row " << r;
        EXPECT_LT(value_at("cam.hori", r), -20.0f) << "row " << r;
        if (r == 0 || scene_at(r - 1) != 0)
            continue; // a cut may jump
        // No jumps within a flight: at most a few cells, a small turn and a
        // small change of height per row.
        EXPECT_LE(std::fabs(value_at("cam.x", r) - value_at("cam.x", r - 1)), 3.0f) << "row " << r;
        EXPECT_LE(std::fabs(value_at("cam.y", r) - value_at("cam.y", r - 1)), 3.0f) << "row " << r;
        EXPECT_LE(std::fabs(value_at("cam.rot", r) - value_at("cam.rot", r - 1)), 0.05f) << "row " << r;
        EXPECT_LE(std::fabs(value_at("cam.h", r) - value_at("cam.h", r - 1)), 2.0f) << "row " << r;
    }
    EXPECT_GE(landscape_rows, MIN_SCENE_ROWS);
}

TEST_F(TimelineData, FireShowsEveryOverlay)
{
    // cam.hori below 0: house lines; exactly 0 and 1: the two images;
    // between: dissolve; above 1: no overlay.
    bool house = false, smear1 = false, smear2 = false, dissolve = false, bare = false;
    for (int r = 0; r < FILE_END_ROW; r++) {
        if (scene_at(r) != 5)
            continue;
        for (double f : {0.0, 0.5}) {
            const float v = value_at("cam.hori", r + f);
            house |= v < 0.0f;
            smear1 |= v == 0.0f;
            smear2 |= v == 1.0f;
            dissolve |= v > 0.0f && v < 1.0f;
            bare |= v > 1.0f;
        }
    }
    EXPECT_TRUE(house);
    EXPECT_TRUE(smear1);
    EXPECT_TRUE(smear2);
    EXPECT_TRUE(dissolve);
    EXPECT_TRUE(bare);
}

TEST_F(TimelineData, StreakWindowIsNotMultipliedToBlack)
{
    // The streak scene multiplies the window by the clear colour.
    for (int r = 0; r < FILE_END_ROW; r++)
        if (scene_at(r) == 3) {
            EXPECT_GE(channel_from_value(value_at("clear.r", r)), 100) << "row " << r;
        }
}

TEST_F(TimelineData, FilesMatchTheSourceAndSurviveTheRoundTrip)
{
    const std::string dir = std::filesystem::temp_directory_path().string() + "/timeline_data_test_" +
                            std::to_string(static_cast<long>(getpid()));
    std::string errors;
    ASSERT_TRUE(compile_timeline_file(std::string(SOURCE_DIR) + "/data/timeline.txt", dir, &errors)) << errors;

    // Dump every demo file and compile the dumps again.
    std::string dumped;
    for (const char *name : TimelineTrackNames) {
        std::string text, error;
        ASSERT_TRUE(dump_track_file(track_output_path(DEMO_DIR, name), "", &text, &error)) << error;
        dumped += text;
    }
    Timeline again;
    ASSERT_TRUE(parse_timeline(dumped, "dump", &again, &errors)) << errors;

    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        std::string fresh, error;
        ASSERT_TRUE(read_whole_file(track_output_path(dir, TimelineTrackNames[i]), 1u << 20, &fresh, &error));
        EXPECT_EQ(fresh, Tracks[i].bytes) << "stale " << TimelineTrackNames[i];
        const std::vector<uint8_t> re = encode_track(again.tracks[i].keys);
        EXPECT_EQ(std::string(re.begin(), re.end()), Tracks[i].bytes) << TimelineTrackNames[i];
    }
    std::filesystem::remove_all(dir);
}

TEST(TimelineTool, CommandLine)
{
    const std::string tool = std::string(TOOLS_DIR) + "/timeline";
    const std::string dir = std::filesystem::temp_directory_path().string() + "/timeline_tool_test_" +
                            std::to_string(static_cast<long>(getpid()));
    std::filesystem::create_directories(dir + "/out");

    // dump prints what the library formats.
    const std::string scene = track_output_path(DEMO_DIR, "scene");
    ASSERT_EQ(run(quote(tool) + " dump " + quote(scene) + " > " + quote(dir + "/scene.txt")), 0);
    std::string printed, expected, error;
    ASSERT_TRUE(read_whole_file(dir + "/scene.txt", 1u << 20, &printed, &error));
    ASSERT_TRUE(dump_track_file(scene, "", &expected, &error));
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(printed.substr(0, 12), "track scene\n");

    // A bad source: status 1, the message on standard error, nothing written.
    FILE *f = std::fopen((dir + "/bad.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("track scene\n  0 7 hold\ntrack xyz\n", f);
    std::fclose(f);
    EXPECT_EQ(run(quote(tool) + " compile " + quote(dir + "/bad.txt") + " " + quote(dir + "/out") + " 2> " +
                  quote(dir + "/err.txt")),
              1);
    std::string err;
    ASSERT_TRUE(read_whole_file(dir + "/err.txt", 1u << 20, &err, &error));
    EXPECT_EQ(err.substr(0, err.find('\n')), dir + "/bad.txt:3: unknown track 'xyz'");
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/out"));

    // A damaged file: status 1.
    EXPECT_EQ(run(quote(tool) + " dump " + quote(dir + "/bad.txt") + " 2> /dev/null"), 1);

    // --help: status 0, the commands and their arguments on standard output.
    const std::string out = quote(dir + "/out.txt"), err_file = quote(dir + "/err.txt");
    EXPECT_EQ(run(quote(tool) + " --help > " + out), 0);
    ASSERT_TRUE(read_whole_file(dir + "/out.txt", 1u << 20, &printed, &error));
    EXPECT_NE(printed.find("compile"), std::string::npos) << printed;
    EXPECT_NE(printed.find("dump"), std::string::npos) << printed;
    EXPECT_EQ(run(quote(tool) + " dump --help > " + out), 0);
    ASSERT_TRUE(read_whole_file(dir + "/out.txt", 1u << 20, &printed, &error));
    EXPECT_NE(printed.find("NAME"), std::string::npos) << printed;

    // A wrong command line: status 2, one line saying what is wrong, then
    // the usage.
    const std::pair<std::string, std::string> wrong[] = {
        {"", "timeline: missing command: compile or dump"},
        {" build x y", "timeline: unknown command 'build': compile or dump"},
        {" compile only-one-argument", "timeline: OUT_DIR is required"},
        {" dump a b c", "timeline: The following argument was not expected: c"},
        {" dump a --frames", "timeline: The following argument was not expected: --frames"},
    };
    for (const auto &[args, message] : wrong) {
        EXPECT_EQ(run(quote(tool) + args + " 2> " + err_file), 2) << args;
        ASSERT_TRUE(read_whole_file(dir + "/err.txt", 1u << 20, &err, &error));
        EXPECT_EQ(err.substr(0, err.find('\n')), message) << args;
        EXPECT_EQ(err.substr(err.find('\n') + 1, 7), "usage: ") << args;
    }
    std::filesystem::remove_all(dir);
}
