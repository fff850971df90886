// live_build.cpp - the scene build and the dependency listing as child
// processes, their output files, and the library copies (live_build.h).
#include "studio/live/live_build.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/output_file.h"
#include "common/place_files.h"
#include "common/read_file.h"
#include "common/stray_files.h"
#include "timeline/timeline.h"

// The build's niceness: a compiler never takes the frame loop's time.
constexpr int LIVE_BUILD_NICENESS = 10;
// Names tried for a library copy before giving up (each one taken is in the
// way of someone else's).
constexpr int COPY_NAME_TRIES = 100;

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

// Runs argv in a process group of its own at low priority and waits for it.
// Its output goes to a file created exclusively beside `log`, read into
// *output and then renamed to `log`, so the last run's output stays there to
// read. The exit status (128 + the signal when killed), or -1 with the
// reason when it could not be started.
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
    // The child's errno when exec fails comes back through this pipe; a
    // successful exec closes it (O_CLOEXEC) with nothing written.
    int exec_pipe[2];
    if (pipe2(exec_pipe, O_CLOEXEC) != 0) {
        *error = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
        discard_output_file(&out);
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec. The build takes
        // signals as any program does, whatever this thread blocked.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        setpgid(0, 0);
        if (nice(LIVE_BUILD_NICENESS) == -1) {
            // the build still runs, at the studio's priority
        }
        int failed = 0;
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(out.fd, 1) < 0 || dup2(out.fd, 2) < 0)
            failed = errno;
        // The pipe's end as descriptor 3, the rest closed: the window's and
        // the sound's descriptors stay ours.
        const int report = exec_pipe[1] == 3 ? 3 : dup3(exec_pipe[1], 3, O_CLOEXEC);
        close_range(4, ~0u, 0);
        if (failed == 0) {
            execv(args[0], args.data());
            failed = errno;
        }
        if (report == 3 && write(3, &failed, sizeof failed) < 0) {
            // nothing more to tell
        }
        _exit(127);
    }
    const int fork_errno = errno;
    close(exec_pipe[1]);
    if (pid < 0) {
        close(exec_pipe[0]);
        discard_output_file(&out);
        *error = std::string("cannot start ") + argv[0] + ": " + std::strerror(fork_errno);
        return -1;
    }
    setpgid(pid, 0); // also here: a kill of the group may come before the child's own call
    job->pid = pid;
    if (job->cancel)
        kill(-pid, SIGTERM);
    int exec_errno = 0;
    ssize_t got;
    while ((got = read(exec_pipe[0], &exec_errno, sizeof exec_errno)) < 0 && errno == EINTR) {
    }
    close(exec_pipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    job->pid = 0;
    close(out.fd);
    out.fd = -1;
    *output = read_whole(out.temporary);
    std::string unplaced; // the output was read: a log left unplaced is no failure of the run
    place_output_file(&out, &unplaced);
    if (got == static_cast<ssize_t>(sizeof exec_errno)) {
        *error = std::string("cannot run ") + argv[0] + ": " + std::strerror(exec_errno);
        return -1;
    }
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

void run_live_job(LiveJob *job, LiveBuild build, std::string copy_dir, std::string copy_name,
                  FileIdentity loaded)
{
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
            else if (!same_identity(job->library, loaded))
                copy_library(job, build.library, copy_dir, copy_name);
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
