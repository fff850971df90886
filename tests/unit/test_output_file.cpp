// Tests of the one way the tools write files (tools/common/output_file.h)
// and of the timeline compiler's use of it: symbolic links, hard links and
// FIFOs planted at the temporary and backup names are never written through
// or waited on, the mode of a replaced file is kept, and a write past the
// file-size limit fails as an error naming the file, with nothing left over.
// The rest of the file layer where no tool's test reaches it: a checked
// placement where no file was expected, reads and copies that refuse what
// is no regular file, and the platform's names of the program and of a
// descriptor.
#include "common/output_file.h"
#include "common/place_files.h"
#include "common/platform.h"
#include "common/read_file.h"
#include "common/stray_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "timeline/timeline.h"

namespace {

namespace fs = std::filesystem;

struct Planted : ::testing::Test {
    fs::path dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/output_file_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        put(dir / "victim", "precious");
        ASSERT_EQ(chmod((dir / "victim").c_str(), 0600), 0);
    }
    void TearDown() override { fs::remove_all(dir); }

    static void put(const fs::path &p, const std::string &text)
    {
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string read(const fs::path &p)
    {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    static unsigned mode_of(const fs::path &p)
    {
        struct stat st{};
        EXPECT_EQ(lstat(p.c_str(), &st), 0) << p;
        return st.st_mode & 07777;
    }
    // At the first three names made from `base`: a symbolic link and a hard
    // link to the victim, and a FIFO. Returns them.
    std::set<std::string> plant(const std::string &base)
    {
        const std::string a = unique_name(base, 0), b = unique_name(base, 1), c = unique_name(base, 2);
        EXPECT_EQ(symlink((dir / "victim").c_str(), a.c_str()), 0);
        EXPECT_EQ(link((dir / "victim").c_str(), b.c_str()), 0);
        EXPECT_EQ(mkfifo(c.c_str(), 0600), 0);
        return {a, b, c};
    }
    // Nothing written through what was planted.
    void expect_victim_untouched()
    {
        EXPECT_EQ(read(dir / "victim"), "precious");
        EXPECT_EQ(mode_of(dir / "victim"), 0600u);
    }
    std::set<std::string> names_in(const fs::path &folder)
    {
        std::set<std::string> names;
        for (const auto &e : fs::directory_iterator(folder))
            names.insert(e.path().string());
        return names;
    }
};

TEST_F(Planted, TemporaryNamesTakenByLinksOrAFifoAreSkipped)
{
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const std::string path = (out / "a.bin").string();
    std::set<std::string> expected = plant(path + ".tmp");

    std::string error;
    ASSERT_TRUE(write_output_file(path, "new", 3, &error)) << error; // no FIFO waited on
    EXPECT_EQ(read(path), "new");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
    expect_victim_untouched();
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(*expected.begin())));
    expected.insert(path);
    EXPECT_EQ(names_in(out), expected) << "nothing but the output and what was planted";
}

TEST_F(Planted, TheReplacedFilesModeIsKeptAndAFailureLeavesNothing)
{
    const std::string path = (dir / "kept").string();
    put(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::string error;
    ASSERT_TRUE(write_output_file(path, "new", 3, &error)) << error;
    EXPECT_EQ(mode_of(path), 0640u);
    // A new file: 0666 less the umask.
    const mode_t mask = umask(022);
    ASSERT_TRUE(write_output_file((dir / "fresh").string(), "x", 1, &error)) << error;
    umask(mask);
    EXPECT_EQ(mode_of(dir / "fresh"), 0644u);

    // A directory in the way: the rename fails, naming the output.
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(write_output_file((dir / "folder").string(), "x", 1, &error));
    EXPECT_EQ(error, "cannot replace " + (dir / "folder").string() + ": Is a directory");
    EXPECT_EQ(names_in(dir).size(), 4u) << "no temporary file left";
}

TEST_F(Planted, AWritePastTheFileSizeLimitIsAnErrorNotADeath)
{
    const std::string path = (dir / "big").string();
    put(path, "old");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        ignore_file_size_signal();
        const std::string bytes(10000, 'x');
        std::string error;
        const bool ok = write_output_file(path, bytes.data(), bytes.size(), &error);
        _exit(!ok && error == "cannot write " + path + ": File too large" ? 0 : 1);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFEXITED(raw)) << "killed by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 0) << "the write did not fail with the file's name and EFBIG";
    EXPECT_EQ(read(path), "old");
    EXPECT_EQ(names_in(dir).size(), 2u) << "no temporary file left";
}

