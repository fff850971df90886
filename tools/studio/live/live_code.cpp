// live_code.cpp - watching the scene sources, starting builds and swapping
// in their libraries while the studio plays (the manual is in live_code.h).
#include "studio/live/live_code.h"
#include "studio/live/live_build.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

// The watched files are looked at this often (as the timeline source).
constexpr uint64_t LIVE_LOOK_MS = 50;
// Frames at the studio's start, left out of the frame figures: the first
// frames upload the window's textures and start the sound, build or none.
constexpr uint64_t LIVE_START_FRAMES = 30;
// How long the last result stays on the HUD.
constexpr uint64_t LIVE_NOTICE_MS = 5000;
// Compiler errors shown in the box; the rest are in the build's own output.
constexpr int LIVE_ERRORS_SHOWN = 8;

// ---- The worker --------------------------------------------------------------------

static uint64_t microseconds()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// ---- Bounds of a build ----------------------------------------------------------------

// A build (or a listing) running longer than the bound is stopped: its whole
// process group is killed, and the worker then ends as after any failure.
static void stop_overlong_job(LiveCode *lc, uint64_t now_ms)
{
    LiveJob *job = lc->job.get();
    if (!job || job->done || job->timed_out || now_ms < job->started_ms + lc->build_timeout_ms)
        return;
    job->timed_out = true;
    job->cancel = true; // a child not started yet is killed as soon as it is
    const pid_t pid = job->pid;
    if (pid > 0)
        kill(-pid, SIGKILL);
}

static std::string build_timeout_message(const LiveCode &lc)
{
    char text[64];
    std::snprintf(text, sizeof text, "the scene build ran over %.0f s and was stopped: ",
                  static_cast<double>(lc.build_timeout_ms) / 1000.0);
    return text + lc.build.cmake + " --build " + lc.build.dir + " --target " + lc.build.target + "\n";
}

// "building…", with the seconds so far once it takes more than one; the
// first build says that the studio's own scenes draw meanwhile.
static std::string building_notice(const LiveCode &lc, uint64_t now_ms)
{
    std::string text = lc.first_build ? "building the scenes on disk\u2026" : "building\u2026";
    const uint64_t ms = now_ms > lc.job->started_ms ? now_ms - lc.job->started_ms : 0;
    if (ms >= 1000)
        text += " " + std::to_string(ms / 1000) + " s";
    if (lc.first_build)
        text += " (the built-in scenes draw meanwhile)";
    return text;
}

static void say(LiveCode *lc, const std::string &notice, uint64_t now_ms);

static void start_job(LiveCode *lc, bool build, uint64_t now_ms)
{
    if (build) {
        // A compiler would wait for ever on a FIFO put in a source's place.
        const std::string odd = odd_watched_file(lc->watched, lc->build.source_dir);
        if (!odd.empty()) {
            lc->errors = odd + ": no scene build until it is a regular file again\n";
            std::fprintf(stderr, "studio: %s", lc->errors.c_str());
            std::fflush(stderr);
            say(lc, "scene build refused: the old code draws", now_ms);
            return;
        }
    }
    auto job = std::make_shared<LiveJob>();
    job->build = build;
    job->started_ms = now_ms;
    job->niceness = lc->priority.start;
    job->idle = lc->priority.idle;
    job->layout = lc->layout;
    if (build) {
        lc->changed_ms = now_ms;
        lc->longest_building_frame_us = 0;
    }
    const std::string name = "scenes-" + std::to_string(++lc->serial) + ".so";
    job->thread = std::thread(run_live_job, job.get(), lc->build, lc->copy_dir, name, lc->library_seen);
    lc->job = job;
}

// The *.cpp names of a folder, sorted (none when it cannot be read).
static std::vector<std::string> folder_units(const std::string &dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".cpp")
            names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// True when the scene folder gained or lost a unit since it was last seen
// (looked into only when the folder itself changed).
static bool scene_units_changed(LiveCode *lc)
{
    const std::string dir = lc->build.source_dir + "/src/scenes";
    const FileIdentity id = identity_of_path(dir);
    if (!id.valid || same_identity(id, lc->folder_seen))
        return false;
    lc->folder_seen = id;
    std::vector<std::string> units = folder_units(dir);
    if (units == lc->folder_units)
        return false;
    lc->folder_units = std::move(units);
    return true;
}

