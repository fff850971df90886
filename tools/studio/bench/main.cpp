// studio_bench - the cost of the studio's key edits on a large timeline.
//
//   studio_bench TIMELINE [--edits N] [--ranges]
//
// Reads and parses TIMELINE (make one with tools/studio/measure/make_big_timeline.py),
// loads the key editor, then makes N edits (default 100) spread over the
// tracks and the rows: inserts, value changes, kind changes, moves by a row,
// deletes and one-bar pastes over all tracks, in turn. Each edit is made as
// the studio's commands make it (a copy of the track's keys changed with the
// key model, then apply_key_edit), or with --ranges through apply_key_ranges
// (only the rows that change). It prints the median, 90th percentile and
// largest time of an edit's model work, the memory the process grew by over
// the edits and what the history holds, then undoes every edit, checks that
// the text is the original byte for byte, and times the whole-file work a
// save does (joining the text, parsing it). Figures, not assertions: run it on
// a quiet machine, or say how busy it was.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/command_line.h"
#include "common/platform.h"
#include "common/read_file.h"
#include "studio/editor/key_edit.h"
#include "timeline/timeline.h"

using Clock = std::chrono::steady_clock;

static double ms_since(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

static double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

static double mib(size_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Reads, parses and loads TIMELINE into the editor, keeping its text in
// `original`, and prints what it holds and what that took.
static bool load_timeline(const std::string &path, KeyEditor *e, std::string *original)
{
    std::string text, error;
    if (!read_whole_file(path, TIMELINE_MAX_SOURCE_BYTES, &text, &error)) {
        std::fprintf(stderr, "studio_bench: %s\n", error.c_str());
        return false;
    }
    auto t0 = Clock::now();
    Timeline parsed;
    std::string errors;
    if (!parse_timeline(text, path, &parsed, &errors)) {
        std::fprintf(stderr, "%s", errors.c_str());
        return false;
    }
    const double parse_ms = ms_since(t0);
    size_t key_count = 0, largest = 0;
    for (const TimelineTrack &t : parsed.tracks) {
        key_count += t.keys.size();
        largest = std::max(largest, t.keys.size());
    }
    t0 = Clock::now();
    load_key_editor(e, text, parsed);
    const double load_ms = ms_since(t0);
    if (!e->loaded) {
        std::fprintf(stderr, "studio_bench: the editor did not take the parse\n");
        return false;
    }
    parsed = Timeline{};
    *original = text;
    text.clear();
    text.shrink_to_fit();
    std::printf("%s: %zu bytes, %zu keys (largest track %zu); parse %.1f ms, load %.1f ms\n", path.c_str(),
                original->size(), key_count, largest, parse_ms, load_ms);
    return true;
}

// Pastes the bar that starts at row `from` over the next bar, on all tracks.
static bool paste_bar(KeyEditor *e, int32_t from, bool ranges)
{
    if (ranges) {
        std::vector<KeyRange> all;
        for (int u = 0; u < TIMELINE_TRACK_COUNT; u++) {
            KeyList clip = copy_keys(e->keys[u], from, ROWS_PER_BAR);
            for (SyncKey &c : clip)
                c.row += from + ROWS_PER_BAR;
            all.push_back(KeyRange{u, from + ROWS_PER_BAR, from + 2 * ROWS_PER_BAR, clip});
        }
        return apply_key_ranges(e, all);
    }
    std::vector<std::pair<int, KeyList>> all;
    for (int u = 0; u < TIMELINE_TRACK_COUNT; u++) {
        KeyList keys = e->keys[u];
        paste_keys(&keys, copy_keys(keys, from, ROWS_PER_BAR), from + ROWS_PER_BAR, ROWS_PER_BAR);
        all.push_back({u, std::move(keys)});
    }
    return apply_key_edit(e, all);
}

// Edit `kind` (0 insert, 1 value, 2 curve kind, 3 move, 4 delete) of the key
// k of track t.
static bool edit_key(KeyEditor *e, int t, SyncKey k, int kind, bool ranges)
{
    const KeyList &now = e->keys[t];
    // The rows [lo, hi) that change and what they hold after. `f` is the
    // first free row after k.
    int32_t f = k.row + 1;
    while (find_key(now, f) >= 0)
        f++;
    KeyList after;
    int32_t lo = k.row, hi = k.row + 1;
    switch (kind) {
    case 0: // a new key on the free row
        lo = f;
        hi = f + 1;
        after.push_back(SyncKey{f, 3.0f, k.kind});
        break;
    case 1: after.push_back(SyncKey{k.row, k.value + 0.5f, k.kind}); break;
    case 2: after.push_back(SyncKey{k.row, k.value, (k.kind + 1) % 4}); break;
    case 3: { // the key before the free row moves onto it
        const SyncKey m = now[find_key(now, f - 1)];
        lo = f - 1;
        hi = f + 1;
        after.push_back(SyncKey{f, m.value, m.kind});
        break;
    }
    default: break; // delete k
    }
    if (ranges)
        return apply_key_ranges(e, {KeyRange{t, lo, hi, after}});
    KeyList keys = now;
    size_t a = 0, b = 0;
    keys_in_rows(keys, lo, hi, &a, &b);
    keys.erase(keys.begin() + static_cast<long>(a), keys.begin() + static_cast<long>(b));
    keys.insert(keys.begin() + static_cast<long>(a), after.begin(), after.end());
    return apply_key_edit(e, {{t, std::move(keys)}});
}

// Makes `edits` edits in turn over the tracks with keys and prints their
// times and the memory they took. False when there are no keys to edit.
static bool make_edits(KeyEditor *e, int edits, bool ranges)
{
    const size_t before = own_resident_bytes();
    std::vector<double> times;
    uint32_t seed = 12345;
    const auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    std::vector<int> filled; // the tracks with keys
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
        if (!e->keys[t].empty())
            filled.push_back(t);
    if (filled.empty()) {
        std::fprintf(stderr, "studio_bench: no keys to edit\n");
        return false;
    }
    int made = 0;
    for (int i = 0; i < edits; i++) {
        const int t = filled[next(static_cast<uint32_t>(filled.size()))];
        const KeyList &now = e->keys[t];
        const SyncKey k = now[next(static_cast<uint32_t>(now.size()))];
        const int kind = i % 6;
        const auto t0 = Clock::now();
        const bool ok = kind == 5 ? paste_bar(e, k.row - k.row % ROWS_PER_BAR, ranges)
                                  : edit_key(e, t, k, kind, ranges);
        times.push_back(ms_since(t0));
        made += ok;
    }
    const size_t after_edits = own_resident_bytes();
    std::printf("%d edits (%d changed something), %s: model work per edit median %.2f ms, 90%% %.2f ms, "
                "max %.2f ms\n",
                edits, made, ranges ? "apply_key_ranges" : "copy + apply_key_edit, as the studio",
                percentile(times, 0.5), percentile(times, 0.9), percentile(times, 1.0));
    std::printf("memory: resident %.1f MiB before the edits, %+.2f MiB after; the history holds %.1f KiB\n",
                mib(before), mib(after_edits) - mib(before),
                static_cast<double>(key_editor_history_bytes(*e)) / 1024.0);
    return true;
}

// Undoes every edit and times it, then the whole-file work of a save. True
// when the text is back to `original` and parses.
static bool undo_all(KeyEditor *e, const std::string &path, const std::string &original)
{
    std::vector<double> undo_times;
    std::vector<int> changed;
    for (;;) {
        const auto t0 = Clock::now();
        if (!undo_key_edit(e, &changed))
            break;
        undo_times.push_back(ms_since(t0));
    }
    auto t0 = Clock::now();
    const std::string back = key_editor_text(*e);
    const double join_ms = ms_since(t0);
    t0 = Clock::now();
    Timeline again;
    std::string errors;
    const bool parses = parse_timeline(back, path, &again, &errors);
    const double reparse_ms = ms_since(t0);
    std::printf("undo: %zu steps, median %.2f ms, max %.2f ms; text back to the original: %s\n",
                undo_times.size(), percentile(undo_times, 0.5), percentile(undo_times, 1.0),
                back == original ? "yes" : "NO");
    std::printf("a save's whole-file work: joining the text %.1f ms, parsing it %.1f ms (%s)\n", join_ms,
                reparse_ms, parses ? "parses" : "DOES NOT PARSE");
    return back == original && parses;
}

int main(int argc, char **argv)
{
    std::string path;
    int edits = 100;
    bool ranges = false;
    CommandLine cl("studio_bench", "The cost of the studio's key edits on a large timeline.",
                   "usage: studio_bench TIMELINE [--edits N] [--ranges]");
    cl.app.add_option("TIMELINE", path, "timeline source to edit (tools/studio/measure/make_big_timeline.py makes one)")
        ->required();
    cl.app.add_option("--edits", edits, "edits to make, 1 to 100000")
        ->check(whole_number(1, 100000))
        ->default_str("100");
    cl.app.add_flag("--ranges", ranges, "edit through apply_key_ranges instead of whole key lists");
    const int status = cl.parse(argc, argv);
    if (status >= 0)
        return status;

    KeyEditor e;
    std::string original;
    if (!load_timeline(path, &e, &original) || !make_edits(&e, edits, ranges))
        return 1;
    return undo_all(&e, path, original) ? 0 : 1;
}
