// reload.cpp - looking at, reading and parsing the watched timeline source.
#include "studio/files/reload.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "common/read_file.h"

// One read and parse, run on its own thread; the fields below `done` belong
// to the thread until `done` is set.
struct WatchJob {
    std::thread thread;
    std::atomic<bool> done{false};
    std::string path;
    size_t max_bytes = 0;
    std::vector<std::string> declared;
    bool read_ok = false;
    std::string read_error;
    FileIdentity identity; // of the opened descriptor, before reading
    std::string text;
    bool parsed_ok = false;
    Timeline timeline;
    std::string errors;

    // A watch dropped with a read in flight waits for it here.
    ~WatchJob()
    {
        if (thread.joinable())
            thread.join();
    }
};

static std::string too_large(const std::string &path, size_t max_bytes)
{
    return path + ": larger than " + std::to_string(max_bytes) + " bytes";
}

// Through the tools' one reader: opened without blocking (a FIFO put in
// place of the file must not stall), and only what the opened descriptor
// shows to be a regular file within the size limit is read.
static void read_source(WatchJob *job)
{
    struct stat st;
    std::string error;
    job->read_ok = read_whole_file(job->path, job->max_bytes, &job->text, &error, &st);
    if (st.st_mode != 0)
        job->identity = file_identity(st);
    if (!job->read_ok)
        job->read_error = error;
}

static void run_job(WatchJob *job)
{
    read_source(job);
    if (job->read_ok)
        job->parsed_ok = parse_timeline(job->text, job->path, job->declared, &job->timeline, &job->errors);
    job->done.store(true, std::memory_order_release);
}

static void start_job(TimelineWatch *w)
{
    auto job = std::make_shared<WatchJob>();
    job->path = w->path;
    job->max_bytes = w->max_bytes;
    job->declared = w->declared;
    w->reads++;
    w->job_stale = false;
    job->thread = std::thread(run_job, job.get());
    w->job = std::move(job);
}

// A reason the file cannot be read: noted at once, reported when it has held
// for two polls.
static WatchResult note_read_error(TimelineWatch *w, const std::string &reason)
{
    if (w->unreadable && reason == w->read_error) {
        if (!w->read_error_reported && ++w->read_error_polls >= 2) {
            w->read_error_reported = true;
            return WATCH_READ_ERROR;
        }
        return WATCH_UNCHANGED;
    }
    w->unreadable = true;
    w->read_error = reason;
    w->read_error_polls = 1;
    w->read_error_reported = false;
    return WATCH_UNCHANGED;
}

static void clear_read_error(TimelineWatch *w)
{
    w->unreadable = false;
    w->read_error.clear();
    w->read_error_polls = 0;
    w->read_error_reported = false;
}

static WatchResult take_errors(TimelineWatch *w, std::string text, std::string errors,
                               const FileIdentity &from)
{
    if (errors.empty())
        errors = w->path + ":1: the timeline does not parse\n";
    w->errors = std::move(errors);
    w->taken = std::move(text);
    w->taken_file = from;
    w->has_pending = false;
    w->pending.clear();
    w->pending_errors.clear();
    return WATCH_NEW_ERRORS;
}

// A text read from the file with its parse. A good one is taken; a bad one
// only when it was read the same before (else it waits as `pending`).
static WatchResult take(TimelineWatch *w, WatchJob *job)
{
    if (job->text == w->taken) {
        w->has_pending = false; // a half-written state that went back
        w->pending.clear();
        w->taken_file = job->identity; // (or the same text saved again)
        return WATCH_UNCHANGED;
    }
    if (!job->parsed_ok) {
        if (w->has_pending && job->text == w->pending)
            return take_errors(w, std::move(job->text), std::move(job->errors), job->identity);
        w->pending = std::move(job->text);
        w->pending_errors = std::move(job->errors);
        w->has_pending = true;
        return WATCH_UNCHANGED;
    }
    w->timeline = std::move(job->timeline);
    w->has_timeline = true;
    w->errors.clear();
    w->taken = std::move(job->text);
    w->taken_file = job->identity;
    w->has_pending = false;
    w->pending.clear();
    return WATCH_NEW_TIMELINE;
}

