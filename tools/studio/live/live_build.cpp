// live_build.cpp - the scene build and the dependency listing as child
// processes, their output files, and the library copies (live_build.h).
#include "studio/live/live_build.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/output_file.h"
#include "common/place_files.h"
#include "common/platform.h"
#include "common/read_file.h"
#include "common/stray_files.h"
#include "studio/live/build_output.h"
#include "timeline/timeline.h"

// A build that runs long is raised to this much above the studio's
// niceness (the lowest, 19, at most).
constexpr int LIVE_BUILD_RAISED_NICENESS = 10;
// The lowest priority, which a build starts at when it may be raised.
constexpr int LOWEST_PRIORITY = 19;
// Names tried for a library copy before giving up (each one taken is in the
// way of someone else's).
constexpr int COPY_NAME_TRIES = 100;

BuildPriority build_priority(int own, unsigned long nice_limit, bool cap_sys_nice)
{
    BuildPriority p;
    p.raised = std::min(LOWEST_PRIORITY, std::max(own, 0) + LIVE_BUILD_RAISED_NICENESS);
    // The kernel lets a process lower its niceness to N when RLIMIT_NICE is
    // at least 20 - N.
    const bool may_lower = cap_sys_nice || nice_limit >= static_cast<unsigned long>(20 - p.raised);
    p.start = may_lower ? LOWEST_PRIORITY : p.raised;
    return p;
}

BuildPriority own_build_priority()
{
    errno = 0;
    const int own = getpriority(PRIO_PROCESS, 0);
    rlimit limit{};
    getrlimit(RLIMIT_NICE, &limit);
    return build_priority(errno == 0 ? own : 0, limit.rlim_cur, may_set_any_niceness());
}

bool raise_job(LiveJob *job, uint64_t now_ms, uint64_t after_ms, int niceness)
{
    const pid_t pid = job->pid, worker = job->worker;
    if (job->raised || job->done || niceness >= job->niceness || now_ms < job->started_ms + after_ms || pid <= 0)
        return false;
    // Children that the build starts later take its tool's (raised) niceness.
    setpriority(PRIO_PGRP, static_cast<id_t>(pid), niceness);
    if (worker > 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(worker), niceness);
    job->raised = true;
    return true;
}

bool copy_library_file(const std::string &from, const std::string &to, std::string *error)
{
    int why;
    return copy_to_new_file(from, to, 0700, error, &why);
}

// A build's log or dependency list, through the tools' one file reader
// (nothing at all when it is missing, no regular file or beyond 16 MiB).
static std::string read_whole(const std::string &path)
{
    std::string text, error;
    if (!read_whole_file(path, TIMELINE_MAX_SOURCE_BYTES, &text, &error, nullptr))
        text.clear();
    return text;
}

// Runs argv in a process group of its own and waits for it; the child
// takes the calling thread's niceness. Its output goes to a file created
// exclusively beside `log`, read into *output and then renamed to `log`, so
// the last run's output stays there to read. The exit status (128 + the
// signal when killed), or -1 with the reason when it could not be started.
//
// posix_spawn, not fork: it shares the studio's memory until the exec
// rather than copying its page tables, so the frame thread meets neither
// the copy nor a copy-on-write fault on every page it then writes.
static int run_child(LiveJob *job, const std::vector<std::string> &argv, const std::string &log,
                     std::string *output, std::string *error)
{
    output->clear();
    OutputFile out;
    if (!open_output_file(log, &out, error))
        return -1;
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
    // A group of its own (the bound kills the whole build), and the signals
    // a program expects, whatever this thread blocked.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    // Standard input from /dev/null, the output to the log, the rest
    // closed: the window's and the sound's descriptors stay ours.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, out.fd, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int failed = job->cancel ? ECANCELED
                                   : posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (failed != 0) {
        discard_output_file(&out);
        *error = std::string("cannot run ") + argv[0] + ": " + std::strerror(failed);
        return -1;
    }
    job->pid = pid;
    if (job->cancel) // asked while it started
        kill(-pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    job->pid = 0;
    close(out.fd);
    out.fd = -1;
    *output = read_whole(out.temporary);
    std::string unplaced; // the output was read: a log left unplaced is no failure of the run
    place_output_file(&out, &unplaced);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

// Copies the library under the first free name of `copy_name`'s series.
static bool copy_library(LiveJob *job, const std::string &library, const std::string &copy_dir,
                         const std::string &copy_name)
{
    const size_t dot = copy_name.rfind('.');
    const std::string stem = copy_name.substr(0, dot), ending = copy_name.substr(dot);
    for (int n = 0; n < COPY_NAME_TRIES; n++) {
        const std::string to = copy_dir + "/" + (n == 0 ? copy_name : stem + "-" + std::to_string(n) + ending);
        int why;
        if (copy_to_new_file(library, to, 0700, &job->copy_error, &why)) {
            job->copy = to;
            job->copy_error.clear();
            return true;
        }
        if (why != EEXIST)
            return false;
    }
    return false;
}

// The folder of copies (and the library's folder it is in), made again when
// someone removed it. False with the reason when it cannot be made or its
// name is taken by something that is no folder of ours.
static bool ensure_copy_dir(const std::string &dir, std::string *error)
{
    const std::string parent = dir.substr(0, dir.rfind('/'));
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) {
        *error = "cannot make " + parent + ": " + ec.message();
        return false;
    }
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot make " + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        *error = dir + ": not the studio's folder of library copies";
        return false;
    }
    return true;
}

