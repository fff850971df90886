// key_edit.cpp - the timeline source kept in step with the key lists: where
// each key's line stands comes from the compiler's parse, and each edit
// splices only the lines and keys that changed.
#include "studio/editor/key_edit.h"

#include "studio/editor/key_history.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>

#include "studio/editor/key_lines.h"

// ---- Loading and the whole text ----------------------------------------------------

// The parse's track of an editor track: the timeline's own, then the declared.
static const TimelineTrack &parsed_track(const Timeline &parsed, int t)
{
    return t < TIMELINE_TRACK_COUNT ? parsed.tracks[t] : parsed.declared[static_cast<size_t>(t - TIMELINE_TRACK_COUNT)];
}

void load_key_editor(KeyEditor *e, const std::string &text, const Timeline &parsed)
{
    *e = KeyEditor{};
    const int count = TIMELINE_TRACK_COUNT + static_cast<int>(parsed.declared.size());
    // The sections in file order; declared tracks without one follow, empty.
    std::vector<int> order, missing;
    for (int t = 0; t < count; t++)
        (t >= TIMELINE_TRACK_COUNT && parsed_track(parsed, t).line == 0 ? missing : order).push_back(t);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return parsed_track(parsed, a).offset < parsed_track(parsed, b).offset; });
    const size_t present = order.size();
    // The parse must be of this text: sections in place, every key line
    // inside its own section.
    for (size_t k = 0; k < present; k++) {
        const TimelineTrack &tr = parsed_track(parsed, order[k]);
        const size_t begin = tr.offset;
        const size_t end = k + 1 < present ? parsed_track(parsed, order[k + 1]).offset : text.size();
        if (tr.line == 0 || begin >= end || end > text.size() || tr.places.size() != tr.keys.size()) {
            *e = KeyEditor{};
            return;
        }
        const std::string_view first(text.data() + begin, source_line_end_of(text, begin) - begin);
        const std::vector<WordSpan> words = timeline_line_words(first);
        if (words.size() != 2 || first.substr(words[0].begin, words[0].end - words[0].begin) != "track" ||
            first.substr(words[1].begin, words[1].end - words[1].begin) != tr.name) {
            *e = KeyEditor{};
            return;
        }
        for (size_t i = 0; i < tr.places.size(); i++)
            if (tr.places[i].offset <= begin || tr.places[i].offset >= end ||
                (i > 0 && tr.places[i].offset <= tr.places[i - 1].offset)) {
                *e = KeyEditor{};
                return;
            }
    }
    e->section.resize(static_cast<size_t>(count));
    e->keys.resize(static_cast<size_t>(count));
    e->places.resize(static_cast<size_t>(count));
    for (const TimelineTrack &d : parsed.declared)
        e->declared.push_back(d.name);
    e->head = text.substr(0, parsed_track(parsed, order[0]).offset);
    for (size_t k = 0; k < present; k++) {
        const int t = order[k];
        const TimelineTrack &tr = parsed_track(parsed, t);
        const size_t end = k + 1 < present ? parsed_track(parsed, order[k + 1]).offset : text.size();
        // Room to grow, so that an edit splices in place instead of moving
        // a large track to a new block (and touching all of its pages).
        e->section[t].reserve(edit_headroom(end - tr.offset));
        e->section[t].assign(text, tr.offset, end - tr.offset);
        e->keys[t].reserve(edit_headroom(tr.keys.size()));
        e->keys[t].assign(tr.keys.begin(), tr.keys.end());
        e->places[t].reserve(edit_headroom(tr.places.size()));
        for (const SourcePlace &p : tr.places)
            e->places[t].push_back(p.offset - tr.offset);
    }
    order.insert(order.end(), missing.begin(), missing.end());
    e->order = std::move(order);
    e->tempo = parsed.tempo;
    e->loaded = true;
}