// The sources live_scenes.txt lists now (a configure may have added a unit).
static void read_listed_sources(LiveCode *lc)
{
    LiveBuild fresh;
    std::string error;
    if (read_live_build(lc->build.dir, &fresh, &error) && fresh.sources != lc->build.sources)
        lc->build.sources = std::move(fresh.sources);
}

static void set_watched(LiveCode *lc, const std::vector<std::string> &dependencies)
{
    std::vector<std::string> files = lc->build.sources;
    files.insert(files.end(), dependencies.begin(), dependencies.end());
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    std::vector<FileIdentity> seen;
    for (const std::string &f : files) {
        const auto at = std::find(lc->watched.begin(), lc->watched.end(), f);
        seen.push_back(at != lc->watched.end() ? lc->seen[at - lc->watched.begin()] : identity_of_path(f));
    }
    lc->watched = std::move(files);
    lc->seen = std::move(seen);
}

static void say(LiveCode *lc, const std::string &notice, uint64_t now_ms)
{
    lc->notice = notice;
    lc->notice_until_ms = now_ms + LIVE_NOTICE_MS;
}

// Between two frames: the finished job's library, opened and checked by the
// worker, replaces the one drawing.
static void swap_in(LiveCode *lc, LiveJob *job, uint64_t now_ms)
{
    lc->library_seen = job->library; // this file is not offered again
    if (!job->loaded) {
        lc->errors = "scene library refused: " + job->load_error + "\n";
        std::fprintf(stderr, "studio: %s", lc->errors.c_str());
        std::fflush(stderr);
        say(lc, "scene library refused: the old code draws", now_ms);
        return;
    }
    const uint64_t start_us = microseconds();
    close_scene_library(&lc->current);
    lc->current = job->library_loaded;
    job->library_loaded = SceneLibrary{};
    lc->last_swap_us = microseconds() - start_us;
    lc->last_load_us = job->load_us;
    lc->swaps++;
    lc->errors.clear();
    char text[64];
    std::snprintf(text, sizeof text, lc->first_build ? "scenes on disk loaded in %.1f s" : "scenes rebuilt in %.1f s",
                  static_cast<double>(now_ms - lc->changed_ms) / 1000.0);
    say(lc, text, now_ms);
    lc->swap_line_due = true;
}

static void take_job(LiveCode *lc, uint64_t now_ms)
{
    std::shared_ptr<LiveJob> job = std::move(lc->job);
    if (job->thread.joinable())
        job->thread.join();
    if (job->build && job->status == 0)
        read_listed_sources(lc);
    if (job->listed)
        set_watched(lc, job->dependencies);
    if (!job->build)
        return;
    if (job->status != 0) {
        lc->errors = job->timed_out ? build_timeout_message(*lc)
                     : job->status < 0 ? job->start_error + "\n"
                                       : first_build_errors(job->log, lc->build.source_dir, LIVE_ERRORS_SHOWN);
        if (lc->errors.empty()) // no compiler error: the build's own last line says why
            lc->errors = "the scene build failed (exit status " + std::to_string(job->status) + "): " +
                         last_output_line(job->log) + "\n";
        std::fprintf(stderr, "studio: the scene build failed; the old code draws:\n%s", lc->errors.c_str());
        std::fflush(stderr);
        say(lc, "scene build failed: the old code draws", now_ms);
    } else if (!job->copy_error.empty()) {
        lc->errors = "scene library not copied: " + job->copy_error + "\n";
        std::fprintf(stderr, "studio: %s", lc->errors.c_str());
        std::fflush(stderr);
    } else if (job->copy.empty()) {
        lc->errors.clear();
        say(lc, "scenes up to date", now_ms);
    } else {
        swap_in(lc, job.get(), now_ms);
    }
    lc->first_build = false;
    // The build may have met new includes: list the dependencies again,
    // unless another build is due anyway.
    if (job->status == 0 && !lc->again)
        start_job(lc, false, now_ms);
}

