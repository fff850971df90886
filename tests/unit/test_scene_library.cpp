// Tests of the studio's live scene code: the loader on the sample libraries
// the build makes (tests/unit/scene_library/sample.cpp), the whole
// watch-build-swap round with a stand-in build command, and reading the
// compiler's errors and the build's dependency listing.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scene_library/sample.h"
#include "state/state.h"
#include "studio/live/live_code.h"
#include "studio/state_layout.h"
#include "studio/studio_args.h"

namespace {

const std::string SAMPLES = std::string(TEST_BINARY_DIR) + "/test_scenes/";

std::string sample(const char *variant) { return SAMPLES + "test_scenes_" + variant + ".so"; }

// A private folder, removed with what is in it.
struct TempDir {
    std::string path;
    TempDir()
    {
        char name[] = "/tmp/scene-library-test-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir()
    {
        const std::string cmd = "rm -rf '" + path + "'";
        if (!path.empty() && std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", path.c_str());
    }
};

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The sample scenes draw into the first Canvas pixel and count in
// StepCounter; the test gives them a canvas of its own.
struct SampleState {
    uint32_t pixels[CANVAS_W * CANVAS_H] = {};
    uint32_t *saved_canvas = Canvas;
    int32_t saved_counter = StepCounter;
    SampleState()
    {
        Canvas = pixels;
        StepCounter = 0;
    }
    ~SampleState()
    {
        Canvas = saved_canvas;
        StepCounter = saved_counter;
    }
};

void draw(const SceneLibrary &lib) { lib.table->scenes[0].draw(FrameTime{}); }

// Loads a fresh copy of a sample, as the studio does.
bool load_copy(const TempDir &dir, const char *variant, int serial, SceneLibrary *lib, std::string *error)
{
    const std::string copy = dir.path + "/copy-" + std::to_string(serial) + ".so";
    if (!copy_library_file(sample(variant), copy, error))
        return false;
    const bool ok = open_scene_library(copy, STATE_LAYOUT, lib, error);
    unlink(copy.c_str());
    return ok;
}

TEST(SceneLibraryLoader, SwapsFollowThePictureAndKeepTheState)
{
    TempDir dir;
    SampleState state;
    SceneLibrary lib;
    std::string error;
    const char *order[] = {"a", "b", "a"};
    const uint32_t colours[] = {SAMPLE_A_COLOUR, SAMPLE_B_COLOUR, SAMPLE_A_COLOUR};
    for (int i = 0; i < 3; i++) {
        SceneLibrary next;
        ASSERT_TRUE(load_copy(dir, order[i], i, &next, &error)) << error;
        // The copy of A loaded a second time is a library of its own, not
        // the first one handed back.
        EXPECT_NE(next.handle, lib.handle);
        close_scene_library(&lib);
        lib = next;
        ASSERT_EQ(lib.table->count, 1);
        EXPECT_STREQ(lib.table->scenes[0].name, "sample");
        draw(lib);
        EXPECT_EQ(state.pixels[0], colours[i]) << "after swap " << i;
        EXPECT_EQ(StepCounter, i + 1) << "the count is the program's, kept across swaps";
    }
    close_scene_library(&lib);
    EXPECT_EQ(lib.handle, nullptr);
    close_scene_library(&lib); // closing nothing is harmless
}

TEST(SceneLibraryLoader, RefusesWithTheReasonAndTheOldOneStillDraws)
{
    TempDir dir;
    SampleState state;
    SceneLibrary lib, refused;
    std::string error;
    ASSERT_TRUE(load_copy(dir, "b", 0, &lib, &error)) << error;

    ASSERT_FALSE(load_copy(dir, "other_layout", 1, &refused, &error));
    EXPECT_EQ(refused.handle, nullptr);
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "0x%08x is not the studio's 0x%08x", STATE_LAYOUT + 1u, STATE_LAYOUT);
    EXPECT_NE(error.find(numbers), std::string::npos) << error;
    EXPECT_NE(error.find("restart"), std::string::npos) << error;

    ASSERT_FALSE(load_copy(dir, "no_table", 2, &refused, &error));
    EXPECT_EQ(error, "the library has no scene_library_table");

    // Not a library at all, and no file: the loader's own reason.
    write_file(dir.path + "/junk.so", "not an ELF file");
    ASSERT_FALSE(open_scene_library(dir.path + "/junk.so", STATE_LAYOUT, &refused, &error));
    EXPECT_NE(error.find("junk.so"), std::string::npos) << error;
    ASSERT_FALSE(open_scene_library(dir.path + "/none.so", STATE_LAYOUT, &refused, &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(copy_library_file(dir.path + "/none.so", dir.path + "/x.so", &error));

    draw(lib);
    EXPECT_EQ(state.pixels[0], SAMPLE_B_COLOUR);
    EXPECT_EQ(StepCounter, 1);
    close_scene_library(&lib);
}

TEST(SceneLibraryLoader, CopiesNeverGoThroughAnExistingName)
{
    TempDir dir;
    std::string error;
    const std::string target = dir.path + "/planted.so";
    ASSERT_EQ(symlink(sample("a").c_str(), target.c_str()), 0);
    EXPECT_FALSE(copy_library_file(sample("b"), target, &error));
    EXPECT_NE(error.find("File exists"), std::string::npos) << error;
}

// A build folder whose "cmake" is a script: it puts the sample named in
// DIR/next in place as the library, or fails with a compiler's message when
// DIR/fail exists; it waits while DIR/hold exists.
struct FakeBuild {
    TempDir dir;
    std::string scene, library;
    FakeBuild()
    {
        mkdir((dir.path + "/src").c_str(), 0700);
        mkdir((dir.path + "/src/scenes").c_str(), 0700);
        scene = dir.path + "/src/scenes/sample.cpp";
        library = dir.path + "/build/live/scenes.so";
        mkdir((dir.path + "/build").c_str(), 0700);
        write_file(scene, "// version 0\n");
        write_file(dir.path + "/next", sample("a")); // what the build at start makes
        const std::string d = dir.path;
        restore_script();
        write_file(d + "/build/live_scenes.txt",
                   "cmake " + d + "/build.sh\nbuild " + d + "/build\ntarget live_scenes\nlibrary " + library +
                       "\ngenerator Fake\nmake /bin/false\nsource " + d + "\nobjects CMakeFiles/x.dir/\nwatch " +
                       scene + "\n");
    }
    void restore_script()
    {
        const std::string d = dir.path;
        write_file(d + "/build.sh",
                   "#!/bin/sh\n"
                   "while [ -e '" + d + "/hold' ]; do sleep 0.01; done\n"
                   "if [ -e '" + d + "/fail' ]; then\n"
                   "  echo '[1/2] Building CXX object sample.cpp.o'\n"
                   "  echo '" + scene + ": In function void draw():'\n"
                   "  echo \"" + scene + ":12:3: error: expected ';' before '}' token\"\n"
                   "  echo '" + scene + ":12:3: note: something'\n"
                   "  exit 1\n"
                   "fi\n"
                   "mkdir -p '" + d + "/build/live' &&\n"
                   "cp \"$(cat '" + d + "/next')\" '" + library + ".new' && mv '" + library + ".new' '" + library + "'\n");
        chmod((d + "/build.sh").c_str(), 0700);
    }
    // The generator "Ninja", whose stand-in lists `header` as a dependency
    // of the library's objects.
    void list_dependency(const std::string &header)
    {
        const std::string d = dir.path;
        write_file(d + "/ninja.sh", "#!/bin/sh\necho 'CMakeFiles/x.dir/sample.cpp.o: #deps 1, deps mtime 1 (VALID)'\n"
                                    "echo '    " + header + "'\n");
        chmod((d + "/ninja.sh").c_str(), 0700);
        write_file(d + "/build/live_scenes.txt",
                   "cmake " + d + "/build.sh\nbuild " + d + "/build\ntarget live_scenes\nlibrary " + library +
                       "\ngenerator Ninja\nmake " + d + "/ninja.sh\nsource " + d +
                       "\nobjects CMakeFiles/x.dir/\nwatch " + scene + "\n");
    }
    void save(int version, const char *next)
    {
        write_file(dir.path + "/next", sample(next));
        write_file(scene, "// version " + std::to_string(version) + std::string(version, ' ') + "\n");
    }
};

// Takes jobs until none runs or is due (a good build is followed by a
// dependency listing of its own).
void settle(LiveCode *lc, uint64_t now_ms)
{
    do {
        finish_live_code(lc, now_ms);
        poll_live_code(lc, now_ms);
    } while (lc->job || lc->again);
}

TEST(LiveCode, SaveBuildSwapFailAndRefuse)
{
    FakeBuild fb;
    SampleState state;
    LiveCode lc;
    std::string error;
    write_file(fb.dir.path + "/hold", "");
    ASSERT_TRUE(start_live_code(&lc, fb.dir.path + "/build", STATE_LAYOUT, &error)) << error;
    const std::string copies = lc.copy_dir;
    // The code on disk is built at start and drawn as soon as it is there;
    // the studio's own scenes draw meanwhile.
    EXPECT_EQ(live_code_notice(lc, 1500),
              "building the scenes on disk\u2026 1 s (the built-in scenes draw meanwhile)");
    EXPECT_EQ(live_scenes(lc), nullptr);
    unlink((fb.dir.path + "/hold").c_str());
    settle(&lc, 300);
    ASSERT_NE(live_scenes(lc), nullptr) << lc.errors;
    EXPECT_EQ(live_code_notice(lc, 300), "scenes on disk loaded in 0.3 s");
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_A_COLOUR);
    poll_live_code(&lc, 400);
    EXPECT_EQ(lc.job, nullptr) << "no change, no build";

    // A save: a build starts at the next look, and its library is swapped in.
    fb.save(1, "b");
    poll_live_code(&lc, 1000);
    ASSERT_NE(lc.job, nullptr);
    EXPECT_EQ(live_code_notice(lc, 1000), "building\u2026");
    settle(&lc, 1900);
    ASSERT_NE(live_scenes(lc), nullptr);
    EXPECT_EQ(live_code_notice(lc, 2000), "scenes rebuilt in 0.9 s");
    EXPECT_EQ(live_code_notice(lc, 1900 + 6000), "") << "the notice goes after a while";
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_B_COLOUR);
    fb.save(8, "a");
    poll_live_code(&lc, 2500);
    settle(&lc, 2600);
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_A_COLOUR);