// A source with one key in every track; "scene" holds `scene`.
std::string every_track(const char *scene)
{
    std::string s;
    for (const char *name : TimelineTrackNames)
        s += std::string("track ") + name + "\n  0 " + (name == std::string("scene") ? scene : "0") + " hold\n";
    return s;
}

TEST_F(Planted, CompileWritesThroughNoPlantedTemporaryOrBackupName)
{
    const std::string source = (dir / "timeline.txt").string(), out = (dir / "out").string();
    put(source, every_track("1"));
    std::string errors;
    ASSERT_TRUE(compile_timeline_file(source, out, &errors)) << errors;

    std::set<std::string> expected;
    for (const char *name : TimelineTrackNames) {
        const std::string path = track_output_path(out, name);
        expected.insert(path);
        for (const std::string &p : plant(path + ".tmp"))
            expected.insert(p);
        for (const std::string &p : plant(path + ".old"))
            expected.insert(p);
    }
    put(source, every_track("5"));
    ASSERT_TRUE(compile_timeline_file(source, out, &errors)) << errors;
    expect_victim_untouched();
    EXPECT_EQ(names_in(out), expected);
    const std::string scene = track_output_path(out, "scene");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(scene)));
    EXPECT_EQ(read(scene), std::string("\1\0\0\0\0\0\0\0\0\0\xA0\x40\0", 13));
}

