// The offline renderer's command line: defaults, values and refusals.
#include <gtest/gtest.h>

#include <vector>

#include "capture_args.h"
#include "progress.h"

namespace {

bool parse(std::vector<const char *> words, CaptureArgs *out)
{
    words.insert(words.begin(), "capture");
    return parse_capture_args(static_cast<int>(words.size()), words.data(), out);
}

} // namespace

TEST(CaptureArgs, DefaultsAndGivenValues)
{
    CaptureArgs a;
    ASSERT_TRUE(parse({"--out", "shots"}, &a));
    EXPECT_EQ(a.out_dir, "shots");
    EXPECT_EQ(a.output, CaptureOutput::Png);
    EXPECT_EQ(a.renderer, CaptureRenderer::Software);
    EXPECT_EQ(a.start, 0.0);
    EXPECT_EQ(a.frames, 1);
    EXPECT_EQ(a.fps, 60.0);

    ASSERT_TRUE(parse({"--fps", "30", "--frames", "12", "--start", "-1.25", "--out", "o"}, &a));
    EXPECT_EQ(a.out_dir, "o");
    EXPECT_EQ(a.start, -1.25);
    EXPECT_EQ(a.frames, 12);
    EXPECT_EQ(a.fps, 30.0);
}

TEST(CaptureArgs, RefusesMalformedMissingAndRepeated)
{
    CaptureArgs a;
    const std::vector<std::vector<const char *>> bad = {
        {},
        {"--out"},
        {"--start", "1"},                          // no --out
        {"--out", ""},
        {"--out", "a", "--out", "b"},
        {"--out", "a", "--frames", "0"},
        {"--out", "a", "--frames", "-3"},
        {"--out", "a", "--frames", "2.5"},
        {"--out", "a", "--frames", "99999999999999999999"},
        {"--out", "a", "--fps", "0"},
        {"--out", "a", "--fps", "-60"},
        {"--out", "a", "--fps", "nan"},
        {"--out", "a", "--start", "inf"},
        {"--out", "a", "--start", "1e999"},
        {"--out", "a", "--start", "12abc"},
        {"--out", "a", "--start", ""},
        {"--out", "a", "--verbose", "1"},
        {"--out", "a", "extra"},
        // Exactly one of --out and --video; a known container; CRF in range.
        {"--out", "a", "--video", "v.mp4"},
        {"--video", "v.mp4", "--video", "w.mp4"},
        {"--video", "v.mkv"},
        {"--video", "v"},
        {"--video", ".mp4"},
        {"--video", "mp4"},
        {"--video", ""},
        {"--out", "a", "--quality", "18"},
        {"--video", "v.mp4", "--quality", "52"},
        {"--video", "v.webm", "--quality", "64"},
        {"--video", "v.mp4", "--quality", "-1"},
        {"--video", "v.mp4", "--quality", "18.5"},
        {"--video", "v.mp4", "--renderer", "opengles2"},
        {"--video", "v.mp4", "--renderer", ""},
        {"--video", "v.mp4", "--fps", "1001"},
    };
    for (const auto &words : bad)
        EXPECT_FALSE(parse(words, &a)) << (words.empty() ? "(none)" : words.back());
}

TEST(CaptureArgs, VideoContainerQualityAndRenderer)
{
    CaptureArgs a;
    ASSERT_TRUE(parse({"--video", "demo.mp4"}, &a));
    EXPECT_EQ(a.output, CaptureOutput::Mp4);
    EXPECT_EQ(a.video_path, "demo.mp4");
    EXPECT_EQ(a.frames, 0); // to the end of the music
    EXPECT_EQ(a.fps, 60.0);
    EXPECT_EQ(a.quality, 18);

    ASSERT_TRUE(parse({"--video", "out/Demo.WEBM", "--frames", "30", "--fps", "30", "--start",
                       "24", "--renderer", "opengl"},
                      &a));
    EXPECT_EQ(a.output, CaptureOutput::Webm);
    EXPECT_EQ(a.frames, 30);
    EXPECT_EQ(a.start, 24.0);
    EXPECT_EQ(a.quality, 20);
    EXPECT_EQ(a.renderer, CaptureRenderer::Opengl);

    // The ends of each encoder's CRF range.
    ASSERT_TRUE(parse({"--quality", "0", "--video", "v.mp4"}, &a));
    EXPECT_EQ(a.quality, 0);
    ASSERT_TRUE(parse({"--video", "v.mp4", "--quality", "51"}, &a));
    EXPECT_EQ(a.quality, 51);
    ASSERT_TRUE(parse({"--video", "v.webm", "--quality", "63"}, &a));
    EXPECT_EQ(a.quality, 63);
    ASSERT_TRUE(parse({"--out", "d", "--renderer", "opengl"}, &a));
    EXPECT_EQ(a.renderer, CaptureRenderer::Opengl);
}

TEST(CaptureProgress, LinesReadTheWorkedNumbers)
{
    // 120 of 3600 frames in 4 s: 30 fps, 3480 frames = 116 s = 1:56 left.
    EXPECT_EQ(format_progress(120, 3600, 4.0), "120/3600 frames  3%  30.0 fps  1:56 left");
    EXPECT_EQ(format_progress(0, 3600, 0.0), "0/3600 frames  0%  -- fps  --:-- left");
    EXPECT_EQ(format_progress(3600, 3600, 90.0), "3600/3600 frames  100%  40.0 fps  0:00 left");
    // 3600 frames at 60 fps are 60 s of video; 123456789 bytes; 3600 / 120 s.
    EXPECT_EQ(format_summary(3600, 60.0, 123456789, 120.0), "3600 frames, 60.00 s, 123.5 MB, 30.0 fps");
    EXPECT_EQ(format_summary(30, 30.0, 81234, 2.0), "30 frames, 1.00 s, 81.2 kB, 15.0 fps");
}
