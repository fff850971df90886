// The studio's pure parts: the watched timeline (good, bad, rename-saved,
// truncate-saved and briefly missing files, driven poll by poll), the
// transport's arithmetic at 150 BPM, and the window and strip geometry.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/frame.h"
#include "state/state.h"
#include "studio/editor/play_keys.h"
#include "studio/files/reload.h"
#include "studio/view/strip.h"
#include "studio/studio_args.h"
#include "sync/device.h"
#include "studio/transport.h"
#include "studio/view/view.h"
#include "studio/view/waveform.h"

namespace fs = std::filesystem;

namespace {

// A complete source: one scene key, one clear.r key, the other ten tracks
// empty.
std::string source(int scene, int clear_r)
{
    std::string t = "track scene\n  0 " + std::to_string(scene) + " hold\n";
    t += "track clear.r\n  0 " + std::to_string(clear_r) + " hold\n";
    for (const char *name : {"clear.g", "clear.b", "clear.a", "cam.rot", "cam.dist", "cam.x",
                             "cam.y", "cam.h", "cam.hori", "cam.scaleh"})
        t += std::string("track ") + name + "\n";
    return t;
}

FILE *open_nothing(const char *, const char *)
{
    return nullptr;
}

// The demo's tracks registered empty in the process-wide Tracks, as start-up
// opens them for a studio with a source; a watch on a file of its own.
struct Watched : ::testing::Test {
    fs::path dir, file;
    SyncDevice *device = nullptr;
    TimelineWatch watch;

    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("studio_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "timeline.txt";
        device = create_sync_device("sync");
        ASSERT_NE(device, nullptr);
        device->open_file = open_nothing;
        for (int i = 0; i < TRACK_COUNT; i++)
            Tracks[i] = open_track(device, TrackNames[i]);
    }
    void TearDown() override
    {
        destroy_sync_device(device);
        for (SyncTrack *&t : Tracks)
            t = nullptr;
        fs::remove_all(dir);
    }