    // A failed build: the compiler's first error, from the source folder;
    // the old code draws.
    write_file(fb.dir.path + "/fail", "");
    fb.save(2, "b");
    poll_live_code(&lc, 3000);
    settle(&lc, 3500);
    EXPECT_EQ(lc.errors, "src/scenes/sample.cpp:12: expected ';' before '}' token\n");
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_A_COLOUR);

    // A failure that is no compiler's: the build's last line.
    write_file(fb.dir.path + "/fail", "");
    write_file(fb.dir.path + "/build.sh", "#!/bin/sh\necho 'ninja: error: loading build.ninja'\nexit 1\n");
    fb.save(7, "b");
    poll_live_code(&lc, 3600);
    settle(&lc, 3700);
    EXPECT_EQ(lc.errors, "the scene build failed (exit status 1): ninja: error: loading build.ninja\n");
    fb.restore_script();

    // Mended: the errors go and B draws, with the count going on.
    unlink((fb.dir.path + "/fail").c_str());
    fb.save(3, "b");
    poll_live_code(&lc, 4000);
    settle(&lc, 4200);
    EXPECT_EQ(lc.errors, "");
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_B_COLOUR);
    EXPECT_EQ(StepCounter, 5);

    // A library with another layout: refused, B goes on drawing.
    fb.save(4, "other_layout");
    poll_live_code(&lc, 5000);
    settle(&lc, 5200);
    EXPECT_NE(lc.errors.find("scene library refused: the library's state layout"), std::string::npos) << lc.errors;
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_B_COLOUR);
    EXPECT_EQ(lc.swaps, 4);

    // A save while a build runs (held until DIR/hold goes) is built again after it.
    write_file(fb.dir.path + "/hold", "");
    fb.save(5, "a");
    poll_live_code(&lc, 6000);
    fb.save(6, "a");
    poll_live_code(&lc, 6100);
    EXPECT_TRUE(lc.again);
    unlink((fb.dir.path + "/hold").c_str());
    finish_live_code(&lc, 6200);
    poll_live_code(&lc, 6300);
    ASSERT_NE(lc.job, nullptr) << "the second save was forgotten";
    settle(&lc, 6400);
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_A_COLOUR);

    stop_live_code(&lc);
    EXPECT_EQ(live_scenes(lc), nullptr);
    struct stat st;
    EXPECT_NE(stat(copies.c_str(), &st), 0) << "the copies' folder stayed";
}