const char *key_editor_track_name(const KeyEditor &e, int t)
{
    if (t >= TIMELINE_TRACK_COUNT && static_cast<size_t>(t - TIMELINE_TRACK_COUNT) < e.declared.size())
        return e.declared[static_cast<size_t>(t - TIMELINE_TRACK_COUNT)].c_str();
    return t >= 0 && t < TIMELINE_TRACK_COUNT ? TimelineTrackNames[t] : "?";
}

std::string key_editor_text(const KeyEditor &e)
{
    size_t size = e.head.size();
    for (const std::string &s : e.section)
        size += s.size();
    std::string text;
    text.reserve(size);
    text += e.head;
    for (int t : e.order)
        text += e.section[t];
    return text;
}

const TimelineTempo &key_editor_tempo(const KeyEditor &e)
{
    return e.tempo;
}

// ---- Planning a step ------------------------------------------------------------------

namespace {

// Old keys [first, last) of a track are to become keys[0, count).
struct Change {
    size_t first, last;
    const SyncKey *keys;
    size_t count;
};

// Where an inserted key's line will be: in text splice `splice`, `offset`
// bytes into what it inserts.
struct NewLine {
    size_t splice, offset;
};

struct TrackPlan {
    const KeyEditor &e;
    int t;
    TrackStep step;
    std::vector<std::vector<NewLine>> lines; // per key splice, per inserted key
};

} // namespace

// A key line to copy the columns of: the track's key line nearest key
// `near`, else the file's first key line, else none.
static const std::string *model_line(const KeyEditor &e, int t, long near, std::string *buffer)
{
    const std::vector<uint32_t> &places = e.places[t];
    if (!places.empty()) {
        const size_t i = static_cast<size_t>(std::clamp(near, 0L, static_cast<long>(places.size()) - 1));
        *buffer = source_line_at(e.section[t], places[i]);
        return buffer;
    }
    for (int u : e.order)
        if (!e.places[u].empty()) {
            *buffer = source_line_at(e.section[u], e.places[u][0]);
            return buffer;
        }
    return nullptr;
}

// Where a section's "track" line starts: after the blank lines a section
// the editor wrote begins with.
static size_t track_line(const std::string &section)
{
    const size_t at = section.find_first_not_of("\r\n");
    return at == std::string::npos ? 0 : at;
}

// The opening of a new section for declared track `t`: a blank line (after
// a line end for a file whose last line has none) and its "track" line.
static std::string section_opening(const KeyEditor &e, int t)
{
    const std::string *before = &e.head;
    for (int u : e.order) {
        if (u == t)
            break;
        if (!e.section[static_cast<size_t>(u)].empty())
            before = &e.section[static_cast<size_t>(u)];
    }
    const bool ended = before->empty() || before->back() == '\n';
    return std::string(ended ? "\n" : "\n\n") + "track " + key_editor_track_name(e, t) + "\n";
}

// Adds a text splice, joined to the last one when it starts where that one
// ends (neighbouring lines make one splice); returns where its inserted
// bytes start: the splice's index and the offset in what it inserts.
static NewLine add_text(TrackPlan *p, uint32_t at, std::string removed, const std::string &inserted)
{
    std::vector<TextSplice> &text = p->step.text;
    if (!text.empty() && text.back().at + text.back().removed.size() == at) {
        TextSplice &last = text.back();
        const NewLine where{text.size() - 1, last.inserted.size()};
        last.removed += removed;
        last.inserted += inserted;
        return where;
    }
    text.push_back(TextSplice{at, std::move(removed), inserted});
    return NewLine{text.size() - 1, 0};
}