    void write(const std::string &text, const fs::path &p)
    {
        std::ofstream f(p, std::ios::binary | std::ios::trunc);
        f << text;
    }
    // Polls once and applies a new timeline, as the studio does before a frame.
    WatchResult poll()
    {
        WatchResult r = poll_timeline_watch(&watch);
        if (watch.job) // a read started: wait for it as a later frame would
            r = finish_timeline_watch(&watch);
        if (r == WATCH_NEW_TIMELINE) {
            EXPECT_TRUE(play_version(timeline_version(watch.timeline)));
        }
        return r;
    }
    // The frame's values at 1 s of music.
    float clear_r()
    {
        update_frame_values(1.0);
        return TrackValues.clear_r;
    }
    int scene() { return scene_index_at(update_frame_values(1.0)); }
    void open(const std::string &text)
    {
        write(text, file);
        WatchResult first = WATCH_UNCHANGED;
        std::string error;
        ASSERT_TRUE(open_timeline_watch(&watch, file.string(), &first, &error)) << error;
        ASSERT_EQ(first, WATCH_NEW_TIMELINE);
        ASSERT_TRUE(play_version(timeline_version(watch.timeline)));
    }
};

TEST_F(Watched, GoodEditReachesTheValuesAtTheNextFrame)
{
    open(source(2, 10));
    EXPECT_EQ(clear_r(), 10.0f);
    EXPECT_EQ(scene(), 2);
    EXPECT_EQ(poll(), WATCH_UNCHANGED); // nothing changed, nothing taken

    write(source(5, 77), file);
    EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
    EXPECT_EQ(clear_r(), 77.0f);
    EXPECT_EQ(scene(), 5);
    EXPECT_EQ(Tracks[TRACK_CAM_X]->key_count, 0);
}

TEST_F(Watched, BadEditKeepsTheTracksAndReportsEachErrorOnce)
{
    open(source(2, 10));
    std::string bad = source(2, 10);
    bad.replace(bad.find("0 10 hold"), 9, "0 10 wobble");   // line 4
    bad += "track nosuch\n";                                 // line 15
    write(bad, file);
    // Read once it might be half-written: no errors yet, tracks as they were.
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_TRUE(watch.errors.empty());
    EXPECT_EQ(poll(), WATCH_NEW_ERRORS);
    const std::string f = file.string();
    EXPECT_NE(watch.errors.find(f + ":4: "), std::string::npos) << watch.errors;
    EXPECT_NE(watch.errors.find(f + ":15: "), std::string::npos) << watch.errors;
    EXPECT_EQ(clear_r(), 10.0f);
    // The same bad text again is not reported again.
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_FALSE(watch.errors.empty());

    write(source(3, 30), file);
    EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
    EXPECT_TRUE(watch.errors.empty());
    EXPECT_EQ(clear_r(), 30.0f);
}

TEST_F(Watched, RenameSaveTruncateSaveAndAMissingMoment)
{
    open(source(1, 10));

    // Rename-save: the new version is written beside and renamed over.
    write(source(1, 20), dir / "timeline.txt.new");
    fs::rename(dir / "timeline.txt.new", file);
    EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
    EXPECT_EQ(clear_r(), 20.0f);

    // Truncate-save caught between truncating and writing: nothing happens.
    write("", file);
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    write(source(1, 30).substr(0, 20), file); // and half-way through
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_TRUE(watch.errors.empty());
    EXPECT_EQ(clear_r(), 20.0f);
    write(source(1, 30), file);
    EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
    EXPECT_EQ(clear_r(), 30.0f);

    // Gone for a moment: tracks stay, then the same text changes nothing and
    // a new one is taken.
    fs::remove(file);
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_TRUE(watch.unreadable);
    EXPECT_EQ(clear_r(), 30.0f);
    write(source(1, 30), file);
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_FALSE(watch.unreadable);
    fs::remove(file);
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    write(source(1, 40), file);
    EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
    EXPECT_EQ(clear_r(), 40.0f);

    // A FIFO in its place must not block the frame loop.
    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_TRUE(watch.unreadable);
    EXPECT_EQ(clear_r(), 40.0f);
}

TEST_F(Watched, SourceBadAtStartShowsErrorsWithEmptyTracks)
{
    write("track scene\n 0 1 hold\n", file);
    WatchResult first = WATCH_UNCHANGED;
    std::string error;
    ASSERT_TRUE(open_timeline_watch(&watch, file.string(), &first, &error));
    EXPECT_EQ(first, WATCH_NEW_ERRORS);
    EXPECT_NE(watch.errors.find(file.string() + ":"), std::string::npos);
    EXPECT_FALSE(open_timeline_watch(&watch, (dir / "missing.txt").string(), &first, &error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos);
}

TEST_F(Watched, UnchangedLargeFilesAreNotReadAgain)
{
    // A good source with a 10 MB comment line: read and parsed once, then
    // every poll only looks at the file.
    std::string big = "# " + std::string(10u << 20, 'x') + "\n" + source(4, 44);
    open(big);
    EXPECT_EQ(watch.reads, 1u);
    EXPECT_EQ(clear_r(), 44.0f);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_EQ(watch.reads, 1u);

    // 20 MB is over the limit: not read at all, reported once, tracks kept.
    write(std::string(20u << 20, '#'), file);
    int reported = 0;
    for (int i = 0; i < 100; i++)
        reported += poll() == WATCH_READ_ERROR;
    EXPECT_LE(watch.reads, 2u);
    EXPECT_EQ(reported, 1);
    EXPECT_TRUE(watch.unreadable);
    EXPECT_NE(watch.read_error.find("larger than"), std::string::npos) << watch.read_error;
    EXPECT_EQ(clear_r(), 44.0f);
}

TEST_F(Watched, AFifoNeverBlocksTheOpenOrThePoll)
{
    // Opened directly (as when it is renamed in between a look and the
    // open): the open does not wait for a writer, the descriptor is refused.
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    WatchResult first = WATCH_UNCHANGED;
    std::string error;
    EXPECT_FALSE(open_timeline_watch(&watch, file.string(), &first, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;

    fs::remove(file);
    open(source(1, 10));
    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_EQ(poll(), WATCH_READ_ERROR); // the same reason at a second poll
    EXPECT_EQ(poll(), WATCH_UNCHANGED);  // and only once
    EXPECT_EQ(clear_r(), 10.0f);
}

// ---- Transport at 150 BPM: 20 rows a second, 8 rows a beat, 32 a bar --------

TEST(Transport, BeatAndBarStepsOnTheGrid)
{
    const double len = 175.0;
    EXPECT_DOUBLE_EQ(grid_step(20.0, 1, TimelineTempo{}, 1, len), 20.4);
    EXPECT_DOUBLE_EQ(grid_step(20.0, -1, TimelineTempo{}, 1, len), 19.6);
    EXPECT_DOUBLE_EQ(grid_step(20.0, 1, TimelineTempo{}, 4, len), 20.8);
    EXPECT_DOUBLE_EQ(grid_step(20.0, -1, TimelineTempo{}, 4, len), 19.2);
    EXPECT_DOUBLE_EQ(grid_step(20.2, -1, TimelineTempo{}, 1, len), 20.0);  // off the grid: back to its beat
    EXPECT_DOUBLE_EQ(grid_step(20.2, 1, TimelineTempo{}, 1, len), 20.4);
    EXPECT_DOUBLE_EQ(grid_step(20.05, -1, TimelineTempo{}, 1, len), 19.6); // just past a beat: the one before
    EXPECT_DOUBLE_EQ(grid_step(19.6, 1, TimelineTempo{}, 1, len), 20.0);   // 19.6 * 20 is not exactly 392
    EXPECT_DOUBLE_EQ(grid_step(20.7, -1, TimelineTempo{}, 4, len), 19.2);
    // Clamped at both ends.
    EXPECT_DOUBLE_EQ(grid_step(0.1, -1, TimelineTempo{}, 4, len), 0.0);
    EXPECT_DOUBLE_EQ(grid_step(0.0, -1, TimelineTempo{}, 1, len), 0.0);
    EXPECT_DOUBLE_EQ(grid_step(174.9, 1, TimelineTempo{}, 1, len), 175.0);
    EXPECT_DOUBLE_EQ(grid_step(175.0, 1, TimelineTempo{}, 4, 175.0), 175.0);
    EXPECT_DOUBLE_EQ(grid_step(500.0, 1, TimelineTempo{}, 1, -1.0), 500.4); // unknown length: no upper bound
    EXPECT_DOUBLE_EQ(clamp_time(-3.0, len), 0.0);
    EXPECT_DOUBLE_EQ(clamp_time(200.0, len), 175.0);
}

TEST(Transport, SceneChangeJumps)
{
    SyncKey keys[] = {{0, 7.0f, 0}, {120, 2.0f, 0}, {240, 0.0f, 0}, {3500, 3.0f, 0}};
    SyncTrack scene{const_cast<char *>("scene"), keys, 4};
    const double len = 180.0;
    EXPECT_DOUBLE_EQ(scene_change_step(7.0, 1, &scene, len), 12.0);
    EXPECT_DOUBLE_EQ(scene_change_step(7.0, -1, &scene, len), 6.0);
    EXPECT_DOUBLE_EQ(scene_change_step(6.0, 1, &scene, len), 12.0);   // from a key: the next
    EXPECT_DOUBLE_EQ(scene_change_step(6.05, -1, &scene, len), 0.0);  // just past one: the one before
    EXPECT_DOUBLE_EQ(scene_change_step(12.0, 1, &scene, len), 175.0);
    EXPECT_DOUBLE_EQ(scene_change_step(176.0, 1, &scene, len), 176.0); // none after: stays
    EXPECT_DOUBLE_EQ(scene_change_step(176.0, -1, &scene, len), 175.0);
    EXPECT_DOUBLE_EQ(scene_change_step(0.0, -1, &scene, len), 0.0);
    EXPECT_DOUBLE_EQ(scene_change_step(12.0, 1, &scene, 100.0), 100.0); // clamped at the end
    SyncTrack empty{const_cast<char *>("scene"), nullptr, 0};
    EXPECT_DOUBLE_EQ(scene_change_step(9.0, 1, &empty, len), 9.0);
    EXPECT_DOUBLE_EQ(scene_change_step(9.0, -1, &empty, len), 0.0);
}

TEST(Transport, LoopOverBarsAndItsWrap)
{
    LoopRange loop;
    press_loop(&loop, 20.5, TimelineTempo{}); // bar 12 (row 410): starts at row 384
    EXPECT_EQ(loop.stage, 1);
    EXPECT_EQ(loop.start_row, 384);
    EXPECT_DOUBLE_EQ(wrap_loop(loop, 30.0, 30.1, 175.0), 30.1); // not looping yet
    press_loop(&loop, 23.0, TimelineTempo{}); // bar 14 (row 460): the loop ends after it
    EXPECT_EQ(loop.stage, 2);
    EXPECT_EQ(loop.start_row, 384);
    EXPECT_EQ(loop.end_row, 480);

    EXPECT_DOUBLE_EQ(wrap_loop(loop, 23.95, 24.05, 175.0), 19.25); // overshoot carried over
    EXPECT_DOUBLE_EQ(wrap_loop(loop, 23.9, 23.95, 175.0), 23.95);
    EXPECT_DOUBLE_EQ(wrap_loop(loop, 23.9, 24.0, 175.0), 19.2);
    EXPECT_NEAR(wrap_loop(loop, 23.9, 29.1, 175.0), 19.2 + 0.3, 1e-9); // a long stall wraps inside
    EXPECT_DOUBLE_EQ(wrap_loop(loop, 25.0, 25.1, 175.0), 25.1);   // sought out of it: plays on
    EXPECT_DOUBLE_EQ(wrap_loop(loop, 22.9, 23.0, 23.0), 19.2);    // music ends inside the loop

    press_loop(&loop, 30.0, TimelineTempo{});
    EXPECT_EQ(loop.stage, 0);
    EXPECT_DOUBLE_EQ(wrap_loop(loop, 23.95, 24.05, 175.0), 24.05);

    // Second press in an earlier bar: the loop spans the same bars.
    press_loop(&loop, 23.0, TimelineTempo{});
    press_loop(&loop, 20.5, TimelineTempo{});
    EXPECT_EQ(loop.start_row, 384);
    EXPECT_EQ(loop.end_row, 480);
}

// ---- Window, strip, names, command line ----------------------------------------

TEST(StudioView, LetterboxStripAndNames)
{
    auto eq = [](SDL_Rect r, int x, int y, int w, int h) {
        return r.x == x && r.y == y && r.w == w && r.h == h;
    };
    EXPECT_TRUE(eq(letterbox_rect(960, 540), 0, 0, 960, 540));
    EXPECT_TRUE(eq(letterbox_rect(1000, 540), 20, 0, 960, 540));
    EXPECT_TRUE(eq(letterbox_rect(960, 600), 0, 30, 960, 540));
    EXPECT_TRUE(eq(letterbox_rect(0, 600), 0, 0, 0, 0));

    const SDL_Rect strip = strip_rect(960, 540);
    EXPECT_TRUE(eq(strip, 8, 502, 944, 30));
    EXPECT_DOUBLE_EQ(strip_time_at(strip, 8, 175.0), 0.0);
    EXPECT_DOUBLE_EQ(strip_time_at(strip, 8 + 472, 175.0), 87.5);
    EXPECT_DOUBLE_EQ(strip_time_at(strip, 2000, 175.0), 175.0);
    EXPECT_DOUBLE_EQ(strip_time_at(strip, -5, 175.0), 0.0);
    EXPECT_EQ(strip_x_of(strip, 87.5, 175.0), 480);

    SyncKey keys[] = {{0, 7.0f, 0}, {1750, 2.0f, 0}}; // 87.5 s: half way
    SyncTrack scene{const_cast<char *>("scene"), keys, 2};
    std::vector<StripRun> runs;
    sample_strip_runs(&scene, strip, 175.0, &runs);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].x0, 8);
    EXPECT_EQ(runs[0].x1, 480);
    EXPECT_EQ(runs[0].value, 7);
    EXPECT_EQ(runs[1].x1, 952);
    EXPECT_EQ(runs[1].value, 2);
}

TEST(StudioView, StripZoomSnapAndEnvelope)
{
    // 175 s shown whole; halving around 87.5 s keeps 87.5 s in the middle,
    // and a zoom never goes past the ends nor below two beats (0.8 s).
    StripSpan span{0.0, 175.0};
    span = zoom_strip(span, 0.5, 87.5, 175.0);
    EXPECT_DOUBLE_EQ(span.from, 43.75);
    EXPECT_DOUBLE_EQ(span.to, 131.25);
    span = zoom_strip(StripSpan{87.5, 175.0}, 0.5, 175.0, 175.0); // around the end
    EXPECT_DOUBLE_EQ(span.from, 131.25);
    EXPECT_DOUBLE_EQ(span.to, 175.0);
    span = zoom_strip(span, 4.0, 175.0, 175.0); // out past the start: clamped
    EXPECT_DOUBLE_EQ(span.from, 0.0);
    EXPECT_DOUBLE_EQ(span.to, 175.0);
    for (int i = 0; i < 20; i++)
        span = zoom_strip(span, 0.5, 100.0, 175.0);
    EXPECT_NEAR(span.to - span.from, 0.8, 1e-9);
    span = zoom_strip(span, 1e6, 100.0, 175.0);
    EXPECT_DOUBLE_EQ(span.from, 0.0);
    EXPECT_DOUBLE_EQ(span.to, 175.0);
    // Following the playhead: a time outside the span pages it along.
    span = follow_strip(StripSpan{0.0, 10.0}, 25.0, 175.0);
    EXPECT_DOUBLE_EQ(span.from, 24.0);
    EXPECT_DOUBLE_EQ(span.to, 34.0);
    const SDL_Rect strip = {8, 0, 100, 30};
    EXPECT_DOUBLE_EQ(strip_time_in(strip, 58, StripSpan{10.0, 20.0}), 15.0);

    // Beats are 0.4 s: 87.5 s lies nearest to 87.6 s (row 1752, 54:3).
    EXPECT_DOUBLE_EQ(snap_to_beat(87.5, TimelineTempo{}), 87.6);
    EXPECT_DOUBLE_EQ(snap_to_beat(0.1, TimelineTempo{}), 0.0);
    EXPECT_DOUBLE_EQ(snap_to_beat(-3.0, TimelineTempo{}), 0.0);

    // Two columns of 0.01 s buckets, 4 pixels high: peaks 0.5 and 1.0 give
    // bars of 2 and 4 rows about the middle.
    uint32_t px[2 * 4];
    paint_waveform({0.5f, 0.25f, 1.0f, 0.0f}, 0.01, StripSpan{0.0, 0.04}, px, 2, 4);
    const uint32_t B = 0x78000000u;
    const uint32_t expected[8] = {0, B, B, B, B, B, 0, B};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(px[i], expected[i]) << i;
}

TEST(StudioArgsTest, TimelineStartHelpAndFaultsNamed)
{
    StudioArgs a;
    std::string text;
    const char *plain[] = {"studio"};
    ASSERT_EQ(parse_studio_args(1, plain, &a, &text), STUDIO_ARGS_OK);
    EXPECT_TRUE(a.timeline.empty());
    EXPECT_EQ(a.start, 0.0);
    const char *both[] = {"studio", "--start", "24.5", "t.txt"};
    ASSERT_EQ(parse_studio_args(4, both, &a, &text), STUDIO_ARGS_OK);
    EXPECT_EQ(a.timeline, "t.txt");
    EXPECT_EQ(a.start, 24.5);
    EXPECT_TRUE(a.export_dir.empty());
    const char *exporting[] = {"studio", "t.txt", "--export", "."};
    ASSERT_EQ(parse_studio_args(4, exporting, &a, &text), STUDIO_ARGS_OK);
    EXPECT_EQ(a.export_dir, ".");

    const char *help[] = {"studio", "--help"};
    ASSERT_EQ(parse_studio_args(2, help, &a, &text), STUDIO_ARGS_HELP);
    EXPECT_NE(text.find("--start"), std::string::npos) << text;
    EXPECT_NE(text.find("TIMELINE"), std::string::npos) << text;

    // Each fault: one line naming what is wrong, then the usage line.
    const std::vector<std::pair<std::vector<const char *>, std::string>> bad = {
        {{"studio", "--start"}, "--start"},
        {{"studio", "--start", "x"}, "--start"},
        {{"studio", "--start", "nan"}, "--start"},
        {{"studio", "--start", "1", "--start", "2"}, "--start"},
        {{"studio", "a", "b"}, "b"},
        {{"studio", "--loop"}, "--loop"},
        {{"studio", "--export", "."}, "--export"}, // nothing to compile
        {{"studio", "t.txt", "--export", ""}, "--export"},
        {{"studio", "t.txt", "--export"}, "--export"},
    };
    for (const auto &[args, named] : bad) {
        ASSERT_EQ(parse_studio_args(static_cast<int>(args.size()), args.data(), &a, &text), STUDIO_ARGS_BAD)
            << args[1];
        const size_t nl = text.find('\n');
        ASSERT_NE(nl, std::string::npos);
        EXPECT_NE(text.substr(0, nl).find(named), std::string::npos) << text;
        EXPECT_EQ(text.substr(nl + 1), std::string(STUDIO_USAGE) + "\n") << text;
    }
}

} // namespace

// A section for a track a scene declares parses once the names are given
// (the studio reads them at start and after each library swap); its keys
// reach the device's track of that name.
TEST_F(Watched, content_DeclaredTrackSectionsParseOnceDeclared)
{
    write(source(2, 10) + "track fog\n  0 4 hold\n", file);
    WatchResult first = WATCH_UNCHANGED;
    std::string error;
    ASSERT_TRUE(open_timeline_watch(&watch, file.string(), &first, &error)) << error;
    EXPECT_EQ(first, WATCH_NEW_ERRORS);
    EXPECT_NE(watch.errors.find("unknown track 'fog'"), std::string::npos) << watch.errors;

    set_declared_tracks(&watch, {"fog"});
    ASSERT_EQ(poll(), WATCH_NEW_TIMELINE);
    Sync = device;
    const bool played = play_version(timeline_version(watch.timeline));
    Sync = nullptr;
    ASSERT_TRUE(played);
    const SyncTrack *fog = open_track(device, "fog");
    ASSERT_EQ(fog->key_count, 1);
    EXPECT_EQ(fog->keys[0].value, 4.0f);
    set_declared_tracks(&watch, {"fog"}); // the same names: nothing read again
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
}