TEST(LiveCode, NoBuildFolderIsRefused)
{
    TempDir dir;
    LiveCode lc;
    std::string error;
    EXPECT_FALSE(start_live_code(&lc, dir.path, STATE_LAYOUT, &error));
    EXPECT_EQ(error, "cannot open '" + dir.path + "/live_scenes.txt': No such file or directory");
    write_file(dir.path + "/live_scenes.txt", "cmake /usr/bin/cmake\n");
    EXPECT_FALSE(start_live_code(&lc, dir.path, STATE_LAYOUT, &error));
    EXPECT_NE(error.find("not a scene library description"), std::string::npos) << error;
}

// Every file live code writes is created under a fresh name: a link put at
// the build's log, the dependency listing or the next library copy is
// replaced or passed over, and the file it points at stays as it was.
TEST(LiveCode, WritesNeverGoThroughPlantedLinks)
{
    FakeBuild fb;
    const std::string header = fb.dir.path + "/src/scenes/sample.h";
    write_file(header, "// header\n");
    fb.list_dependency(header);
    SampleState state;
    LiveCode lc;
    std::string error;
    ASSERT_TRUE(start_live_code(&lc, fb.dir.path + "/build", STATE_LAYOUT, &error)) << error;
    settle(&lc, 0);
    const std::string victim = fb.dir.path + "/victim";
    write_file(victim, "precious\n");
    const std::vector<std::string> planted = {lc.copy_dir + "/build.log", lc.copy_dir + "/deps.txt",
                                              lc.copy_dir + "/scenes-" + std::to_string(lc.serial + 1) + ".so"};
    for (const std::string &name : planted) {
        unlink(name.c_str()); // the start build's log is there
        ASSERT_EQ(symlink(victim.c_str(), name.c_str()), 0) << name;
    }

    fb.save(1, "a");
    poll_live_code(&lc, 1000);
    settle(&lc, 1100);
    std::ifstream in(victim, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious\n");
    ASSERT_NE(live_scenes(lc), nullptr) << lc.errors;
    EXPECT_EQ(lc.swaps, 2);
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_A_COLOUR);
    EXPECT_NE(std::find(lc.watched.begin(), lc.watched.end(), header), lc.watched.end())
        << "the listing written beside a planted link was not read";
    struct stat st;
    for (const char *log : {"/build.log", "/deps.txt"})
        EXPECT_TRUE(lstat((lc.copy_dir + log).c_str(), &st) == 0 && S_ISREG(st.st_mode)) << log;
    stop_live_code(&lc);
    EXPECT_EQ(lstat(victim.c_str(), &st), 0);
}

