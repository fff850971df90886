// key_edit.cpp - edits on key lists, and the line-by-line rewrite of the
// timeline source that follows them.
#include "studio/key_edit.h"

#include <algorithm>
#include <cstring>
#include <map>

// ---- Key lists ----------------------------------------------------------------

static bool row_less(const SyncKey &k, int32_t row)
{
    return k.row < row;
}

int find_key(const KeyList &keys, int32_t row)
{
    const auto it = std::lower_bound(keys.begin(), keys.end(), row, row_less);
    return it != keys.end() && it->row == row ? static_cast<int>(it - keys.begin()) : -1;
}

int key_at_or_before(const KeyList &keys, int32_t row)
{
    const auto it = std::upper_bound(keys.begin(), keys.end(), row,
                                     [](int32_t r, const SyncKey &k) { return r < k.row; });
    return static_cast<int>(it - keys.begin()) - 1;
}

bool insert_key(KeyList *keys, SyncKey key)
{
    const auto it = std::lower_bound(keys->begin(), keys->end(), key.row, row_less);
    if (it != keys->end() && it->row == key.row)
        return false;
    keys->insert(it, key);
    return true;
}

void set_key_value(KeyList *keys, int32_t row, float value, int32_t new_kind)
{
    const int i = find_key(*keys, row);
    if (i >= 0)
        (*keys)[i].value = value;
    else
        insert_key(keys, SyncKey{row, value, new_kind});
}

bool remove_key(KeyList *keys, int32_t row)
{
    const int i = find_key(*keys, row);
    if (i < 0)
        return false;
    keys->erase(keys->begin() + i);
    return true;
}

bool move_key(KeyList *keys, int32_t from, int32_t to, std::string *why)
{
    const int i = find_key(*keys, from);
    if (i < 0) {
        *why = "no key here to move";
        return false;
    }
    if (to < 0) {
        *why = "a key cannot move before row 0";
        return false;
    }
    if (to == from)
        return true;
    if (find_key(*keys, to) >= 0) {
        *why = "another key sits on row " + std::to_string(to);
        return false;
    }
    SyncKey k = (*keys)[i];
    keys->erase(keys->begin() + i);
    k.row = to;
    insert_key(keys, k);
    return true;
}

KeyList copy_keys(const KeyList &keys, int32_t from, int32_t length)
{
    KeyList clip;
    for (const SyncKey &k : keys)
        if (k.row >= from && static_cast<int64_t>(k.row) - from < length)
            clip.push_back(SyncKey{k.row - from, k.value, k.kind});
    return clip;
}

void paste_keys(KeyList *keys, const KeyList &clip, int32_t at, int32_t length)
{
    KeyList out;
    for (const SyncKey &k : *keys)
        if (k.row < at || static_cast<int64_t>(k.row) - at >= length)
            out.push_back(k);
    for (const SyncKey &k : clip)
        if (k.row >= 0 && k.row < length && static_cast<int64_t>(at) + k.row <= INT32_MAX)
            out.push_back(SyncKey{at + k.row, k.value, k.kind});
    std::sort(out.begin(), out.end(), [](const SyncKey &a, const SyncKey &b) { return a.row < b.row; });
    *keys = std::move(out);
}

// ---- Lines of the source --------------------------------------------------------

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The byte spans of a line's words, up to a "#" comment or the line end.
static std::vector<std::pair<size_t, size_t>> word_spans(const std::string &line, size_t from = 0)
{
    std::vector<std::pair<size_t, size_t>> spans;
    size_t end = line.find('#', from);
    if (end == std::string::npos)
        end = line.size();
    size_t i = from;
    while (i < end) {
        while (i < end && (is_blank(line[i]) || line[i] == '\n'))
            i++;
        size_t j = i;
        while (j < end && !is_blank(line[j]) && line[j] != '\n')
            j++;
        if (j > i)
            spans.emplace_back(i, j);
        i = j;
    }
    return spans;
}

