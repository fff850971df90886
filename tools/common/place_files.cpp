// place_files.cpp - group placement, the checked exchange and exclusive
// copies (place_files.h).
#include "common/place_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/regular_file.h"
#include "common/platform.h"

int (*PlaceExchangeNames)(const char *a, const char *b) = exchange_names;

// Second names tried before giving up (each one taken is someone else's).
constexpr int MAX_NAME_TRIES = 1000;

static std::string reason(int why)
{
    return std::strerror(why);
}

// Copies what is left to read of `in` into `out` (both descriptors). 0, or
// the errno of the failure and in *failed_in whether the read failed.
static int copy_bytes(int in, int out, bool *failed_in)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got == 0)
            return 0;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *failed_in = true;
            return errno;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                *failed_in = false;
                return put < 0 ? errno : ENOSPC;
            }
            done += put;
        }
    }
}

// ---- A group, all or nothing --------------------------------------------------------

// Gives the file at `path` a second name beside it for putting it back: a
// hard link, or where the file system has none an exclusive copy.
static bool keep_old_file(const std::string &path, std::string *old, std::string *error)
{
    for (int n = 0; n < MAX_NAME_TRIES; n++) {
        *old = unique_name(path + ".old", n);
        if (link(path.c_str(), old->c_str()) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    struct stat st;
    RegularFileFailure failure;
    const int in = open_regular_file(path.c_str(), &st, &failure);
    OutputFile copy;
    if (in < 0) {
        *error = failure == RegularFileFailure::NotAFile ? "not a regular file" : reason(errno);
    } else if (open_output_file(path + ".old", &copy, error)) {
        bool failed_in = false;
        const int why = copy_bytes(in, copy.fd, &failed_in);
        if (why != 0)
            *error = (failed_in ? "cannot read " + path : "cannot write " + copy.temporary) + ": " + reason(why);
        if (why == 0 && close_output_file(&copy, error)) {
            close(in);
            *old = copy.temporary;
            return true;
        }
        discard_output_file(&copy);
    }
    if (in >= 0)
        close(in);
    *error = "cannot keep the old " + path + " (" + *error + ")";
    return false;
}

bool place_output_files(OutputFile *outs, int count, std::string *error)
{
    enum { UNTOUCHED, NEW_FILE, REPLACED };
    std::vector<int> done(static_cast<size_t>(count), UNTOUCHED);
    std::vector<std::string> old(static_cast<size_t>(count));
    int i = 0;
    for (; i < count; i++) {
        const std::string &path = outs[i].path;
        struct stat st;
        const bool had_old = lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
        if (had_old && !keep_old_file(path, &old[i], error))
            break;
        if (rename(outs[i].temporary.c_str(), path.c_str()) != 0) {
            *error = "cannot replace " + path + ": " + reason(errno);
            if (had_old)
                unlink(old[i].c_str());
            break;
        }
        outs[i].temporary.clear();
        done[i] = had_old ? REPLACED : NEW_FILE;
    }

    const bool ok = i == count;
    bool restored = true;
    for (int j = count - 1; j >= 0; j--) {
        const std::string &path = outs[j].path;
        if (done[j] == UNTOUCHED) {
            discard_output_file(&outs[j]);
        } else if (ok && done[j] == REPLACED) {
            unlink(old[j].c_str());
        } else if (!ok && done[j] == NEW_FILE) {
            unlink(path.c_str());
        } else if (!ok && rename(old[j].c_str(), path.c_str()) != 0) {
            *error += "; cannot put " + old[j] + " back as " + path + ": " + reason(errno);
            restored = false;
        }
    }
    if (!ok && restored)
        *error += " (the earlier files are kept)";
    return ok;
}

// ---- One file, while the one there is the expected one ------------------------------

CheckedPlacement place_output_file_checked(OutputFile *out, const std::string &target,
                                           const FileIdentity &expected, std::string *error)
{
    const char *tmp = out->temporary.c_str();
    if (PlaceExchangeNames(tmp, target.c_str()) == 0) {
        // The old file now sits at the temporary name.
        CheckedPlacement result = PLACE_DONE;
        if (!same_file_identity(identity_of_name(out->temporary), expected)) {
            if (PlaceExchangeNames(tmp, target.c_str()) != 0) {
                // Only when the folder went away: keep both.
                *error = "cannot swap " + target + " back from " + out->temporary + ": " + reason(errno);
                out->temporary.clear();
                return PLACE_FAILED;
            }
            result = PLACE_OTHER_FILE;
        }
        discard_output_file(out); // the replaced old file, or ours
        return result;
    }
    // No exchange here (or nothing to exchange with): look, then rename.
    const int why = errno;
    const bool no_exchange = why == EINVAL || why == ENOSYS || why == ENOTSUP || why == ENOENT;
    CheckedPlacement result = PLACE_FAILED;
    if (no_exchange && !expected.valid) {
        // Nothing there, as last seen: the new file goes in unless one appeared.
        if (rename_no_replace(tmp, target.c_str()) == 0)
            result = PLACE_DONE;
        else if (errno == EEXIST)
            result = PLACE_OTHER_FILE;
        else
            *error = "cannot replace " + target + ": " + reason(errno);
    } else if (no_exchange) {
        if (!same_file_identity(identity_of_name(target), expected))
            result = PLACE_OTHER_FILE;
        else if (rename(tmp, target.c_str()) == 0)
            result = PLACE_DONE;
        else
            *error = "cannot replace " + target + ": " + reason(errno);
    } else {
        *error = "cannot replace " + target + ": " + reason(why);
    }
    if (result == PLACE_DONE)
        out->temporary.clear();
    else
        discard_output_file(out);
    return result;
}

// ---- A new file as a copy --------------------------------------------------------------

bool copy_to_new_file(const std::string &from, const std::string &to, unsigned mode, std::string *error,
                      int *create_errno)
{
    *create_errno = 0;
    struct stat st;
    RegularFileFailure failure;
    const int in = open_regular_file(from.c_str(), &st, &failure);
    if (in < 0) {
        *error = from + ": " + (failure == RegularFileFailure::NotAFile ? "not a regular file" : reason(errno));
        return false;
    }
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (out < 0) {
        *create_errno = errno;
        *error = to + ": " + reason(errno);
        close(in);
        return false;
    }
    bool failed_in = false;
    int why = copy_bytes(in, out, &failed_in);
    if (why != 0)
        *error = (failed_in ? from : to) + ": " + reason(why);
    if (close(out) != 0 && why == 0) {
        why = errno;
        *error = to + ": " + reason(why);
    }
    close(in);
    if (why != 0)
        unlink(to.c_str());
    return why == 0;
}
