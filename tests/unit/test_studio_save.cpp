// The studio's save of the timeline source (tools/studio/files/save.h): an outside
// save that lands at the worst moment is kept and taken (with the exchange
// and without it), one that does not parse is never written over, a
// version that cannot be read turns editing off until one can, a symlinked
// timeline is edited through its link, a read-only one is never replaced,
// the file's mode is kept, things planted at the temporary names are left
// alone, and saves land in order without the watch reloading them.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/output_file.h"
#include "common/place_files.h"
#include "studio/editor/key_edit.h"
#include "studio/files/reload.h"
#include "studio/files/save.h"
#include "studio/command_frame.h"
#include "studio/studio_state.h"

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

// A file system without the exchange: every try fails as it does there.
int ExchangeTries = 0;
int no_exchange(const char *, const char *)
{
    ExchangeTries++;
    errno = ExchangeTries % 2 ? EINVAL : ENOTSUP;
    return -1;
}

struct SourceSave : ::testing::Test {
    fs::path dir, file;
    Studio studio;
    TimelineWatch &watch = studio.watch;
    KeyEditor &editor = studio.editor.model;
    SourceSaver &saver = studio.saver;
    int scene = find_timeline_track("scene");
    int (*const RealExchange)(const char *, const char *) = PlaceExchangeNames;

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
        PlaceExchangeNames = RealExchange;
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
        studio.live = true;
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
    // Makes the next saves go with the exchange or without it.
    void use_exchange(bool exchange)
    {
        PlaceExchangeNames = exchange ? RealExchange : no_exchange;
        ExchangeTries = 0;
    }
    // An outside save by rename: another file in place.
    void replace_from_outside(const std::string &text)
    {
        put(dir / "outside", text);
        fs::rename(dir / "outside", file);
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
    std::string message;
    int scene_value = 0;
    for (const bool exchange : {true, false}) {
        use_exchange(exchange);
        const char *how = exchange ? "exchange" : "look, then rename";
        SaveHookBeforeReplace = save_from_outside;
        for (const bool in_place : {false, true}) {
            OutsideInPlace = in_place;
            // Another size each time (3, 33, 333...): a rewrite in place
            // may keep the modification time.
            OutsideText = source(std::to_string(scene_value = scene_value * 10 + 3));
            EXPECT_EQ(save(4.0f, &message), SAVE_CONFLICT) << how << (in_place ? ", in place" : ", renamed");
            EXPECT_NE(message.find("changed outside the studio"), std::string::npos) << message;
            EXPECT_EQ(read(file), OutsideText) << how;
            EXPECT_EQ(names_in(dir), std::set<std::string>{"timeline.txt"}) << "no temporary file left";
            // The watch reads that version at its next poll.
            EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
            EXPECT_EQ(watch.timeline.tracks[scene].keys[0].value, static_cast<float>(scene_value));
            load_key_editor(&editor, watch.taken, watch.timeline);
        }
        // Without a save in between, the next one goes in and is not reloaded.
        SaveHookBeforeReplace = nullptr;
        EXPECT_EQ(save(5.0f, &message), SAVE_DONE) << how << ": " << message;
        EXPECT_EQ(read(file).rfind("track scene\n  0:0  5 ", 0), 0u) << how;
        EXPECT_EQ(names_in(dir), std::set<std::string>{"timeline.txt"});
        EXPECT_EQ(poll(), WATCH_UNCHANGED) << how;
        EXPECT_EQ(ExchangeTries, exchange ? 0 : 3) << "one try a save";
    }
}

TEST_F(SourceSave, AnOutsideSaveThatDoesNotParseIsNeverWrittenOver)
{
    open(file);
    std::string message;
    for (const bool exchange : {true, false}) {
        use_exchange(exchange);
        const char *how = exchange ? "exchange" : "look, then rename";
        // It lands while a save of ours is on its way: kept.
        OutsideInPlace = false;
        OutsideText = source("3") + "a bad line\n";
        SaveHookBeforeReplace = save_from_outside;
        EXPECT_EQ(save(4.0f, &message), SAVE_CONFLICT) << how;
        SaveHookBeforeReplace = nullptr;
        // Read once, it waits to be seen again before its errors show: in
        // that time editing is off, and a save already asked for is
        // turned away, not written over it.
        EXPECT_EQ(poll(), WATCH_UNCHANGED);
        EXPECT_NE(edit_refusal(studio), nullptr) << how;
        EXPECT_EQ(save(6.0f, &message), SAVE_CONFLICT) << how;
        EXPECT_EQ(read(file), OutsideText) << how;
        EXPECT_EQ(poll(), WATCH_NEW_ERRORS) << how;
        EXPECT_NE(edit_refusal(studio), nullptr) << how;
        EXPECT_EQ(read(file), OutsideText) << how;
        // Mended outside: taken, and the studio's saves go in again.
        replace_from_outside(source("8"));
        EXPECT_EQ(poll(), WATCH_NEW_TIMELINE) << how;
        load_key_editor(&editor, watch.taken, watch.timeline);
        EXPECT_EQ(edit_refusal(studio), nullptr) << how;
        EXPECT_EQ(save(5.0f, &message), SAVE_DONE) << how << ": " << message;
        EXPECT_EQ(read(file), source("5")) << how;
    }
}

// Too large, a folder, a FIFO: the last version stays, editing is off
// (a save asked for anyway replaces nothing) until a version that can be
// read is back.
TEST_F(SourceSave, AVersionThatCannotBeReadTurnsEditingOffUntilOneCan)
{
    open(file);
    watch.max_bytes = 4096;
    std::string message;
    for (const bool exchange : {true, false}) {
        use_exchange(exchange);
        for (const char *kind : {"too large", "folder", "fifo"}) {
            const std::string how = std::string(kind) + (exchange ? ", exchange" : ", look then rename");
            const std::string large = source("2") + std::string(5000, '#');
            if (kind == std::string("too large")) {
                replace_from_outside(large);
            } else {
                fs::remove(file);
                if (kind == std::string("folder"))
                    fs::create_directory(file);
                else
                    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
            }
            const fs::file_type type = fs::symlink_status(file).type();
            EXPECT_EQ(poll(), WATCH_UNCHANGED) << how;
            EXPECT_EQ(poll(), WATCH_READ_ERROR) << how;
            EXPECT_TRUE(watch.unreadable) << how;
            const char *refusal = edit_refusal(studio);
            EXPECT_NE(std::string(refusal ? refusal : "").find("cannot be read"), std::string::npos) << how;
            if (request(6.0f, &message))
                finish_source_saves(&saver, &watch, &message);
            EXPECT_EQ(fs::symlink_status(file).type(), type) << how;
            if (type == fs::file_type::regular) {
                EXPECT_TRUE(read(file) == large) << how;
            }
            EXPECT_EQ(poll(), WATCH_UNCHANGED) << how << ": still the same version";
            EXPECT_NE(edit_refusal(studio), nullptr) << how;
            // A version that can be read comes back: the text last taken
            // (as a backup put back), so nothing new to take.
            fs::remove(file);
            put(file, watch.taken);
            EXPECT_EQ(poll(), WATCH_UNCHANGED) << how;
            EXPECT_FALSE(watch.unreadable);
            EXPECT_EQ(edit_refusal(studio), nullptr) << how;
            EXPECT_EQ(save(5.0f, &message), SAVE_DONE) << how << ": " << message;
            EXPECT_EQ(read(file), source("5")) << how;
        }
    }
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