// A FIFO in a source's place is refused by name before any build, a build
// over the bound is stopped and named, and a removed library folder (with
// the copies' folder in it) is made again by the next save.
TEST(LiveCode, NoBuildHangsOrBreaksForGood)
{
    FakeBuild fb;
    SampleState state;
    LiveCode lc;
    std::string error;
    ASSERT_TRUE(start_live_code(&lc, fb.dir.path + "/build", STATE_LAYOUT, &error)) << error;
    settle(&lc, 0);
    ASSERT_NE(live_scenes(lc), nullptr) << lc.errors;

    ASSERT_EQ(unlink(fb.scene.c_str()), 0);
    ASSERT_EQ(mkfifo(fb.scene.c_str(), 0600), 0);
    poll_live_code(&lc, 1000);
    EXPECT_EQ(lc.job, nullptr) << "a build started on a FIFO";
    EXPECT_EQ(lc.errors, "src/scenes/sample.cpp: not a regular file (a FIFO): no scene build until it is a "
                         "regular file again\n");
    unlink(fb.scene.c_str());
    fb.save(2, "b");
    poll_live_code(&lc, 2000);
    settle(&lc, 2100);
    EXPECT_EQ(lc.errors, "");
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_B_COLOUR);

    lc.build_timeout_ms = 5000;
    write_file(fb.dir.path + "/hold", "");
    fb.save(3, "a");
    poll_live_code(&lc, 3000);
    ASSERT_NE(lc.job, nullptr);
    poll_live_code(&lc, 7999);
    EXPECT_EQ(live_code_notice(lc, 7999), "building\u2026 4 s");
    poll_live_code(&lc, 8000); // the bound: the build's process group is killed
    unlink((fb.dir.path + "/hold").c_str());
    finish_live_code(&lc, 8100);
    EXPECT_EQ(lc.errors, "the scene build ran over 5 s and was stopped: " + fb.dir.path + "/build.sh --build " +
                             fb.dir.path + "/build --target live_scenes\n");
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_B_COLOUR);

    const std::string cmd = "rm -rf '" + fb.dir.path + "/build/live'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    fb.save(4, "a");
    poll_live_code(&lc, 9000);
    settle(&lc, 9100);
    EXPECT_EQ(lc.errors, "");
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_A_COLOUR);

    // A build command that cannot run says why.
    chmod((fb.dir.path + "/build.sh").c_str(), 0600);
    fb.save(5, "b");
    poll_live_code(&lc, 10000);
    settle(&lc, 10100);
    EXPECT_EQ(lc.errors, "cannot run " + fb.dir.path + "/build.sh: Permission denied\n");
    stop_live_code(&lc);
}

