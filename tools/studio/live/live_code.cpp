// live_code.cpp - rebuilding, loading and swapping the scene library while
// the studio plays (the manual is in live_code.h).
#include "studio/live/live_code.h"
#include "studio/live/live_build.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/frame.h"
#include "state/state.h"
#include "timeline/timeline.h"

// The watched files are looked at this often (as the timeline source).
constexpr uint64_t LIVE_LOOK_MS = 50;
// How long the last result stays on the HUD.
constexpr uint64_t LIVE_NOTICE_MS = 5000;
// Compiler errors shown in the box; the rest are in the build's own output.
constexpr int LIVE_ERRORS_SHOWN = 8;

// ---- The build folder ---------------------------------------------------------

bool read_live_build(const std::string &dir, LiveBuild *out, std::string *error)
{
    *out = LiveBuild{};
    const std::string path = dir + "/live_scenes.txt";
    FILE *f = std::fopen(path.c_str(), "re");
    if (!f) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        std::string l = line;
        if (!l.empty() && l.back() == '\n')
            l.pop_back();
        const size_t space = l.find(' ');
        if (space == std::string::npos)
            continue;
        const std::string key = l.substr(0, space), value = l.substr(space + 1);
        if (key == "cmake") out->cmake = value;
        else if (key == "build") out->dir = value;
        else if (key == "target") out->target = value;
        else if (key == "library") out->library = value;
        else if (key == "generator") out->generator = value;
        else if (key == "make") out->make_program = value;
        else if (key == "source") out->source_dir = value;
        else if (key == "objects") out->objects = value;
        else if (key == "watch") out->sources.push_back(value);
    }
    std::fclose(f);
    if (out->cmake.empty() || out->dir.empty() || out->target.empty() || out->library.empty() ||
        out->source_dir.empty() || out->sources.empty()) {
        *error = path + ": not a scene library description (run cmake on the build folder again)";
        return false;
    }
    return true;
}

std::string own_build_dir()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "";
    exe[n] = '\0';
    std::string dir = exe;
    for (int up = 0; up < 2; up++) { // the program, then its folder
        const size_t slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return "";
        dir.resize(slash);
    }
    struct stat st;
    return stat((dir + "/live_scenes.txt").c_str(), &st) == 0 ? dir : "";
}

// ---- Loading a scene library -----------------------------------------------------

static std::string hex(uint32_t v)
{
    char s[16];
    std::snprintf(s, sizeof s, "0x%08" PRIx32, v);
    return s;
}

bool open_scene_library(const std::string &path, uint32_t layout, SceneLibrary *out,
                        std::string *error)
{
    *out = SceneLibrary{};
    dlerror();
    // Every symbol resolved now: a library that needs something the studio
    // lacks is refused here rather than failing in the middle of a frame.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        *error = why ? why : "the library cannot be opened";
        return false;
    }
    const auto *number = static_cast<const uint32_t *>(dlsym(handle, SCENE_LIBRARY_LAYOUT_SYMBOL));
    const auto *table = static_cast<const SceneLibraryTable *>(dlsym(handle, SCENE_LIBRARY_TABLE_SYMBOL));
    if (!number || !table) {
        *error = std::string("the library has no ") +
                 (!number ? SCENE_LIBRARY_LAYOUT_SYMBOL : SCENE_LIBRARY_TABLE_SYMBOL);
    } else if (*number != layout) {
        *error = "the library's state layout " + hex(*number) + " is not the studio's " +
                 hex(layout) + ": the process-wide state changed, rebuild and restart the studio";
    } else if (table->count <= 0 || !table->scenes) {
        *error = "the library's scene table is empty";
    } else {
        out->handle = handle;
        out->table = table;
        return true;
    }
    dlclose(handle);
    return false;
}

void close_scene_library(SceneLibrary *lib)
{
    if (lib->handle)
        dlclose(lib->handle);
    *lib = SceneLibrary{};
}

void render_frame_with(double seconds, const SceneLibraryTable &scenes)
{
    // render_frame's steps, with draw_scene's dispatch on the library's table.
    update_frame_values(seconds);
    clear_frame_buffers();
    const int index = current_scene_index();
    if (index >= 0 && index < scenes.count) {
        const SceneInfo &scene = scenes.scenes[index];
        scene.draw();
        if (scene.copies_target)
            SDL_RenderCopy(renderer, TargetTexture, nullptr, nullptr);
    }
    finish_frame(scenes.captions);
}

// ---- Reading what the build says -------------------------------------------------

