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

#include "studio/live/live_code.h"

struct LiveJob {
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<pid_t> pid{0};      // the child running now
    std::atomic<bool> cancel{false};
    bool build = false;             // false: only the dependency listing
    uint64_t started_ms = 0;        // the studio's clock when it started
    bool timed_out = false;         // stopped for running over the bound (main thread)
    // Results, read by the main thread once `done` is set.
    int status = 0;                 // the build's exit status, -1: not started
    std::string start_error;
    std::string log;
    bool listed = false;
    std::vector<std::string> dependencies;
    FileIdentity library;           // the library file after a good build
    std::string copy;               // its copy, when it is a new one
    std::string copy_error;
};

// The worker: the build (when job->build) with a copy of a new library into
// copy_dir, named after `copy_name` ("scenes-7.so", or "scenes-7-1.so" when
// that is taken), or the dependency listing. Sets job->done last.
void run_live_job(LiveJob *job, LiveBuild build, std::string copy_dir, std::string copy_name,
                  FileIdentity loaded);

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