// A build starts at the lowest priority and is raised, with its worker,
// once it has run build_raise_ms; without the right to lower a niceness
// again it starts at the raised one.
TEST(LiveCode, ALongBuildIsRaised)
{
    const BuildPriority unprivileged = build_priority(0, 0, false), capable = build_priority(0, 0, true);
    EXPECT_EQ(unprivileged.start, 10);
    EXPECT_EQ(unprivileged.raised, 10);
    EXPECT_EQ(capable.start, 19);
    EXPECT_EQ(capable.raised, 10);
    EXPECT_EQ(build_priority(5, 4, false).start, 15);
    EXPECT_EQ(build_priority(5, 5, false).start, 19);
    EXPECT_EQ(build_priority(15, 0, false).raised, 19);

    FakeBuild fb;
    SampleState state;
    LiveCode lc;
    std::string error;
    ASSERT_TRUE(start_live_code(&lc, fb.dir.path + "/build", STATE_LAYOUT, &error)) << error;
    settle(&lc, 0);
    const BuildPriority own = own_build_priority();
    EXPECT_EQ(lc.priority.start, own.start);
    if (own.start == own.raised)
        GTEST_SKIP() << "this process may not lower a niceness";
    write_file(fb.dir.path + "/hold", "");
    fb.save(1, "b");
    poll_live_code(&lc, 3000);
    ASSERT_NE(lc.job, nullptr);
    for (int i = 0; i < 10000 && (lc.job->pid <= 0 || lc.job->worker <= 0); i++)
        usleep(1000);
    const pid_t group = lc.job->pid, worker = lc.job->worker;
    ASSERT_GT(group, 0);
    EXPECT_EQ(getpriority(PRIO_PGRP, static_cast<id_t>(group)), 19);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(worker)), 19);
    poll_live_code(&lc, 3000 + lc.build_raise_ms - 1);
    EXPECT_EQ(getpriority(PRIO_PGRP, static_cast<id_t>(group)), 19);
    poll_live_code(&lc, 3000 + lc.build_raise_ms);
    EXPECT_EQ(getpriority(PRIO_PGRP, static_cast<id_t>(group)), own.raised);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(worker)), own.raised);
    unlink((fb.dir.path + "/hold").c_str());
    settle(&lc, 5000);
    live_scenes(lc)->scenes[0].draw(FrameTime{});
    EXPECT_EQ(state.pixels[0], SAMPLE_B_COLOUR);
    stop_live_code(&lc);
}