// True when a watched file changed since it was last seen. A file that is
// missing for a moment (an editor saving by rename) counts once it is back.
static bool sources_changed(LiveCode *lc)
{
    bool changed = scene_units_changed(lc);
    for (size_t i = 0; i < lc->watched.size(); i++) {
        const FileIdentity id = identity_of_path(lc->watched[i]);
        if (!id.valid || same_identity(id, lc->seen[i]))
            continue;
        lc->seen[i] = id;
        changed = true;
    }
    return changed;
}

bool start_live_code(LiveCode *lc, const std::string &build_dir, uint32_t layout, std::string *error)
{
    if (!read_live_build(build_dir, &lc->build, error))
        return false;
    std::string dir;
    if (!make_copy_dir(lc->build.library, &dir, error))
        return false;
    lc->copy_dir = dir;
    lc->layout = layout;
    lc->priority = own_build_priority();
    // The library on disk, or one built from the sources on disk (the build
    // does nothing when it is up to date), draws from the start: the
    // studio's own scenes may be older than both.
    lc->library_seen = FileIdentity{};
    lc->first_build = true;
    lc->folder_seen = identity_of_path(lc->build.source_dir + "/src/scenes");
    lc->folder_units = folder_units(lc->build.source_dir + "/src/scenes");
    set_watched(lc, {});
    start_job(lc, true, 0);
    return true;
}

void poll_live_code(LiveCode *lc, uint64_t now_ms)
{
    const uint64_t now_us = microseconds();
    uint64_t frame_us = lc->last_poll_us != 0 ? now_us - lc->last_poll_us : 0;
    lc->last_poll_us = now_us;
    if (++lc->polls <= LIVE_START_FRAMES)
        frame_us = 0;
    if (lc->swap_line_due) {
        lc->swap_line_due = false;
        std::printf("studio: %s (swap %.1f ms, its frame %.0f ms; longest frame while building %.0f ms, "
                    "before %.0f ms; loaded beside the frames in %.1f ms)\n",
                    lc->notice.c_str(), static_cast<double>(lc->last_swap_us) / 1000.0,
                    static_cast<double>(frame_us) / 1000.0,
                    static_cast<double>(lc->longest_building_frame_us) / 1000.0,
                    static_cast<double>(lc->longest_quiet_frame_us) / 1000.0,
                    static_cast<double>(lc->last_load_us) / 1000.0);
        std::fflush(stdout);
        lc->longest_quiet_frame_us = 0;
    } else if (lc->job && lc->job->build) {
        lc->longest_building_frame_us = std::max(lc->longest_building_frame_us, frame_us);
    } else {
        lc->longest_quiet_frame_us = std::max(lc->longest_quiet_frame_us, frame_us);
    }
    stop_overlong_job(lc, now_ms);
    if (lc->job)
        raise_job(lc->job.get(), now_ms, lc->build_raise_ms, lc->priority.raised);
    if (lc->job && lc->job->done)
        take_job(lc, now_ms);
    if (now_ms >= lc->next_look_ms) {
        lc->next_look_ms = now_ms + LIVE_LOOK_MS;
        if (sources_changed(lc)) {
            if (lc->job) {
                if (!lc->again)
                    lc->again_ms = now_ms;
                lc->again = true;
            } else
                start_job(lc, true, now_ms);
        }
    }
    if (!lc->job && lc->again) {
        lc->again = false;
        start_job(lc, true, lc->again_ms);
    }
}

void finish_live_code(LiveCode *lc, uint64_t now_ms)
{
    if (lc->job) {
        lc->job->thread.join();
        take_job(lc, now_ms);
    }
}

void stop_live_code(LiveCode *lc)
{
    if (lc->job) {
        lc->job->cancel = true;
        const pid_t pid = lc->job->pid;
        if (pid > 0)
            kill(-pid, SIGTERM);
        lc->job->thread.join();
        lc->job.reset();
    }
    close_scene_library(&lc->current);
    if (!lc->copy_dir.empty()) {
        remove_copy_dir(lc->copy_dir);
        lc->copy_dir.clear();
    }
}

const SceneLibraryTable *live_scenes(const LiveCode &lc)
{
    return lc.current.handle ? lc.current.table : nullptr;
}

std::string live_code_notice(const LiveCode &lc, uint64_t now_ms)
{
    if (lc.job && lc.job->build)
        return building_notice(lc, now_ms);
    return now_ms < lc.notice_until_ms ? lc.notice : "";
}
