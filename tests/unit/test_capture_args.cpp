// The offline renderer's command line: defaults, values and refusals.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "capture/capture_args.h"
#include "capture/progress.h"

namespace {

bool parse(std::vector<const char *> words, CaptureArgs *out)
{
    words.insert(words.begin(), "capture");
    return parse_capture_args(static_cast<int>(words.size()), words.data(), out) == -1;
}

// A refused command line: exit status 2 and what was printed.
int refuse(std::vector<const char *> words, std::string *printed)
{
    words.insert(words.begin(), "capture");
    CaptureArgs a;
    testing::internal::CaptureStderr();
    const int status = parse_capture_args(static_cast<int>(words.size()), words.data(), &a);
    *printed = testing::internal::GetCapturedStderr();
    return status;
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
    // The ends of the --fps range are taken.
    for (const char *fps : {"0.01", "1000"})
        EXPECT_TRUE(parse({"--out", "o", "--fps", fps}, &a)) << fps;
}

TEST(CaptureArgs, RefusalsNameTheOptionThenGiveTheUsage)
{
    // Each refused command line and what its first line must name.
    const std::vector<std::pair<std::vector<const char *>, const char *>> bad = {
        {{}, "--out DIR"},
        {{"--out"}, "--out"},
        {{"--start", "1"}, "--out DIR"},                 // no output
        {{"--out", ""}, "--out"},
        {{"--out", "a", "--out", "b"}, "--out"},
        {{"--out", "a", "--frames", "0"}, "--frames"},
        {{"--out", "a", "--frames", "-3"}, "--frames"},
        {{"--out", "a", "--frames", "2.5"}, "--frames"},
        {{"--out", "a", "--frames", "99999999999999999999"}, "--frames"},
        {{"--out", "a", "--fps", "0"}, "--fps"},
        {{"--out", "a", "--fps", "-60"}, "--fps"},
        {{"--out", "a", "--fps", "nan"}, "--fps"},
        // 0.01 to 1000: a frame never carries more than 100 s of sound.
        {{"--video", "v.mp4", "--fps", "1e-6"}, "--fps: '1e-6' is not a number from 0.01 to 1000"},
        {{"--out", "a", "--fps", "1e-300"}, "--fps"},
        {{"--out", "a", "--fps", "0.0099"}, "--fps"},
        {{"--out", "a", "--start", "inf"}, "--start"},
        {{"--out", "a", "--start", "1e999"}, "--start"},
        {{"--out", "a", "--start", "12abc"}, "--start"},
        {{"--out", "a", "--start", ""}, "--start"},
        {{"--out", "a", "--verbose", "1"}, "--verbose"},
        {{"--out", "a", "extra"}, "extra"},
        // Exactly one of --out and --video; a known container; CRF in range.
        {{"--out", "a", "--video", "v.mp4"}, "--video"},
        {{"--video", "v.mp4", "--video", "w.mp4"}, "--video"},
        {{"--video", "v.mkv"}, "--video: 'v.mkv' must end in .mp4"},
        {{"--video", "v"}, "--video"},
        {{"--video", ".mp4"}, "--video"},
        {{"--video", ""}, "--video"},
        {{"--out", "a", "--quality", "18"}, "--quality"},
        {{"--video", "v.mp4", "--quality", "52"}, "--quality: 52 is above 51"},
        {{"--video", "v.webm", "--quality", "64"}, "--quality"},
        {{"--video", "v.mp4", "--quality", "-1"}, "--quality"},
        {{"--video", "v.mp4", "--quality", "18.5"}, "--quality"},
        {{"--video", "v.mp4", "--renderer", "opengles2"}, "--renderer"},
        {{"--video", "v.mp4", "--fps", "1001"}, "--fps"},
    };
    for (const auto &[words, named] : bad) {
        std::string printed;
        const char *last = words.empty() ? "(none)" : words.back();
        EXPECT_EQ(refuse(words, &printed), 2) << last;
        const size_t eol = printed.find('\n');
        ASSERT_NE(eol, std::string::npos) << last;
        const std::string first = printed.substr(0, eol);
        EXPECT_EQ(first.rfind("capture: ", 0), 0u) << first;
        EXPECT_NE(first.find(named), std::string::npos) << first << " does not name " << named;
        EXPECT_EQ(printed.substr(eol + 1), std::string(CAPTURE_USAGE) + "\n") << last;
    }
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
    EXPECT_EQ(a.quality, 33);
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
