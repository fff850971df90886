// The programs against hostile files at the names they use: symbolic links,
// hard links and FIFOs planted at capture's and make_images' temporary names
// (the shell plants them at NAME.tmp-PID, then execs the program under its
// own PID), a FIFO named like a track file, and a file-size limit under the
// timeline compiler.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "run_program.h"
#include "timeline/timeline.h"

namespace fs = std::filesystem;
using run_program::ProcessResult;
using run_program::run_in;
using run_program::slurp;

namespace {

const std::string kCapture = std::string(DEMO_DIR) + "/capture";

struct HostileNames : run_program::DemoWorkDir {
    void SetUp() override
    {
        DemoWorkDir::SetUp();
        std::ofstream(work / "victim") << "precious";
    }
    void expect_victim_untouched() { EXPECT_EQ(slurp(work / "victim"), "precious"); }
};

TEST_F(HostileNames, CaptureSkipsLinksAndFifosAtItsTemporaryNames)
{
    const std::string plant = "mkdir shots && ln -s ../victim shots/frame-000000.png.tmp-$$ && "
                              "ln victim shots/frame-000001.png.tmp-$$ && mkfifo shots/frame-000002.png.tmp-$$ && ";
    ProcessResult r = run_in(work, "sh -c '" + plant + "exec " + kCapture + " --out shots --start 24 --frames 3'");
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_in(work, "sh -c '" + std::string("ln -s victim v.mp4.tmp-$$ && mkfifo v.mp4.tmp-$$-1 && exec ") +
                         kCapture + " --video v.mp4 --start 24 --frames 2'");
    ASSERT_EQ(r.status, 0) << r.err;
    expect_victim_untouched();
    for (const char *name : {"frame-000000.png", "frame-000001.png", "frame-000002.png"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(work / "shots" / name))) << name;
        EXPECT_EQ(slurp(work / "shots" / name).substr(1, 3), "PNG") << name;
    }
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(work / "v.mp4")));
    EXPECT_GT(fs::file_size(work / "v.mp4"), 10000u);
}

TEST_F(HostileNames, MakeImagesSkipsLinksAndFifosAtItsTemporaryNames)
{
    const std::string tool = std::string(TOOLS_DIR) + "/make_images";
    ProcessResult r = run_in(work, "sh -c 'mkdir out && ln -s ../victim out/d1.bmp.tmp-$$ && "
                                   "mkfifo out/font.bmp.tmp-$$ && exec " + tool + " out'");
    ASSERT_EQ(r.status, 0) << r.err;
    expect_victim_untouched();
    for (const char *name : {"d1.bmp", "font.bmp"})
        EXPECT_EQ(slurp(work / "out" / name), slurp(fs::path(DEMO_DIR) / name)) << name;
}

TEST_F(HostileNames, AFifoNamedLikeATrackFileIsAnEmptyTrack)
{
    // The same picture as with the file missing, and nothing waited on.
    fs::remove(work / "sync_cam.x.track");
    ProcessResult r = run_in(work, kCapture + " --out missing --start 24");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(mkfifo((work / "sync_cam.x.track").c_str(), 0600), 0);
    r = run_in(work, "timeout 600 " + kCapture + " --out fifo --start 24");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string a = slurp(work / "missing" / "frame-000000.png"), b = slurp(work / "fifo" / "frame-000000.png");
    EXPECT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == b) << "the FIFO did not read as an empty track";
}

TEST_F(HostileNames, CompileUnderAFileSizeLimitFailsCleanly)
{
    // No trap here: the compiler itself must turn SIGXFSZ into an error.
    // The limit is 1 KiB (standard error is a file too); the shipped tracks
    // are smaller, a "cam.x" of 200 keys (1804 bytes) is not.
    fs::create_directory(work / "out");
    for (const auto &e : fs::directory_iterator(work))
        if (e.path().extension() == ".track")
            fs::copy_file(e.path(), work / "out" / e.path().filename());
    std::ofstream source(work / "big.txt");
    for (const char *name : TimelineTrackNames) {
        source << "track " << name << "\n";
        for (int row = 0; row < (name == std::string("cam.x") ? 200 : 1); row++)
            source << "  " << row << " 1 hold\n";
    }
    source.close();
    const std::string tool = std::string(TOOLS_DIR) + "/timeline";
    ProcessResult r = run_in(work, "(ulimit -f 1 && exec " + tool + " compile big.txt out)");
    fs::remove(work / "big.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cannot write out/sync_cam.x.track: File too large\n");
    int files = 0;
    for (const auto &e : fs::directory_iterator(work / "out")) {
        EXPECT_EQ(slurp(e.path()), slurp(work / e.path().filename())) << e.path();
        files++;
    }
    EXPECT_EQ(files, 12) << "the earlier tracks, and no temporary file";
}

} // namespace
