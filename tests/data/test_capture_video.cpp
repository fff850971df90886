// The release video: files read back with libavformat (streams, codecs,
// frame count and rate, timestamps, sound length against picture length,
// pictures against the PNG capture of the same music time), the same bytes
// from the same command, no music, bad arguments, write failures and a stop
// request.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "capture_fixture.h"
#include "run_program.h"
#include "video_reader.h"

namespace fs = std::filesystem;
using run_program::ProcessResult;
using run_program::run_in;
using run_program::slurp;
using video_reader::VideoFile;

namespace {

const std::string kCapture = std::string(DEMO_DIR) + "/capture";

struct CaptureVideo : run_program::DemoWorkDir {
    // One second at 30 fps from 24 s twice, into NAME and a second file
    // that must hold the same bytes; then the first file read back, with
    // pictures 0 and 15 kept.
    VideoFile make_and_read(const std::string &name)
    {
        const std::string args = " --start 24 --frames 30 --fps 30";
        ProcessResult a = run_in(work, kCapture + " --video " + name + args);
        EXPECT_EQ(a.status, 0) << a.err;
        // One summary line: frames, seconds of video, size, speed.
        EXPECT_EQ(a.err.rfind("capture: 30 frames, 1.00 s, ", 0), 0u) << a.err;
        EXPECT_EQ(std::count(a.err.begin(), a.err.end(), '\n'), 1) << a.err;
        ProcessResult b = run_in(work, kCapture + " --video again-" + name + args);
        EXPECT_EQ(b.status, 0) << b.err;
        const std::string x = slurp(work / name), y = slurp(work / ("again-" + name));
        EXPECT_GT(x.size(), 10000u);
        EXPECT_TRUE(x == y) << name << ": two runs of the same command differ";
        VideoFile v;
        EXPECT_TRUE(video_reader::read_video((work / name).string(), {0, 15}, &v));
        return v;
    }

    // The PNG pictures of the same times (24 s and 24.5 s) must be close to
    // the video's pictures 0 and 15.
    void expect_close_to_png(const VideoFile &v)
    {
        ProcessResult r = run_in(work, kCapture + " --out png --start 24 --frames 2 --fps 2");
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(v.kept.size(), 2u);
        for (int i = 0; i < 2; i++) {
            capture_fixture::Frame png;
            ASSERT_TRUE(capture_fixture::read_png(work / "png" / ("frame-00000" + std::to_string(i) + ".png"), &png));
            ASSERT_EQ(v.kept[i].w, png.w);
            ASSERT_EQ(v.kept[i].h, png.h);
            EXPECT_GE(video_reader::psnr(v.kept[i].rgb, png.rgb), 35.0) << "picture " << 15 * i;
        }
        // And a picture is not merely close to anything: 0 against 24.5 s is further off.
        capture_fixture::Frame later;
        ASSERT_TRUE(capture_fixture::read_png(work / "png" / "frame-000001.png", &later));
        EXPECT_LT(video_reader::psnr(v.kept[0].rgb, later.rgb), video_reader::psnr(v.kept[1].rgb, later.rgb));
    }

    // The common shape of a one-second video with sound.
    static void expect_one_second(const VideoFile &v)
    {
        EXPECT_EQ(v.streams, 2);
        EXPECT_EQ(v.frames, 30);
        EXPECT_EQ(v.frame_rate.num, 30);
        EXPECT_EQ(v.frame_rate.den, 1);
        EXPECT_EQ(v.first_time, 0.0);
        EXPECT_EQ(v.color_space, AVCOL_SPC_BT709);
        EXPECT_EQ(v.color_range, AVCOL_RANGE_MPEG);
        EXPECT_EQ(v.channels, 2);
        ASSERT_GT(v.sample_rate, 0);
        ASSERT_GT(v.audio_frame, 0);
        // Sound and picture both start at 0 and last one second, to within
        // one audio frame.
        EXPECT_LE(std::abs(v.first_sound), static_cast<double>(v.audio_frame) / v.sample_rate);
        EXPECT_LE(std::abs(v.samples - v.sample_rate), v.audio_frame)
            << v.samples << " samples at " << v.sample_rate;
    }
};

} // namespace

