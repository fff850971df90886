// save.cpp - the re-parse check, the write and the checked exchange of the
// timeline source, on a worker thread.
#include "studio/files/save.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "common/output_file.h"
#include "common/place_files.h"
#include "common/platform.h"
#include "sync/track.h"

void (*SaveHookBeforeReplace)(const std::string &path) = nullptr;

// One save. The fields below `done` belong to the thread until `done` is set.
struct SaveJob {
    std::thread thread;
    std::atomic<bool> done{false};
    std::string path;       // as the watch names it (maybe a link)
    std::string text;
    std::vector<std::string> declared; // the tracks the scenes declare, as the editor has them
    std::vector<uint64_t> digests; // of the editor's keys, per track (declared ones last)
    FileIdentity expected;  // the file whose text the watch last took or saved
    SaveOutcome outcome = SAVE_FAILED;
    std::string why;
    Timeline parsed;
    struct stat written{};  // the new file, for the watch
    bool have_written = false;

    ~SaveJob()
    {
        if (thread.joinable())
            thread.join();
    }
};

// A 64-bit digest of a key list (rows, value bits, kinds, in order): the
// worker checks the parsed text against the editor's keys by it, so that a
// request copies no keys (a million of them take longer than a frame).
static uint64_t digest_keys(const SyncKey *keys, size_t count)
{
    uint64_t h = 0x9E3779B97F4A7C15ull ^ count;
    for (size_t i = 0; i < count; i++) {
        uint32_t value;
        std::memcpy(&value, &keys[i].value, sizeof value);
        const uint64_t word = (static_cast<uint64_t>(static_cast<uint32_t>(keys[i].row)) << 32 | value) ^
                              static_cast<uint64_t>(static_cast<uint32_t>(keys[i].kind)) * 0xC2B2AE3D27D4EB4Full;
        h = (h ^ word) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    return h;
}

// The text must parse and give exactly the editor's keys.
static bool check_text(SaveJob *job)
{
    std::string errors;
    if (!parse_timeline(job->text, job->path, job->declared, &job->parsed, &errors)) {
        job->why = "the rewritten source does not parse: " + errors.substr(0, errors.find('\n'));
        return false;
    }
    for (size_t t = 0; t < job->digests.size(); t++) {
        const size_t d = t - TIMELINE_TRACK_COUNT; // a declared track's index when t is past the own ones
        if (t >= TIMELINE_TRACK_COUNT && d >= job->parsed.declared.size()) {
            job->why = "the declared tracks changed while saving";
            return false;
        }
        const TimelineTrack &track = t < TIMELINE_TRACK_COUNT ? job->parsed.tracks[t] : job->parsed.declared[d];
        if (digest_keys(track.keys.data(), track.keys.size()) != job->digests[t]) {
            job->why = "the rewritten source reads back differently in track " + track.name;
            return false;
        }
    }
    return true;
}

// The file a save replaces: the one a symbolic link names (the link stays),
// else the path itself (also when nothing is there yet).
static std::string target_of(const std::string &path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : path;
}

// Why the file at `path` may not be replaced, or "" when it may: no write
// bit in its mode (root too: as editors do), or no write access for us.
static std::string read_only_reason(const std::string &path, const struct stat &st)
{
    if (!S_ISREG(st.st_mode))
        return path + " is not a regular file";
    if ((st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return path + " is read-only (mode " + mode + "): editing is off";
    }
    return {};
}

// Puts the written file in place of `target`, unless the file there is not
// the expected one.
static void replace_checked(SaveJob *job, OutputFile *out, const std::string &target)
{
    switch (place_output_file_checked(out, target, job->expected, &job->why)) {
    case PLACE_DONE:
        job->outcome = SAVE_DONE;
        break;
    case PLACE_OTHER_FILE:
        job->outcome = SAVE_CONFLICT;
        break;
    case PLACE_FAILED:
        break;
    }
}

static void write_source(SaveJob *job)
{
    const std::string target = target_of(job->path);
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) {
        job->why = read_only_reason(target, st);
        if (!job->why.empty())
            return;
    }
    OutputFile out;
    if (!open_output_file(target, &out, &job->why))
        return;
    if (!write_output_bytes(&out, job->text.data(), job->text.size(), &job->why) ||
        !close_output_file(&out, &job->why)) {
        discard_output_file(&out);
        return;
    }
    job->have_written = lstat(out.temporary.c_str(), &job->written) == 0;
    if (SaveHookBeforeReplace)
        SaveHookBeforeReplace(target);
    replace_checked(job, &out, target);
}

static void run_job(SaveJob *job)
{
    if (check_text(job))
        write_source(job);
    // The earlier saves' texts and parses (tens of MB on a large timeline)
    // went back to the allocator: its free pages go back to the system, so
    // the studio's memory follows what it holds rather than its busiest save.
    give_back_free_memory();
    job->done.store(true, std::memory_order_release);
}

static void start_job(SourceSaver *saver, TimelineWatch *watch, std::shared_ptr<SaveJob> job)
{
    job->expected = watch->taken_file;
    saver->running = std::move(job);
    saver->running->thread = std::thread(run_job, saver->running.get());
}

bool request_source_save(SourceSaver *saver, TimelineWatch *watch, const KeyEditor &editor,
                         std::string *why)
{
    struct stat st;
    if (stat(watch->path.c_str(), &st) == 0) {
        *why = read_only_reason(watch->path, st);
        if (!why->empty())
            return false;
    }
    auto job = std::make_shared<SaveJob>();
    job->path = watch->path;
    job->text = key_editor_text(editor);
    job->declared = editor.declared; // the text's sections for them read back as the editor's
    for (const KeyList &keys : editor.keys)
        job->digests.push_back(digest_keys(keys.data(), keys.size()));
    watch->saving = true;
    if (saver->running)
        saver->waiting = std::move(job);
    else
        start_job(saver, watch, std::move(job));
    return true;
}

// Takes the finished running job into the watch.
static SaveOutcome take_job(SourceSaver *saver, TimelineWatch *watch, std::string *message)
{
    std::shared_ptr<SaveJob> job = std::move(saver->running);
    job->thread.join();
    switch (job->outcome) {
    case SAVE_DONE:
        note_own_save(watch, std::move(job->text), std::move(job->parsed), job->have_written ? &job->written : nullptr);
        break;
    case SAVE_CONFLICT:
        // The waiting save holds the old text's edits too: it goes, and the
        // watch reads the outside version at its next poll (what it took
        // stays the one a later save may replace).
        saver->waiting.reset();
        watch->seen = FileIdentity{};
        *message = "the file was changed outside the studio: that version is kept and taken, "
                   "the last edit is not saved";
        break;
    default:
        *message = "not saved: " + job->why;
        break;
    }
    if (job->outcome != SAVE_DONE) // the HUD's line is soon replaced: this one stays
        std::fprintf(stderr, "studio: %s\n", message->c_str());
    if (saver->waiting)
        start_job(saver, watch, std::move(saver->waiting));
    else
        watch->saving = false;
    return job->outcome;
}

SaveOutcome poll_source_save(SourceSaver *saver, TimelineWatch *watch, std::string *message)
{
    if (!saver->running || !saver->running->done.load(std::memory_order_acquire))
        return SAVE_NONE;
    return take_job(saver, watch, message);
}

SaveOutcome finish_source_saves(SourceSaver *saver, TimelineWatch *watch, std::string *message)
{
    SaveOutcome last = SAVE_NONE;
    while (saver->running) {
        const SaveOutcome o = take_job(saver, watch, message);
        if (last == SAVE_NONE || last == SAVE_DONE)
            last = o;
    }
    return last;
}