// The first line may start with a UTF-8 byte-order mark, which is not a word.
static size_t content_start(const std::vector<std::string> &lines, size_t index)
{
    return index == 0 && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

static std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        nl = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl;
    }
    return lines;
}

// Finds the "track" line of every section and the line of every key, in the
// order the parser reads them. The source parsed, so every key line holds
// exactly one key of the section it is in.
static void index_lines(KeyEditor *e)
{
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        e->track_line[t] = -1;
        e->key_line[t].clear();
    }
    int current = -1;
    for (size_t i = 0; i < e->lines.size(); i++) {
        const std::string &line = e->lines[i];
        const auto spans = word_spans(line, content_start(e->lines, i));
        if (spans.empty())
            continue;
        const std::string first = line.substr(spans[0].first, spans[0].second - spans[0].first);
        if (first == "track" && spans.size() == 2) {
            current = find_timeline_track(line.substr(spans[1].first, spans[1].second - spans[1].first));
            if (current >= 0)
                e->track_line[current] = static_cast<int>(i);
        } else if (current >= 0) {
            e->key_line[current].push_back(static_cast<int>(i));
        }
    }
}

void load_key_editor(KeyEditor *e, const std::string &text, const Timeline &parsed)
{
    e->lines = split_lines(text);
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        e->keys[t].clear();
        for (const auto &k : parsed.tracks[t].keys)
            e->keys[t].push_back(SyncKey{k.row, k.value, k.kind});
    }
    index_lines(e);
    e->undo.clear();
    e->redo.clear();
    e->loaded = true;
}

std::string key_editor_text(const KeyEditor &e)
{
    size_t size = 0;
    for (const std::string &l : e.lines)
        size += l.size();
    std::string text;
    text.reserve(size);
    for (const std::string &l : e.lines)
        text += l;
    return text;
}

// ---- Rewriting key lines ----------------------------------------------------------

static std::string kind_word(int32_t kind)
{
    const char *name = interp_kind_name(kind);
    return name ? name : "hold";
}

