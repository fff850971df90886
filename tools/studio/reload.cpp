// reload.cpp - reading, settling and parsing the watched timeline source.
#include "reload.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sync/device.h"

// The parser's own limit for a source file; a timeline is a few kilobytes.
constexpr size_t MAX_WATCHED_BYTES = 16u << 20;

// Reads the whole file when it is a regular file (a FIFO would block the
// frame loop). False with the reason otherwise.
static bool read_source(const std::string &path, std::string *text, std::string *error)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + ": not a regular file";
        return false;
    }
    return read_whole_file(path, MAX_WATCHED_BYTES, text, error);
}

// Parses a changed text. A good one is taken; a bad one only when `settled`
// (false: nothing changes and the result is WATCH_UNCHANGED).
static WatchResult take(TimelineWatch *w, const std::string &text, bool settled)
{
    Timeline parsed;
    std::string errors;
    if (!parse_timeline(text, w->path, &parsed, &errors)) {
        if (!settled) {
            w->pending = text;
            w->has_pending = true;
            return WATCH_UNCHANGED;
        }
        if (errors.empty())
            errors = w->path + ":1: the timeline does not parse\n";
        w->errors = errors;
        w->taken = text;
        w->has_pending = false;
        w->pending.clear();
        return WATCH_NEW_ERRORS;
    }
    w->timeline = std::move(parsed);
    w->has_timeline = true;
    w->errors.clear();
    w->taken = text;
    w->has_pending = false;
    w->pending.clear();
    return WATCH_NEW_TIMELINE;
}

bool open_timeline_watch(TimelineWatch *w, const std::string &path, WatchResult *result,
                         std::string *error)
{
    *w = TimelineWatch{};
    w->path = path;
    std::string text;
    if (!read_source(path, &text, error))
        return false;
    *result = take(w, text, true);
    return true;
}

WatchResult poll_timeline_watch(TimelineWatch *w)
{
    std::string text;
    std::string error;
    if (!read_source(w->path, &text, &error)) {
        w->read_error = error;
        return take_timeline_text(w, nullptr);
    }
    return take_timeline_text(w, &text);
}

WatchResult take_timeline_text(TimelineWatch *w, const std::string *text)
{
    if (!text) {
        w->unreadable = true;
        return WATCH_UNCHANGED;
    }
    w->unreadable = false;
    w->read_error.clear();
    if (*text == w->taken) {
        w->has_pending = false; // a half-written state that went back
        w->pending.clear();
        return WATCH_UNCHANGED;
    }
    return take(w, *text, w->has_pending && *text == w->pending);
}

bool apply_timeline(const Timeline &timeline, SyncTrack *const *tracks, int count)
{
    bool ok = true;
    for (int i = 0; i < count; i++) {
        const int index = find_timeline_track(tracks[i]->name);
        if (index < 0)
            continue;
        const std::vector<SyncKey> &keys = timeline.tracks[index].keys;
        if (!set_track_keys(tracks[i], keys.data(), static_cast<int32_t>(keys.size())))
            ok = false;
    }
    return ok;
}
