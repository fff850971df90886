// live_build.h - the file side of the studio's live scene code: the build
// and the dependency listing as child processes on a worker thread, their
// output, and the folder of library copies (live_code.h has the manual).
//
// Nothing here writes through a name someone else could have put in place:
// a child's output goes to a file created exclusively under a fresh name
// (common/output_file.h), which then replaces the log's name (a link there is
// replaced, never followed), and a library copy is created exclusively, the
// next name taken when one is in the way.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "studio/files/reload.h"
#include "studio/live/build_description.h"
#include "studio/live/scene_loader.h"

// How a build shares the processor with the frame loop. It starts at the
// lowest priority, so that on a quiet machine the compiler only takes what
// the frames leave; one that has not finished after a while is raised, so
// that busy programs beside the studio do not starve it. Lowering a niceness
// again needs the right to (CAP_SYS_NICE, or room in RLIMIT_NICE): without
// it a build starts at the raised niceness and stays there.
struct BuildPriority {
    int start = 19;  // niceness at start (absolute)
    int raised = 19; // niceness once it runs long
};

// The plan for a process of niceness `own`, with RLIMIT_NICE's soft limit
// `nice_limit` and CAP_SYS_NICE or not: raised is own + 10 (at most 19).
BuildPriority build_priority(int own, unsigned long nice_limit, bool cap_sys_nice);

// The plan for this process.
BuildPriority own_build_priority();

struct LiveJob {
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<pid_t> pid{0};      // the child running now
    std::atomic<pid_t> worker{0};   // the worker thread's own id
    std::atomic<bool> cancel{false};
    bool build = false;             // false: only the dependency listing
    uint64_t started_ms = 0;        // the studio's clock when it started
    bool timed_out = false;         // stopped for running over the bound (main thread)
    int niceness = 19;              // the worker's and its children's, set by the main thread
    bool raised = false;            // raised to the plan's second niceness (main thread)
    uint32_t layout = 0;            // the layout number a library must have
    // Results, read by the main thread once `done` is set.
    int status = 0;                 // the build's exit status, -1: not started
    std::string start_error;
    std::string log;
    bool listed = false;
    std::vector<std::string> dependencies;
    FileIdentity library;           // the library file after a good build
    std::string copy;               // its copy, when it is a new one
    std::string copy_error;
    // The copy opened and checked on the worker (open_scene_library), so
    // that a swap is only an exchange of pointers: `loaded` when it passed,
    // otherwise the reason in load_error. A job dropped before the main
    // thread takes its library closes it.
    bool loaded = false;
    SceneLibrary library_loaded;
    std::string load_error;
    uint64_t load_us = 0;           // the time the worker took to open it
    LiveJob() = default;
    LiveJob(const LiveJob &) = delete;
    LiveJob &operator=(const LiveJob &) = delete;
    ~LiveJob() { close_scene_library(&library_loaded); }
};

// Raises a job that has run `after_ms` since it started (the build's process
// group and the worker thread) to `niceness`. False while there is nothing
// to raise yet or it is not due.
bool raise_job(LiveJob *job, uint64_t now_ms, uint64_t after_ms, int niceness);

// The worker: the build (when job->build) with a copy of a new library into
// copy_dir, named after `copy_name` ("scenes-7.so", or "scenes-7-1.so" when
// that is taken), opened and checked against job->layout, or the dependency
// listing. All of it at job->niceness. Sets job->done last.
void run_live_job(LiveJob *job, LiveBuild build, std::string copy_dir, std::string copy_name,
                  FileIdentity loaded);

// Copies a file to a new name (created exclusively, mode 0700). False with
// the system's reason.
bool copy_library_file(const std::string &from, const std::string &to, std::string *error);

// Removes the folder of copies with what is in it: names only (a link is
// removed, not followed), and nothing below a folder found in it.
void remove_copy_dir(const std::string &dir);

// Makes the folder of copies beside `library`, "loaded-PID" (or
// "loaded-PID-N"), after taking away the folders that studios which are gone
// left there. False with the reason.
bool make_copy_dir(const std::string &library, std::string *dir, std::string *error);

// The first of `files` that is there but is no regular file (a FIFO, a
// folder, a device), as "NAME: not a regular file (a FIFO)", NAME from
// `source_dir` on when it is under it; "" when there is none.
std::string odd_watched_file(const std::vector<std::string> &files, const std::string &source_dir);