static bool same_value(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Replaces the words of a key line that differ between `from` and `to`.
// A shorter word is padded and a longer one takes from the blanks after it,
// so the columns after it stay where they were when there is room.
static std::string rewrite_key_line(const std::string &line, const SyncKey &from, const SyncKey &to)
{
    const auto spans = word_spans(line);
    if (spans.size() != 3)
        return line; // cannot happen on a source that parsed
    std::string words[3];
    bool change[3] = {from.row != to.row, !same_value(from.value, to.value), from.kind != to.kind};
    words[0] = format_row(to.row);
    words[1] = format_value(to.value);
    words[2] = kind_word(to.kind);
    std::string out = line;
    for (int w = 2; w >= 0; w--) {
        if (!change[w])
            continue;
        const size_t s = spans[w].first, e = spans[w].second;
        const size_t old_len = e - s;
        std::string text = words[w];
        size_t eat = 0;
        if (w < 2) { // columns after this word
            size_t blanks = 0;
            while (e + blanks < out.size() && (out[e + blanks] == ' '))
                blanks++;
            if (text.size() < old_len)
                text.append(old_len - text.size(), ' ');
            else if (text.size() > old_len && blanks > 1)
                eat = std::min(blanks - 1, text.size() - old_len);
        }
        out.replace(s, old_len + eat, text);
    }
    return out;
}

// The line end of a line ("\n", "\r\n" or none).
static std::string line_end(const std::string &line)
{
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        return "\r\n";
    if (!line.empty() && line.back() == '\n')
        return "\n";
    return "";
}

// A new key line in the columns of `model` (a key line of the same track
// or of any track), or in the compiler's own layout when there is none.
static std::string new_key_line(const std::string *model, const SyncKey &k)
{
    const std::string row = format_row(k.row), value = format_value(k.value), kind = kind_word(k.kind);
    if (!model)
        return "  " + row + " " + value + " " + kind + "\n";
    const auto spans = word_spans(*model);
    std::string out = model->substr(0, spans.empty() ? 0 : spans[0].first);
    const auto pad_to = [&](size_t column) {
        if (out.size() < column)
            out.append(column - out.size(), ' ');
        else
            out += ' ';
    };
    out += row;
    pad_to(spans.size() == 3 ? spans[1].first : 0);
    out += value;
    pad_to(spans.size() == 3 ? spans[2].first : 0);
    out += kind;
    const std::string end = line_end(*model);
    return out + (end.empty() ? "\n" : end);
}

namespace {

// What one step does to the lines, by original line index: a line replaced
// or removed, and new lines after it.
struct LinePlan {
    std::map<int, std::string> replace;
    std::map<int, bool> remove;
    std::map<int, std::vector<std::string>> after;
};

} // namespace

static const std::string *model_line(const KeyEditor &e, int track, int near)
{
    const std::vector<int> &lines = e.key_line[track];
    if (!lines.empty()) {
        const int i = near < 0 ? 0 : (near >= static_cast<int>(lines.size()) ? static_cast<int>(lines.size()) - 1 : near);
        return &e.lines[lines[i]];
    }
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
        if (!e.key_line[t].empty())
            return &e.lines[e.key_line[t][0]];
    return nullptr;
}

static bool contains_row(const KeyList &keys, int32_t row)
{
    return find_key(keys, row) >= 0;
}

// Plans the lines of one track going from its keys to `to`. Keys on the same
// row in both lists keep their line. Between two such keys, the old keys
// that are gone are paired in order with the new ones, and a pair rewrites
// the old line in place (a moved key keeps its line and comment); old keys
// left over lose their lines, new ones get lines after the previous key.
static void plan_track(const KeyEditor &e, int t, const KeyList &to, LinePlan *plan)
{
    const KeyList &from = e.keys[t];
    const std::vector<int> &lines = e.key_line[t];
    size_t i = 0, j = 0;
    while (i < from.size() || j < to.size()) {
        size_t i2 = i, j2 = j;
        while (i2 < from.size() && !contains_row(to, from[i2].row))
            i2++;
        while (j2 < to.size() && !contains_row(from, to[j2].row))
            j2++;
        const size_t pairs = std::min(i2 - i, j2 - j);
        for (size_t k = 0; k < pairs; k++)
            plan->replace[lines[i + k]] = rewrite_key_line(e.lines[lines[i + k]], from[i + k], to[j + k]);
        for (size_t k = i + pairs; k < i2; k++)
            plan->remove[lines[k]] = true;
        if (j + pairs < j2) {
            const size_t before = i + pairs; // old keys before the new ones: [0, before)
            const int anchor = before > 0 ? lines[before - 1] : e.track_line[t];
            const std::string *model = model_line(e, t, static_cast<int>(before) - 1);
            std::vector<std::string> &added = plan->after[anchor];
            for (size_t k = j + pairs; k < j2; k++)
                added.push_back(new_key_line(model, to[k]));
        }
        i = i2;
        j = j2;
        if (i < from.size() && j < to.size()) { // the same row in both
            if (!same_value(from[i].value, to[j].value) || from[i].kind != to[j].kind)
                plan->replace[lines[i]] = rewrite_key_line(e.lines[lines[i]], from[i], to[j]);
            i++;
            j++;
        }
    }
}

// One splice per planned line: that line (kept, replaced or removed) and the
// lines added after it.
static std::vector<LineSplice> splices_of(const KeyEditor &e, const LinePlan &plan)
{
    std::map<int, bool> touched;
    for (const auto &p : plan.replace)
        touched[p.first] = true;
    for (const auto &p : plan.remove)
        touched[p.first] = true;
    for (const auto &p : plan.after)
        touched[p.first] = true;
    std::vector<LineSplice> out;
    for (const auto &p : touched) {
        const int at = p.first;
        LineSplice s;
        s.at = at;
        s.removed.push_back(e.lines[at]);
        if (!plan.remove.count(at))
            s.inserted.push_back(plan.replace.count(at) ? plan.replace.at(at) : e.lines[at]);
        const auto added = plan.after.find(at);
        if (added != plan.after.end()) {
            // After a last line without a line end, that line gets one and
            // the new last line goes without.
            if (!s.inserted.empty() && line_end(s.inserted.back()).empty()) {
                s.inserted.back() += "\n";
                s.inserted.insert(s.inserted.end(), added->second.begin(), added->second.end());
                std::string &last = s.inserted.back();
                last.resize(last.size() - line_end(last).size());
            } else {
                s.inserted.insert(s.inserted.end(), added->second.begin(), added->second.end());
            }
        }
        out.push_back(std::move(s));
    }
    return out;
}

// Applies splices (ascending, at coordinates before them) and returns the
// inverse splices, ascending, at the coordinates after them.
static std::vector<LineSplice> apply_splices(std::vector<std::string> *lines,
                                             const std::vector<LineSplice> &splices)
{
    std::vector<LineSplice> inverse;
    long shift = 0;
    for (const LineSplice &s : splices) {
        LineSplice inv;
        inv.at = static_cast<int>(s.at + shift);
        inv.removed = s.inserted;
        inv.inserted = s.removed;
        shift += static_cast<long>(s.inserted.size()) - static_cast<long>(s.removed.size());
        inverse.push_back(std::move(inv));
    }
    for (auto it = splices.rbegin(); it != splices.rend(); ++it) {
        const auto first = lines->begin() + it->at;
        lines->erase(first, first + static_cast<long>(it->removed.size()));
        lines->insert(lines->begin() + it->at, it->inserted.begin(), it->inserted.end());
    }
    return inverse;
}

bool apply_key_edit(KeyEditor *e, const std::vector<std::pair<int, KeyList>> &tracks)
{
    EditStep step;
    LinePlan plan;
    for (const auto &[t, keys] : tracks) {
        const KeyList &old = e->keys[t];
        const bool same = old.size() == keys.size() &&
                          std::equal(old.begin(), old.end(), keys.begin(), [](const SyncKey &a, const SyncKey &b) {
                              return a.row == b.row && same_value(a.value, b.value) && a.kind == b.kind;
                          });
        if (same)
            continue;
        plan_track(*e, t, keys, &plan);
        step.changes.push_back(TrackChange{t, old, keys});
    }
    if (step.changes.empty())
        return false;
    step.splices = splices_of(*e, plan);
    const std::vector<LineSplice> inverse = apply_splices(&e->lines, step.splices);
    for (const TrackChange &c : step.changes)
        e->keys[c.track] = c.after;
    index_lines(e);
    // The step is kept as what undoes it.
    EditStep undo;
    undo.splices = inverse;
    undo.changes = step.changes;
    e->undo.push_back(std::move(undo));
    if (e->undo.size() > KEY_EDITOR_UNDO_STEPS)
        e->undo.erase(e->undo.begin());
    e->redo.clear();
    return true;
}

// Applies a stored step (its splices undo or redo it) and stores its
// opposite on `other`.
static bool replay(KeyEditor *e, std::vector<EditStep> *from, std::vector<EditStep> *other,
                   bool backwards, std::vector<int> *changed_tracks)
{
    if (from->empty())
        return false;
    EditStep step = std::move(from->back());
    from->pop_back();
    EditStep opposite;
    opposite.splices = apply_splices(&e->lines, step.splices);
    opposite.changes = step.changes;
    changed_tracks->clear();
    for (const TrackChange &c : step.changes) {
        e->keys[c.track] = backwards ? c.before : c.after;
        changed_tracks->push_back(c.track);
    }
    index_lines(e);
    other->push_back(std::move(opposite));
    return true;
}

bool undo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks)
{
    return replay(e, &e->undo, &e->redo, true, changed_tracks);
}

bool redo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks)
{
    return replay(e, &e->redo, &e->undo, false, changed_tracks);
}