// Opens and checks the copy, and lets its name go (the library stays
// mapped; the guard finds its file through the mapping).
static void load_copy(LiveJob *job)
{
    const auto start = std::chrono::steady_clock::now();
    job->loaded = open_scene_library(job->copy, job->layout, &job->library_loaded, &job->load_error);
    unlink(job->copy.c_str());
    job->load_us = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

void run_live_job(LiveJob *job, LiveBuild build, std::string copy_dir, std::string copy_name,
                  FileIdentity loaded)
{
    // This thread's niceness, which the children take (Linux keeps one per
    // thread); the main thread may raise both later.
    job->worker = static_cast<pid_t>(gettid());
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(job->worker), job->niceness) != 0) {
        // the build runs at the studio's priority
    }
    if (!ensure_copy_dir(copy_dir, &job->start_error)) {
        job->status = -1;
        job->done = true;
        return;
    }
    if (job->build) {
        job->status = run_child(job, {build.cmake, "--build", build.dir, "--target", build.target},
                                copy_dir + "/build.log", &job->log, &job->start_error);
        if (job->status == 0) {
            job->library = identity_of_path(build.library);
            if (!job->library.valid)
                job->copy_error = build.library + ": " + std::strerror(ENOENT);
            else if (!same_identity(job->library, loaded) && copy_library(job, build.library, copy_dir, copy_name))
                load_copy(job);
        }
    }
    // The headers the scene units include, as the build recorded them (only
    // Ninja keeps such a record; other generators watch the units alone).
    // A job of its own, after a good build, so that it never holds up a swap.
    if (!job->build && !job->cancel && build.generator == "Ninja" && !build.make_program.empty()) {
        std::string listing, error;
        if (run_child(job, {build.make_program, "-C", build.dir, "-t", "deps"}, copy_dir + "/deps.txt",
                      &listing, &error) == 0) {
            job->dependencies = library_dependencies(listing, build);
            job->listed = true;
        }
    }
    job->done = true;
}

void remove_copy_dir(const std::string &dir)
{
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *d = fdopendir(fd);
    if (!d) {
        close(fd);
        return;
    }
    while (const dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            unlinkat(fd, e->d_name, 0); // a folder stays, and so does this one
    closedir(d);
    rmdir(dir.c_str());
}

bool make_copy_dir(const std::string &library, std::string *dir, std::string *error)
{
    // Beside the library: where it was built, code may be mapped (a /tmp
    // mounted noexec would refuse it), and a studio that is killed leaves its
    // folder in the build folder, not elsewhere.
    const size_t slash = library.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : library.substr(0, slash);
    if (mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) { // before the first build there is none
        *error = "cannot make " + parent + ": " + std::strerror(errno);
        return false;
    }
    sweep_stray_files(parent, "loaded");
    for (int n = 0; n < COPY_NAME_TRIES; n++) {
        *dir = unique_name(parent + "/loaded", n);
        if (mkdir(dir->c_str(), 0700) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    *error = "cannot make " + *dir + ": " + std::strerror(errno);
    return false;
}

std::string odd_watched_file(const std::vector<std::string> &files, const std::string &source_dir)
{
    for (const std::string &f : files) {
        struct stat st;
        if (stat(f.c_str(), &st) != 0 || S_ISREG(st.st_mode))
            continue;
        const char *kind = S_ISFIFO(st.st_mode) ? "a FIFO"
                           : S_ISDIR(st.st_mode) ? "a folder"
                           : S_ISSOCK(st.st_mode) ? "a socket"
                                                  : "a device";
        const std::string prefix = source_dir + "/";
        const std::string name = f.compare(0, prefix.size(), prefix) == 0 ? f.substr(prefix.size()) : f;
        return name + ": not a regular file (" + kind + ")";
    }
    return "";
}