WatchResult finish_timeline_watch(TimelineWatch *w)
{
    if (!w->job)
        return WATCH_UNCHANGED;
    std::shared_ptr<WatchJob> job = std::move(w->job);
    if (job->thread.joinable())
        job->thread.join();
    if (w->job_stale) { // read before the studio's own save: that save stands
        w->job_stale = false;
        return WATCH_UNCHANGED;
    }
    w->seen = job->identity;
    if (!job->read_ok)
        return note_read_error(w, job->read_error);
    clear_read_error(w);
    return take(w, job.get());
}

void close_timeline_watch(TimelineWatch *w)
{
    if (w->job) {
        if (w->job->thread.joinable())
            w->job->thread.join();
        w->job.reset();
    }
}

WatchResult poll_timeline_watch(TimelineWatch *w)
{
    if (w->saving)
        return WATCH_UNCHANGED;
    if (w->job)
        return w->job->done.load(std::memory_order_acquire) ? finish_timeline_watch(w)
                                                            : WATCH_UNCHANGED;
    if (w->read_again) { // after a save of the studio's too: the names are new
        w->read_again = false;
        w->seen = FileIdentity{};
        w->taken.clear();
        w->has_pending = false;
        w->pending.clear();
    }
    struct stat st;
    if (stat(w->path.c_str(), &st) != 0) {
        w->seen = FileIdentity{};
        return note_read_error(w, w->path + ": " + std::strerror(errno));
    }
    const FileIdentity id = file_identity(st);
    if (same_file_identity(id, w->seen)) {
        if (w->unreadable)
            return note_read_error(w, w->read_error);
        if (w->has_pending) // the same bad text at a second poll: settled
            return take_errors(w, std::move(w->pending), std::move(w->pending_errors), w->seen);
        return WATCH_UNCHANGED;
    }
    if (!id.regular) {
        w->seen = id;
        return note_read_error(w, w->path + ": not a regular file");
    }
    if (static_cast<uint64_t>(id.size) > w->max_bytes) {
        w->seen = id;
        return note_read_error(w, too_large(w->path, w->max_bytes));
    }
    start_job(w);
    return WATCH_UNCHANGED;
}

bool open_timeline_watch(TimelineWatch *w, const std::string &path, WatchResult *result,
                         std::string *error)
{
    close_timeline_watch(w);
    *w = TimelineWatch{};
    w->path = path;
    start_job(w);
    std::shared_ptr<WatchJob> job = w->job;
    job->thread.join();
    if (!job->read_ok) {
        w->job.reset();
        *error = job->read_error;
        return false;
    }
    // At start a bad text is shown at once: nobody is half-way through a save.
    *result = finish_timeline_watch(w);
    if (w->has_pending)
        *result = take_errors(w, std::move(w->pending), std::move(w->pending_errors), w->seen);
    return true;
}

bool timeline_changed_outside(const TimelineWatch &w)
{
    if (w.saving)
        return false;
    if (w.job)
        return true;
    struct stat st;
    if (stat(w.path.c_str(), &st) != 0)
        return true;
    return !same_file_identity(file_identity(st), w.taken_file);
}

void note_own_save(TimelineWatch *w, std::string text, Timeline parsed,
                   const struct stat *written)
{
    if (w->job)
        w->job_stale = true;
    w->seen = written ? file_identity(*written) : identity_of_path(w->path);
    w->taken_file = w->seen;
    w->taken = std::move(text);
    w->timeline = std::move(parsed);
    w->has_timeline = true;
    w->errors.clear();
    w->has_pending = false;
    w->pending.clear();
    clear_read_error(w);
}

void set_declared_tracks(TimelineWatch *w, std::vector<std::string> names)
{
    if (names == w->declared)
        return;
    w->declared = std::move(names);
    if (w->job)
        w->job_stale = true; // parsed with the old names: dropped, and read again
    w->read_again = true;
}