TEST(LiveCode, CompilerErrorsAndDependencyListing)
{
    const std::string log =
        "[1/3] Building CXX object CMakeFiles/live_scenes.dir/src/scenes/fire.cpp.o\n"
        "FAILED: CMakeFiles/live_scenes.dir/src/scenes/fire.cpp.o\n"
        "/w/src/scenes/fire.cpp: In function 'void draw_fire()':\n"
        "/w/src/scenes/fire.cpp:40:5: error: 'x' was not declared in this scope\n"
        "/w/src/scenes/fire.cpp:41:1: warning: unused variable 'y'\n"
        "/w/src/scenes/fire.h:7: error: no column here\n"
        "/other/gen.h:3:9: fatal error: missing.h: No such file or directory\n"
        "/w/src/scenes/fire.cpp:50:2: error: a fourth one\n";
    EXPECT_EQ(first_build_errors(log, "/w", 3),
              "src/scenes/fire.cpp:40: 'x' was not declared in this scope\n"
              "src/scenes/fire.h:7: no column here\n"
              "/other/gen.h:3: missing.h: No such file or directory\n");
    EXPECT_EQ(first_build_errors("ninja: error: loading 'build.ninja'\n", "/w", 3), "");

    LiveBuild b;
    b.dir = "/w/build";
    b.source_dir = "/w";
    b.objects = "CMakeFiles/live_scenes.dir/";
    const std::string listing =
        "CMakeFiles/live_scenes.dir/src/scenes/fire.cpp.o: #deps 4, deps mtime 1 (VALID)\n"
        "    /w/src/scenes/fire.cpp\n"
        "    /w/src/state/state.h\n"
        "    /usr/include/SDL2/SDL.h\n"
        "    generated/studio/state_layout.h\n"
        "\n"
        "CMakeFiles/demo_core.dir/src/text/overlay.cpp.o: #deps 2, deps mtime 1 (VALID)\n"
        "    /w/src/text/overlay.cpp\n"
        "\n"
        "CMakeFiles/live_scenes.dir/src/scenes/landscape.cpp.o: #deps 2, deps mtime 1 (STALE)\n"
        "    ../src/scenes/landscape.h\n"
        "    /w/src/state/state.h\n";
    EXPECT_EQ(library_dependencies(listing, b),
              (std::vector<std::string>{"/w/src/scenes/fire.cpp", "/w/src/scenes/landscape.h",
                                        "/w/src/state/state.h"}));
}

TEST(LiveCode, StudioOptions)
{
    StudioArgs a;
    std::string text;
    const char *named[] = {"studio", "--build", "/b", "t.txt"};
    ASSERT_EQ(parse_studio_args(4, named, &a, &text), STUDIO_ARGS_OK) << text;
    EXPECT_EQ(a.build, "/b");
    EXPECT_TRUE(a.live_code);
    const char *off[] = {"studio", "--no-live-code"};
    ASSERT_EQ(parse_studio_args(2, off, &a, &text), STUDIO_ARGS_OK) << text;
    EXPECT_FALSE(a.live_code);
    const char *both[] = {"studio", "--build", "/b", "--no-live-code"};
    EXPECT_EQ(parse_studio_args(4, both, &a, &text), STUDIO_ARGS_BAD);
    EXPECT_EQ(a.build_timeout, 120.0);
    const char *bound[] = {"studio", "--build-timeout", "2.5"};
    ASSERT_EQ(parse_studio_args(3, bound, &a, &text), STUDIO_ARGS_OK) << text;
    EXPECT_EQ(a.build_timeout, 2.5);
    for (const char *bad : {"0", "-1", "nan", "2s"}) {
        const char *args[] = {"studio", "--build-timeout", bad};
        ASSERT_EQ(parse_studio_args(3, args, &a, &text), STUDIO_ARGS_BAD) << bad;
        EXPECT_EQ(text, "studio: --build-timeout: '" + std::string(bad) + "' is not a positive number of seconds\n" +
                            STUDIO_USAGE + "\n");
    }
    const char *unused[] = {"studio", "--no-live-code", "--build-timeout", "5"};
    EXPECT_EQ(parse_studio_args(4, unused, &a, &text), STUDIO_ARGS_BAD);
    const char *empty[] = {"studio", "--build", ""};
    ASSERT_EQ(parse_studio_args(3, empty, &a, &text), STUDIO_ARGS_BAD);
    EXPECT_EQ(text, std::string("studio: --build: an empty folder name\n") + STUDIO_USAGE + "\n");
}

} // namespace