TEST_F(CaptureVideo, Mp4HoldsH264AndAacAndTheCapturedPictures)
{
    const VideoFile v = make_and_read("short.mp4");
    EXPECT_EQ(v.video_codec, "h264");
    EXPECT_EQ(v.audio_codec, "aac");
    expect_one_second(v);
    expect_close_to_png(v);
}

TEST_F(CaptureVideo, WebmHoldsVp9AndOpus)
{
    const VideoFile v = make_and_read("short.webm");
    EXPECT_EQ(v.video_codec, "vp9");
    EXPECT_EQ(v.audio_codec, "opus");
    EXPECT_EQ(v.sample_rate, 48000);
    expect_one_second(v);
    expect_close_to_png(v);
}

TEST_F(CaptureVideo, WithoutMusicTheVideoHasNoSoundAndOneWarning)
{
    fs::remove(work / "music.ogg");
    ProcessResult r = run_in(work, kCapture + " --video silent.mp4 --frames 3 --fps 30");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("capture: warning: music.ogg: cannot open it; the video has no sound\n", 0), 0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err; // the warning, the summary
    VideoFile v;
    ASSERT_TRUE(video_reader::read_video((work / "silent.mp4").string(), {}, &v));
    EXPECT_EQ(v.streams, 1);
    EXPECT_EQ(v.audio_codec, "");
    EXPECT_EQ(v.frames, 3);

    // Without the music there is no length to run to.
    r = run_in(work, kCapture + " --video whole.mp4");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "capture: music.ogg: cannot open it; without it give --frames\n");
    EXPECT_FALSE(fs::exists(work / "whole.mp4"));
}

TEST_F(CaptureVideo, BadArgumentsExit2AndWriteNothing)
{
    for (const char *args : {" --video v.mp4 --out d", " --start 24", " --video v.avi",
                             " --video v.mp4 --quality 52", " --video v.mp4 --renderer vulkan"}) {
        ProcessResult r = run_in(work, kCapture + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("usage: capture ", 0), 0u) << args;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), 13) << "only the tracks and music";
}

TEST_F(CaptureVideo, WriteFailuresExit1WithOneLineAndNoFile)
{
    // A path under a plain file cannot be created, even by root.
    { std::ofstream(work / "plain") << "x"; }
    ProcessResult r = run_in(work, kCapture + " --video plain/v.mp4 --frames 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "capture: cannot create plain/v.mp4: Not a directory\n");

    // A full disk: every write fails. The device itself stays.
    fs::create_symlink("/dev/full", work / "full.mp4");
    r = run_in(work, kCapture + " --video full.mp4 --frames 3 --fps 30");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.find(" frames, "), std::string::npos) << "reported as done: " << r.err;
    EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST_F(CaptureVideo, StopRequestFinishesAPlayableFileAndExits1)
{
    // SIGTERM is sent at once but held blocked until capture is ready for it,
    // so it arrives during start-up: the first frame is still made.
    // Blocked before the fork, so the child holds it blocked from its first
    // instruction; the test process unblocks it again at once.
    sigset_t term, before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(sigprocmask(SIG_BLOCK, &term, &before), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(work.c_str()) != 0 || !freopen("stderr.txt", "w", stderr))
            _exit(99);
        execl(kCapture.c_str(), "capture", "--video", "stopped.mp4", "--fps", "30", nullptr);
        _exit(98);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    ASSERT_GT(child, 0);
    ASSERT_EQ(kill(child, SIGTERM), 0);
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const std::string err = slurp(work / "stderr.txt");
    EXPECT_EQ(err.rfind("capture: stopped by request after 1 of ", 0), 0u) << err;
    EXPECT_TRUE(err.ends_with(" frames; stopped.mp4 is complete up to there\n")) << err;
    VideoFile v;
    ASSERT_TRUE(video_reader::read_video((work / "stopped.mp4").string(), {0}, &v));
    EXPECT_EQ(v.streams, 2);
    EXPECT_EQ(v.frames, 1);
    EXPECT_EQ(v.kept.size(), 1u);
    // The sound ends with that one frame (1/30 s), to within one audio frame.
    EXPECT_LE(std::abs(v.samples - v.sample_rate / 30), v.audio_frame);
}