// One run: old keys [i, i2) went and keys[0, m) came, between the same
// neighbours. The first min(i2 - i, m) pairs rewrite the old lines; old keys
// left over lose their lines; new ones get lines after the last paired line
// (or after the key before the run, or the "track" line).
static void plan_run(TrackPlan *p, size_t i, size_t i2, const SyncKey *keys, size_t m)
{
    const KeyEditor &e = p->e;
    const KeyList &old = e.keys[p->t];
    const std::vector<uint32_t> &places = e.places[p->t];
    const std::string &text = e.section[p->t];
    std::vector<NewLine> lines(m);
    const size_t pairs = std::min(i2 - i, m);
    for (size_t k = 0; k < pairs; k++) {
        const uint32_t at = places[i + k];
        std::string line = source_line_at(text, at);
        const std::string rewritten = rewrite_key_line(line, old[i + k], keys[k], e.tempo);
        lines[k] = add_text(p, at, std::move(line), rewritten);
    }
    for (size_t k = i + pairs; k < i2; k++)
        add_text(p, places[k], source_line_at(text, places[k]), "");
    if (m > pairs) {
        const long anchor = static_cast<long>(i + pairs) - 1; // -1: the "track" line
        const size_t at = source_line_end_of(text, anchor >= 0 ? places[static_cast<size_t>(anchor)] : track_line(text));
        std::string buffer;
        const std::string *model = model_line(e, p->t, anchor, &buffer);
        // After a last line without a line end, that line gets one and the
        // new last line goes without. A section not yet written (a declared
        // track's) starts with its "track" line.
        const bool fresh = text.empty();
        const bool unended = !fresh && at == text.size() && (at == 0 || text[at - 1] != '\n');
        std::string added = fresh ? section_opening(e, p->t) : unended ? "\n" : "";
        std::vector<size_t> offsets;
        for (size_t k = pairs; k < m; k++) {
            offsets.push_back(added.size());
            added += new_key_line(model, keys[k], e.tempo);
        }
        if (unended)
            added.resize(added.size() - source_line_end(added).size());
        const NewLine where = add_text(p, static_cast<uint32_t>(at), "", added);
        for (size_t k = pairs; k < m; k++)
            lines[k] = NewLine{where.splice, where.offset + offsets[k - pairs]};
    }
    // The keys, joined to the last key splice when they follow it.
    std::vector<KeySplice> &splices = p->step.keys;
    if (splices.empty() || splices.back().at + splices.back().removed.size() != i) {
        splices.push_back(KeySplice{});
        splices.back().at = static_cast<uint32_t>(i);
        p->lines.emplace_back();
    }
    KeySplice &ks = splices.back();
    ks.removed.insert(ks.removed.end(), old.begin() + static_cast<long>(i), old.begin() + static_cast<long>(i2));
    ks.removed_places.insert(ks.removed_places.end(), places.begin() + static_cast<long>(i),
                             places.begin() + static_cast<long>(i2));
    ks.inserted.insert(ks.inserted.end(), keys, keys + m);
    p->lines.back().insert(p->lines.back().end(), lines.begin(), lines.end());
}

// The step of one track from its changes (ascending, not overlapping).
// Keys on the same row before and after are the fixed points; what lies
// between two of them is one run.
static TrackStep plan_track(const KeyEditor &e, int t, const std::vector<Change> &changes)
{
    TrackPlan p{e, t, TrackStep{}, {}};
    p.step.track = t;
    const KeyList &old = e.keys[t];
    for (const Change &c : changes) {
        size_t i = c.first, j = 0;
        while (i < c.last || j < c.count) {
            size_t i2 = i, j2 = j;
            while (i2 < c.last || j2 < c.count) {
                if (i2 < c.last && j2 < c.count && old[i2].row == c.keys[j2].row)
                    break;
                if (j2 >= c.count || (i2 < c.last && old[i2].row < c.keys[j2].row))
                    i2++;
                else
                    j2++;
            }
            if (i2 > i || j2 > j)
                plan_run(&p, i, i2, c.keys + j, j2 - j);
            if (i2 < c.last && j2 < c.count) { // the same row in both
                if (!same_key(old[i2], c.keys[j2]))
                    plan_run(&p, i2, i2 + 1, c.keys + j2, 1);
                i2++;
                j2++;
            }
            i = i2;
            j = j2;
        }
    }
    // Where each inserted key's line starts once the text splices are made.
    std::vector<uint32_t> start(p.step.text.size());
    int64_t shift = 0;
    for (size_t s = 0; s < p.step.text.size(); s++) {
        const TextSplice &ts = p.step.text[s];
        start[s] = static_cast<uint32_t>(ts.at + shift);
        shift += static_cast<int64_t>(ts.inserted.size()) - static_cast<int64_t>(ts.removed.size());
    }
    for (size_t k = 0; k < p.step.keys.size(); k++) {
        KeySplice &ks = p.step.keys[k];
        for (const NewLine &l : p.lines[k])
            ks.inserted_places.push_back(start[l.splice] + static_cast<uint32_t>(l.offset));
    }
    return p.step;
}