static bool is_number(const std::string &s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// One line of GCC or clang, "FILE:LINE:COLUMN: error: text" (the column may
// be missing; "fatal error" for a missing header), taken apart.
static bool parse_error_line(const std::string &line, std::string *file, std::string *row,
                             std::string *text)
{
    size_t at = line.find(": error: "), skip = 9;
    const size_t fatal = line.find(": fatal error: ");
    if (fatal != std::string::npos && (at == std::string::npos || fatal < at)) {
        at = fatal;
        skip = 15;
    }
    if (at == std::string::npos)
        return false;
    const std::string where = line.substr(0, at);
    const size_t last = where.rfind(':');
    if (last == std::string::npos || !is_number(where.substr(last + 1)))
        return false;
    const std::string head = where.substr(0, last);
    const size_t before = head.rfind(':');
    if (before != std::string::npos && is_number(head.substr(before + 1))) {
        *file = head.substr(0, before);
        *row = head.substr(before + 1);
    } else {
        *file = head;
        *row = where.substr(last + 1);
    }
    *text = line.substr(at + skip);
    return !file->empty();
}

std::string first_build_errors(const std::string &log, const std::string &source_dir, int max)
{
    const std::string prefix = source_dir + "/";
    std::string errors, file, row, text;
    int count = 0;
    size_t start = 0;
    while (start < log.size() && count < max) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 1;
        if (!parse_error_line(line, &file, &row, &text))
            continue;
        if (file.compare(0, prefix.size(), prefix) == 0)
            file.erase(0, prefix.size());
        errors += file + ":" + row + ": " + text + "\n";
        count++;
    }
    return errors;
}

std::vector<std::string> library_dependencies(const std::string &listing, const LiveBuild &build)
{
    std::vector<std::string> files;
    const std::string source = build.source_dir + "/", binary = build.dir + "/";
    bool ours = false;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        std::string line = listing.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        if (line[0] != ' ') { // "TARGET: #deps N, deps mtime T (VALID)"
            ours = !build.objects.empty() && line.compare(0, build.objects.size(), build.objects) == 0;
            continue;
        }
        if (!ours)
            continue;
        line.erase(0, line.find_first_not_of(' '));
        if (line.empty())
            continue;
        if (line[0] != '/')
            line = binary + line;
        line = std::filesystem::path(line).lexically_normal().string();
        if (line.compare(0, source.size(), source) == 0 && line.compare(0, binary.size(), binary) != 0)
            files.push_back(line);
    }
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

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
    if (build) {
        lc->changed_ms = now_ms;
        lc->longest_building_frame_us = 0;
    }
    const std::string name = "scenes-" + std::to_string(++lc->serial) + ".so";
    job->thread = std::thread(run_live_job, job.get(), lc->build, lc->copy_dir, name, lc->library_seen);
    lc->job = job;
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

// Between two frames: the finished job's library replaces the one drawing.
static void swap_in(LiveCode *lc, LiveJob *job, uint64_t now_ms)
{
    SceneLibrary next;
    std::string why;
    const uint64_t start_us = microseconds();
    const bool ok = open_scene_library(job->copy, lc->layout, &next, &why);
    // The opened library stays mapped; the name is not needed any more.
    unlink(job->copy.c_str());
    lc->library_seen = job->library; // this file is not offered again
    if (!ok) {
        lc->errors = "scene library refused: " + why + "\n";
        std::fprintf(stderr, "studio: %s", lc->errors.c_str());
        std::fflush(stderr);
        say(lc, "scene library refused: the old code draws", now_ms);
        return;
    }
    close_scene_library(&lc->current);
    lc->current = next;
    lc->last_swap_us = microseconds() - start_us;
    lc->swaps++;
    lc->errors.clear();
    char text[64];
    std::snprintf(text, sizeof text, lc->first_build ? "scenes on disk loaded in %.1f s" : "scenes rebuilt in %.1f s",
                  static_cast<double>(now_ms - lc->changed_ms) / 1000.0);
    say(lc, text, now_ms);
    lc->swap_line_due = true;
}

static std::string last_line(const std::string &text)
{
    size_t end = text.find_last_not_of("\n");
    if (end == std::string::npos)
        return "";
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

static void take_job(LiveCode *lc, uint64_t now_ms)
{
    std::shared_ptr<LiveJob> job = std::move(lc->job);
    if (job->thread.joinable())
        job->thread.join();
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
                         last_line(job->log) + "\n";
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
    bool changed = false;
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
    // The library on disk, or one built from the sources on disk (the build
    // does nothing when it is up to date), draws from the start: the
    // studio's own scenes may be older than both.
    lc->library_seen = FileIdentity{};
    lc->first_build = true;
    set_watched(lc, {});
    start_job(lc, true, 0);
    return true;
}

void poll_live_code(LiveCode *lc, uint64_t now_ms)
{
    const uint64_t now_us = microseconds();
    const uint64_t frame_us = lc->last_poll_us != 0 ? now_us - lc->last_poll_us : 0;
    lc->last_poll_us = now_us;
    if (lc->swap_line_due) {
        lc->swap_line_due = false;
        std::printf("studio: %s (swap %.1f ms, its frame %.0f ms; longest frame while building %.0f ms, "
                    "before %.0f ms)\n",
                    lc->notice.c_str(), static_cast<double>(lc->last_swap_us) / 1000.0,
                    static_cast<double>(frame_us) / 1000.0,
                    static_cast<double>(lc->longest_building_frame_us) / 1000.0,
                    static_cast<double>(lc->longest_quiet_frame_us) / 1000.0);
        std::fflush(stdout);
        lc->longest_quiet_frame_us = 0;
    } else if (lc->job && lc->job->build) {
        lc->longest_building_frame_us = std::max(lc->longest_building_frame_us, frame_us);
    } else {
        lc->longest_quiet_frame_us = std::max(lc->longest_quiet_frame_us, frame_us);
    }
    stop_overlong_job(lc, now_ms);
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