// A process that has ended (its PID names nothing), and one kept alive
// until the test lets it go.
struct Processes {
    pid_t dead = 0, living = 0;
    int hold = -1;
    Processes()
    {
        dead = fork();
        if (dead == 0)
            _exit(0);
        waitpid(dead, nullptr, 0);
        int p[2];
        if (pipe(p) != 0)
            return;
        living = fork();
        if (living == 0) {
            char c;
            close(p[1]);
            while (::read(p[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        close(p[0]);
        hold = p[1];
    }
    ~Processes()
    {
        close(hold);
        waitpid(living, nullptr, 0);
    }
};

TEST_F(Planted, StrayFilesOfEndedProcessesAreRemovedOnlyThose)
{
    Processes ps;
    ASSERT_GT(ps.dead, 0);
    ASSERT_GT(ps.living, 0);
    const std::string dead = std::to_string(ps.dead), living = std::to_string(ps.living),
                      own = std::to_string(getpid());
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const std::set<std::string> gone = {"a.png.tmp-" + dead, "b.track.old-" + dead + "-3",
                                        "c.track.old.tmp-" + dead + "-12"};
    const std::set<std::string> kept_files = {"d.png.tmp-" + own, "e.png.tmp-" + living, "f.tmp-" + dead + "x",
                                              "g.tmp-", "h.tmp-" + dead + "-", "i.tmp-99999999999", "tmp-" + dead};
    for (const std::string &n : gone)
        put(out / n, "stray");
    for (const std::string &n : kept_files)
        put(out / n, "kept");
    // Named like a stray file of the ended process, but no regular file.
    ASSERT_EQ(symlink((dir / "victim").c_str(), (out / ("j.png.tmp-" + dead)).c_str()), 0);
    ASSERT_EQ(mkfifo((out / ("k.png.tmp-" + dead)).c_str(), 0600), 0);
    // Folders of copies: the ended process's goes with its names (a link in
    // it is removed, its target kept), the living one's stays.
    fs::create_directory(out / ("loaded-" + dead + "-1"));
    put(out / ("loaded-" + dead + "-1") / "scenes-1.so", "code");
    ASSERT_EQ(symlink((dir / "victim").c_str(), (out / ("loaded-" + dead + "-1") / "build.log").c_str()), 0);
    fs::create_directory(out / ("loaded-" + living));

    EXPECT_EQ(remove_stray_files(out.string()), 3) << "no folder without its prefix";
    std::set<std::string> expected;
    for (const std::string &n : kept_files)
        expected.insert((out / n).string());
    for (const std::string &n : {"j.png.tmp-" + dead, "k.png.tmp-" + dead, "loaded-" + dead + "-1", "loaded-" + living})
        expected.insert((out / n).string());
    EXPECT_EQ(names_in(out), expected);
    EXPECT_EQ(remove_stray_files(out.string(), "loaded"), 1);
    expected.erase((out / ("loaded-" + dead + "-1")).string());
    EXPECT_EQ(names_in(out), expected);
    expect_victim_untouched();

    // The first output into a folder sweeps it, and says so once.
    const std::string path = (dir / "new.png").string();
    put(path + ".tmp-" + dead, "stray");
    put(dir / ("other.tmp-" + dead + "-1"), "stray");
    testing::internal::CaptureStderr();
    std::string error;
    ASSERT_TRUE(write_output_file(path, "png", 3, &error)) << error;
    put(dir / ("later.tmp-" + dead), "stray");
    ASSERT_TRUE(write_output_file(path, "png", 3, &error)) << error;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(program_invocation_short_name) + ": removed 2 temporary files of ended processes from " +
                  dir.string() + "\n");
    EXPECT_EQ(names_in(dir), (std::set<std::string>{(dir / "victim").string(), (dir / ("later.tmp-" + dead)).string(),
                                                    (dir / "out").string(), path}));
}

// Nothing was there when the file was read: the new one goes in, unless
// one appeared since, which then stays (also when it lands between the
// look and the rename).
TEST_F(Planted, ACheckedPlacementWhereNothingWasExpected)
{
    const std::string path = (dir / "t.txt").string();
    const auto written = [&](const char *text) {
        OutputFile out;
        std::string error;
        EXPECT_TRUE(open_output_file(path, &out, &error) && write_output_bytes(&out, text, 3, &error) &&
                    close_output_file(&out, &error))
            << error;
        return out;
    };
    std::string error;
    int (*const exchange)(const char *, const char *) = PlaceExchangeNames;
    for (bool with_exchange : {true, false}) {
        fs::remove(path);
        PlaceExchangeNames = with_exchange ? exchange : [](const char *, const char *) {
            errno = EINVAL; // as on a file system without the exchange
            return -1;
        };
        OutputFile out = written("new");
        EXPECT_EQ(place_output_file_checked(&out, path, FileIdentity{}, &error), PLACE_DONE) << error;
        EXPECT_EQ(read(path), "new");
    }
    // The exchange finds nothing (ENOENT), and a file lands before the rename.
    PlaceExchangeNames = [](const char *, const char *) {
        errno = ENOENT;
        return -1;
    };
    OutputFile out = written("two");
    EXPECT_EQ(place_output_file_checked(&out, path, FileIdentity{}, &error), PLACE_OTHER_FILE);
    PlaceExchangeNames = exchange;
    EXPECT_EQ(read(path), "new");
    EXPECT_EQ(names_in(dir), (std::set<std::string>{(dir / "victim").string(), path}));
}

TEST_F(Planted, ReadsAndCopiesRefuseWhatIsNoRegularFile)
{
    const std::string fifo = (dir / "fifo").string(), copy = (dir / "copy").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_EQ(open_regular_stream(fifo, &error), nullptr); // not waited on
    EXPECT_EQ(error, "'" + fifo + "' is not a regular file");
    int create_errno = -1;
    EXPECT_FALSE(copy_to_new_file(fifo, copy, 0600, &error, &create_errno));
    EXPECT_EQ(error, fifo + ": not a regular file");
    EXPECT_EQ(create_errno, 0);
    EXPECT_FALSE(fs::exists(copy));
    ASSERT_TRUE(copy_to_new_file((dir / "victim").string(), copy, 0640, &error, &create_errno)) << error;
    EXPECT_EQ(read(copy), "precious");
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(mode_of(copy), 0640u & ~mask);
}

TEST_F(Planted, ThePlatformNamesTheProgramAndADescriptorsFile)
{
    EXPECT_EQ(fs::path(own_program_path()).filename(), "unit_tests");
    // The descriptor's name reaches its file after another took its name.
    const int fd = open((dir / "victim").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    fs::rename(dir / "victim", dir / "moved");
    put(dir / "victim", "planted");
    std::string bytes, error;
    EXPECT_TRUE(read_whole_file(descriptor_path(fd), 100, &bytes, &error)) << error;
    EXPECT_EQ(bytes, "precious");
    close(fd);
    fs::rename(dir / "moved", dir / "victim");
}

} // namespace
