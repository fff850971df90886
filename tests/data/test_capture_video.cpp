// The release video: files read back with libavformat (streams, codecs,
// frame count and rate, timestamps, sound length against picture length,
// pictures against the PNG capture of the same music time), the same bytes
// from the same command, no music, bad arguments, write failures, stop
// requests (the last during the last frame's sound), a kill, and two runs
// writing one name.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

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

TEST_F(CaptureVideo, BadArgumentsSayWhyExit2AndWriteNothing)
{
    const std::pair<const char *, const char *> cases[] = {
        {" --video v.mp4 --out d", "--out"},
        {" --start 24", "--out DIR"},
        {" --video v.avi", "--video: 'v.avi' must end in .mp4"},
        {" --video v.mp4 --quality 52", "--quality"},
        {" --video v.mp4 --renderer vulkan", "--renderer"},
        // From far before the music to its end would be 10^9 frames.
        {" --video v.mp4 --start -1e30", "--start"},
    };
    for (const auto &[args, named] : cases) {
        ProcessResult r = run_in(work, kCapture + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("capture: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\nusage: capture "), std::string::npos) << r.err;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), 13) << "only the tracks and music";
}

TEST_F(CaptureVideo, CannotCreateExits1WithOneLineAndNoFile)
{
    // A path under a plain file cannot be created, even by root.
    { std::ofstream(work / "plain") << "x"; }
    ProcessResult r = run_in(work, kCapture + " --video plain/v.mp4 --frames 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "capture: cannot create plain/v.mp4: Not a directory\n");
}

// A file-size limit stands in for a full disk: capture ignores SIGXFSZ, so
// every write past it fails with "File too large".
const char *const kSmallDisk = "ulimit -f 32 && ";

TEST_F(CaptureVideo, AFullDiskExits1NamingTheFileAndLeavesNoPartialFile)
{
    // An earlier video of the same name stays as it was.
    { std::ofstream(work / "full.mp4") << "an earlier video"; }
    ProcessResult r = run_in(work, std::string("(") + kSmallDisk + kCapture +
                                       " --video full.mp4 --start 24 --frames 60 --fps 30)");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "capture: cannot write full.mp4: File too large\n");
    EXPECT_EQ(slurp(work / "full.mp4"), "an earlier video");

    // PNG frames: the frame that does not fit is not there at all.
    r = run_in(work, std::string("(") + kSmallDisk + kCapture + " --out shots --start 24)");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "capture: cannot write shots/frame-000000.png: File too large\n");
    EXPECT_TRUE(fs::is_empty(work / "shots"));
    EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), 15) << "no temporary file left";
}

TEST_F(CaptureVideo, AKillLeavesAnEarlierFileAsItWasAndNoNewFile)
{
    { std::ofstream(work / "old.mp4") << "an earlier video"; }
    for (const std::string name : {"old.mp4", "new.mp4"}) {
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(work.c_str()) != 0 || !freopen("/dev/null", "w", stderr))
                _exit(99);
            execl(kCapture.c_str(), "capture", "--video", name.c_str(), "--start", "24", "--fps",
                  "30", "--frames", "100000", nullptr);
            _exit(98);
        }
        ASSERT_GT(child, 0);
        // Killed once its temporary file holds encoded frames: mid-render.
        const fs::path temporary = work / (name + ".tmp-" + std::to_string(child));
        bool rendering = false;
        for (int i = 0; i < 3000 && !rendering; i++) { // a failure guard of 300 s
            std::error_code ec;
            rendering = fs::file_size(temporary, ec) > 200000 && !ec;
            if (!rendering)
                usleep(100000);
        }
        kill(child, SIGKILL);
        int raw = 0;
        ASSERT_EQ(waitpid(child, &raw, 0), child);
        EXPECT_TRUE(rendering) << name << ": no frames written";
        EXPECT_TRUE(WIFSIGNALED(raw)) << name;
    }
    EXPECT_EQ(slurp(work / "old.mp4"), "an earlier video");
    EXPECT_FALSE(fs::exists(work / "new.mp4"));
}

