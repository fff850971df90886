// The studio's save of the timeline source (tools/studio/save.h): an outside
// save that lands at the worst moment is kept and taken, a symlinked
// timeline is edited through its link, a read-only one is never replaced,
// the file's mode is kept, things planted at the temporary names are left
// alone, and saves land in order without the watch reloading them.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/output_file.h"
#include "studio/key_edit.h"
#include "studio/reload.h"
#include "studio/save.h"

namespace fs = std::filesystem;

namespace {

// Every track with one key at row 0; "scene" holds `scene`.
std::string source(const std::string &scene)
{
    std::string s;
    for (const char *name : TimelineTrackNames)
        s += std::string("track ") + name + "\n  0:0  " + (name == std::string("scene") ? scene : "0") +
             "  hold\n";
    return s;
}

std::string read(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void put(const fs::path &p, const std::string &text)
{
    std::ofstream(p, std::ios::binary) << text;
}

// The outside save the hook makes: an editor's rename of a new file over
// the timeline, or a rewrite in place.
std::string OutsideText;
bool OutsideInPlace = false;

void save_from_outside(const std::string &path)
{
    if (OutsideInPlace) {
        put(path, OutsideText);
        return;
    }
    put(path + ".editor", OutsideText);
    fs::rename(path + ".editor", path);
}

struct SourceSave : ::testing::Test {
    fs::path dir, file;
    TimelineWatch watch;
    KeyEditor editor;
    SourceSaver saver;
    int scene = find_timeline_track("scene");

    void SetUp() override
    {
        char tmpl[] = "/tmp/studio_save_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        file = dir / "timeline.txt";
        put(file, source("7"));
    }
    void TearDown() override
    {
        SaveHookBeforeReplace = nullptr;
        std::string ignored;
        finish_source_saves(&saver, &watch, &ignored);
        close_timeline_watch(&watch);
        fs::remove_all(dir);
    }
    void open(const fs::path &path)
    {
        WatchResult first = WATCH_UNCHANGED;
        std::string error;
        ASSERT_TRUE(open_timeline_watch(&watch, path.string(), &first, &error)) << error;
        ASSERT_EQ(first, WATCH_NEW_TIMELINE);
        load_key_editor(&editor, watch.taken, watch.timeline);
    }
    // Sets the scene key to `value` in the editor and queues its save.
    bool request(float value, std::string *why)
    {
        KeyList keys = editor.keys[scene];
        keys[0].value = value;
        EXPECT_TRUE(apply_key_edit(&editor, {{scene, keys}}));
        return request_source_save(&saver, &watch, editor, why);
    }
    SaveOutcome save(float value, std::string *message)
    {
        if (!request(value, message))
            return SAVE_FAILED;
        return finish_source_saves(&saver, &watch, message);
    }
    WatchResult poll()
    {
        const WatchResult r = poll_timeline_watch(&watch);
        return watch.job ? finish_timeline_watch(&watch) : r;
    }
    std::set<std::string> names_in(const fs::path &folder)
    {
        std::set<std::string> names;
        for (const auto &e : fs::directory_iterator(folder))
            names.insert(e.path().filename().string());
        return names;
    }
};

TEST_F(SourceSave, AnOutsideSaveAtTheWorstMomentIsKeptAndTaken)
{
    open(file);
    SaveHookBeforeReplace = save_from_outside;
    std::string message;
    for (const bool in_place : {false, true}) {
        OutsideInPlace = in_place;
        OutsideText = source(in_place ? "30" : "3"); // another size each time
        EXPECT_EQ(save(4.0f, &message), SAVE_CONFLICT) << (in_place ? "in place" : "renamed");
        EXPECT_NE(message.find("changed outside the studio"), std::string::npos) << message;
        EXPECT_EQ(read(file), OutsideText);
        EXPECT_EQ(names_in(dir), std::set<std::string>{"timeline.txt"}) << "no temporary file left";
        // The watch reads that version at its next poll.
        EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
        EXPECT_EQ(watch.timeline.tracks[scene].keys[0].value, in_place ? 30.0f : 3.0f);
        load_key_editor(&editor, watch.taken, watch.timeline);
    }
    // Without a save in between, the next one goes in.
    SaveHookBeforeReplace = nullptr;
    EXPECT_EQ(save(5.0f, &message), SAVE_DONE) << message;
    EXPECT_EQ(read(file).rfind("track scene\n  0:0  5 ", 0), 0u) << read(file);
}

TEST_F(SourceSave, ASymlinkedTimelineIsEditedThroughItsLink)
{
    fs::create_directories(dir / "repo");
    fs::create_directories(dir / "work");
    fs::rename(file, dir / "repo" / "timeline.txt");
    fs::create_symlink("../repo/timeline.txt", dir / "work" / "timeline.txt");
    open(dir / "work" / "timeline.txt");
    std::string message;
    EXPECT_EQ(save(4.0f, &message), SAVE_DONE) << message;
    EXPECT_TRUE(fs::is_symlink(dir / "work" / "timeline.txt"));
    EXPECT_EQ(read(dir / "repo" / "timeline.txt"), source("4"));
    EXPECT_EQ(poll(), WATCH_UNCHANGED) << "the studio's own save is not reloaded";
    EXPECT_EQ(names_in(dir / "repo"), std::set<std::string>{"timeline.txt"});
}

TEST_F(SourceSave, AReadOnlyTimelineIsNeverReplacedEvenByRoot)
{
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    open(file);
    struct stat before{}, after{};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    std::string why;
    EXPECT_FALSE(request(4.0f, &why));
    EXPECT_EQ(why, file.string() + " is read-only (mode 0444): editing is off");
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(read(file), source("7"));
    EXPECT_FALSE(watch.saving);
}

TEST_F(SourceSave, ModeKeptPlantedNamesLeftAloneSavesInOrder)
{
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    put(dir / "victim", "precious");
    const std::string base = file.string() + ".tmp";
    ASSERT_EQ(symlink((dir / "victim").c_str(), unique_name(base, 0).c_str()), 0);
    ASSERT_EQ(mkfifo(unique_name(base, 1).c_str(), 0600), 0);
    ASSERT_EQ(link((dir / "victim").c_str(), unique_name(base, 2).c_str()), 0);
    open(file);
    std::string message;
    ASSERT_TRUE(request(4.0f, &message)) << message;
    ASSERT_TRUE(request(5.0f, &message)) << message; // waits behind the first
    ASSERT_TRUE(request(6.0f, &message)) << message; // takes the waiting one's place
    EXPECT_EQ(finish_source_saves(&saver, &watch, &message), SAVE_DONE) << message;
    EXPECT_EQ(read(file), source("6"));
    EXPECT_EQ(read(dir / "victim"), "precious");
    struct stat st{};
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(names_in(dir).size(), 5u) << "the file, the victim and what was planted";
    EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_FALSE(watch.saving);
}

} // namespace