static bool increasing(const SyncKey *keys, size_t count)
{
    for (size_t i = 1; i < count; i++)
        if (keys[i].row <= keys[i - 1].row)
            return false;
    return true;
}

bool apply_key_edit(KeyEditor *e, const std::vector<std::pair<int, KeyList>> &tracks)
{
    if (!e->loaded)
        return false;
    EditStep step;
    for (size_t n = 0; n < tracks.size(); n++) {
        const auto &[t, keys] = tracks[n];
        if (t < 0 || static_cast<size_t>(t) >= e->keys.size())
            return false;
        bool later = false; // a track named twice takes its last list
        for (size_t m = n + 1; m < tracks.size(); m++)
            later = later || tracks[m].first == t;
        if (later)
            continue;
        // Only what lies between the common start and the common end changes.
        const KeyList &old = e->keys[t];
        size_t a = 0;
        while (a < old.size() && a < keys.size() && same_key(old[a], keys[a]))
            a++;
        size_t bo = old.size(), bn = keys.size();
        while (bo > a && bn > a && same_key(old[bo - 1], keys[bn - 1])) {
            bo--;
            bn--;
        }
        if (a == bo && a == bn)
            continue;
        // The new keys must increase, also across the kept ones around them.
        const size_t from = a > 0 ? a - 1 : 0, to = std::min(bn + 1, keys.size());
        if (!increasing(keys.data() + from, to - from))
            return false;
        step.tracks.push_back(plan_track(*e, t, {Change{a, bo, keys.data() + a, bn - a}}));
    }
    if (step.tracks.empty())
        return false;
    commit_edit_step(e, step);
    return true;
}

bool apply_key_ranges(KeyEditor *e, const std::vector<KeyRange> &ranges)
{
    if (!e->loaded)
        return false;
    std::vector<const KeyRange *> sorted;
    for (const KeyRange &r : ranges) {
        if (r.track < 0 || static_cast<size_t>(r.track) >= e->keys.size() || r.to < r.from || !increasing(r.keys.data(), r.keys.size()))
            return false;
        if (!r.keys.empty() && (r.keys.front().row < r.from || r.keys.back().row >= r.to))
            return false;
        sorted.push_back(&r);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const KeyRange *a, const KeyRange *b) {
        return a->track != b->track ? a->track < b->track : a->from < b->from;
    });
    EditStep step;
    for (size_t n = 0; n < sorted.size();) {
        const int t = sorted[n]->track;
        std::vector<Change> changes;
        int32_t covered = INT32_MIN; // the end of the previous range of this track
        bool first = true;
        for (; n < sorted.size() && sorted[n]->track == t; n++) {
            const KeyRange &r = *sorted[n];
            if (!first && r.from < covered && r.to > r.from)
                return false; // overlapping ranges
            first = false;
            covered = std::max(covered, r.to);
            size_t a = 0, b = 0;
            keys_in_rows(e->keys[t], r.from, r.to, &a, &b);
            const bool same = b - a == r.keys.size() &&
                              std::equal(r.keys.begin(), r.keys.end(), e->keys[t].begin() + static_cast<long>(a), same_key);
            if (!same)
                changes.push_back(Change{a, b, r.keys.data(), r.keys.size()});
        }
        if (!changes.empty())
            step.tracks.push_back(plan_track(*e, t, changes));
    }
    if (step.tracks.empty())
        return false;
    commit_edit_step(e, step);
    return true;
}