TEST_F(CaptureVideo, TwoCapturesToOneNameLeaveOneWholeFile)
{
    const std::string one = kCapture + " --video same.mp4 --start 24 --frames 20 --fps 30";
    ProcessResult r = run_in(work, "(" + one + " 2>a.txt & " + one +
                                       " 2>b.txt; b=$?; wait $!; a=$?; exit $((a | b)))");
    EXPECT_EQ(r.status, 0) << slurp(work / "a.txt") << slurp(work / "b.txt");
    VideoFile v;
    ASSERT_TRUE(video_reader::read_video((work / "same.mp4").string(), {}, &v));
    EXPECT_EQ(v.frames, 20);
    for (const auto &entry : fs::directory_iterator(work))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
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

TEST_F(CaptureVideo, StopWhileTheEncoderWorksThroughLongSound)
{
    // At the lowest rate each frame carries 100 s of sound; a thousand would
    // take the encoder a long while. Stopped once encoded data is written.
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(work.c_str()) != 0 || !freopen("stderr.txt", "w", stderr))
            _exit(99);
        execl(kCapture.c_str(), "capture", "--video", "long.mp4", "--fps", "0.01", "--frames", "1000",
              nullptr);
        _exit(98);
    }
    ASSERT_GT(child, 0);
    const fs::path temporary = work / ("long.mp4.tmp-" + std::to_string(child));
    bool encoding = false;
    for (int i = 0; i < 3000 && !encoding; i++) { // a failure guard of 300 s
        std::error_code ec;
        encoding = fs::file_size(temporary, ec) > 500000 && !ec;
        if (!encoding)
            usleep(100000);
    }
    ASSERT_EQ(kill(child, SIGTERM), 0);
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    EXPECT_TRUE(encoding) << "no sound written";
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const std::string err = slurp(work / "stderr.txt");
    EXPECT_EQ(err.rfind("capture: stopped by request after ", 0), 0u) << err;
    EXPECT_NE(err.find(" of 1000 frames; long.mp4 is complete up to there"), std::string::npos) << err;
    VideoFile v;
    ASSERT_TRUE(video_reader::read_video((work / "long.mp4").string(), {0}, &v));
    EXPECT_EQ(v.streams, 2);
    EXPECT_GE(v.frames, 1);
    EXPECT_LT(v.frames, 1000);
    // The sound stops where the encoder was: never past the pictures.
    EXPECT_LE(v.samples, static_cast<long>(v.frames) * 100 * v.sample_rate + v.audio_frame);
    EXPECT_FALSE(fs::exists(temporary));
}

TEST_F(CaptureVideo, StopWhileTheLastFramesSoundIsEncodedIsAStop)
{
    // Three frames of 10 s each. SIGTERM comes from capture's own encoding
    // thread once 25 s of sound are encoded: every frame has been rendered,
    // the encoder is in the last one's sound. The sound ends 1 s later.
    ProcessResult r = run_in(work, "CAPTURE_STOP_AT_SOUND=25 " + kCapture +
                                       " --video tail.mp4 --fps 0.1 --frames 3");
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string head =
        "capture: stopped by request after 3 of 3 frames; tail.mp4 is complete up to there,"
        " its sound ends at ";
    ASSERT_EQ(r.err.rfind(head, 0), 0u) << r.err;
    const double said = std::strtod(r.err.c_str() + head.size(), nullptr);
    EXPECT_GE(said, 26.0) << r.err;
    EXPECT_LT(said, 26.1) << r.err;
    EXPECT_TRUE(r.err.ends_with(" s\n")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    VideoFile v;
    ASSERT_TRUE(video_reader::read_video((work / "tail.mp4").string(), {}, &v));
    EXPECT_EQ(v.streams, 2);
    EXPECT_EQ(v.frames, 3);
    // The file's sound is as long as said, to within one audio frame.
    EXPECT_LE(std::abs(v.samples - std::lround(said * v.sample_rate)), v.audio_frame)
        << v.samples << " samples at " << v.sample_rate;
}
