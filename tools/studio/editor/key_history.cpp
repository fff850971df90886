// key_history.cpp - an edit's step applied to the editor in place, and the
// undo and redo history of steps (see key_history.h).
#include "studio/editor/key_history.h"

#include <algorithm>

// ---- Applying a step in place -------------------------------------------------------

// Replaces v[at, at + count) by `with`, moving the rest once.
template <class Vec>
static void replace_range(Vec *v, size_t at, size_t count, const Vec &with)
{
    const size_t common = std::min(count, with.size());
    std::copy(with.begin(), with.begin() + static_cast<long>(common), v->begin() + static_cast<long>(at));
    const auto rest = v->begin() + static_cast<long>(at + common);
    if (with.size() > count)
        v->insert(rest, with.begin() + static_cast<long>(common), with.end());
    else
        v->erase(rest, rest + static_cast<long>(count - common));
}

// Applies splices (ascending, in the coordinates before them) to a sequence
// in place, each kept element moved once: the kept runs that move left go
// first, in order, then those that move right, from the last; the inserted
// elements fill the gaps last. In the final order no run lands on a run not
// yet moved, so nothing is overwritten before it is read.
template <class Vec, class Splice, class Removed, class Inserted>
static void apply_splices(Vec *v, const std::vector<Splice> &splices, Removed removed, Inserted inserted)
{
    if (splices.size() == 1) {
        replace_range(v, splices[0].at, removed(splices[0]).size(), inserted(splices[0]));
        return;
    }
    if (splices.empty())
        return;
    const size_t n = v->size(), k = splices.size();
    // Run j keeps [from(j), to(j)) and moves by shift[j].
    std::vector<int64_t> shift(k + 1, 0);
    for (size_t j = 0; j < k; j++)
        shift[j + 1] = shift[j] + static_cast<int64_t>(inserted(splices[j]).size()) -
                       static_cast<int64_t>(removed(splices[j]).size());
    const auto from = [&](size_t j) { return j == 0 ? size_t{0} : splices[j - 1].at + removed(splices[j - 1]).size(); };
    const auto to = [&](size_t j) { return j == k ? n : size_t{splices[j].at}; };
    const int64_t total = shift[k];
    if (total > 0) {
        if (v->capacity() < n + static_cast<size_t>(total))
            v->reserve(edit_headroom(n + static_cast<size_t>(total)));
        v->resize(n + static_cast<size_t>(total));
    }
    const auto base = v->begin();
    for (size_t j = 0; j <= k; j++)
        if (shift[j] < 0)
            std::copy(base + static_cast<long>(from(j)), base + static_cast<long>(to(j)),
                      base + static_cast<long>(from(j)) + shift[j]);
    for (size_t j = k + 1; j-- > 0;)
        if (shift[j] > 0)
            std::copy_backward(base + static_cast<long>(from(j)), base + static_cast<long>(to(j)),
                               base + static_cast<long>(to(j)) + shift[j]);
    for (size_t j = 0; j < k; j++)
        std::copy(inserted(splices[j]).begin(), inserted(splices[j]).end(),
                  base + static_cast<long>(splices[j].at) + shift[j]);
    if (total < 0)
        v->resize(static_cast<size_t>(static_cast<int64_t>(n) + total));
}

// Kept key lines move by the bytes inserted and removed before them: a line
// at p moves by every splice that ends at or before p (an insertion at p
// goes before the line).
static void shift_places(std::vector<uint32_t> *places, const std::vector<TextSplice> &text)
{
    if (text.empty())
        return;
    const uint32_t first_end = static_cast<uint32_t>(text[0].at + text[0].removed.size());
    auto p = std::lower_bound(places->begin(), places->end(), first_end);
    size_t j = 0;
    int64_t delta = 0;
    for (; p != places->end(); ++p) {
        while (j < text.size() && text[j].at + text[j].removed.size() <= *p) {
            delta += static_cast<int64_t>(text[j].inserted.size()) - static_cast<int64_t>(text[j].removed.size());
            j++;
        }
        *p = static_cast<uint32_t>(*p + delta);
    }
}

// Applies a track step and returns the step that undoes it.
static TrackStep apply_track_step(KeyEditor *e, const TrackStep &s)
{
    TrackStep inverse;
    inverse.track = s.track;
    int64_t shift = 0;
    for (const KeySplice &k : s.keys) {
        KeySplice inv;
        inv.at = static_cast<uint32_t>(k.at + shift);
        inv.removed = k.inserted;
        inv.inserted = k.removed;
        inv.removed_places = k.inserted_places;
        inv.inserted_places = k.removed_places;
        shift += static_cast<int64_t>(k.inserted.size()) - static_cast<int64_t>(k.removed.size());
        inverse.keys.push_back(std::move(inv));
    }
    shift = 0;
    for (const TextSplice &t : s.text) {
        inverse.text.push_back(TextSplice{static_cast<uint32_t>(t.at + shift), t.inserted, t.removed});
        shift += static_cast<int64_t>(t.inserted.size()) - static_cast<int64_t>(t.removed.size());
    }

    std::vector<uint32_t> &places = e->places[s.track];
    shift_places(&places, s.text);
    apply_splices(&e->keys[s.track], s.keys, [](const KeySplice &k) -> const KeyList & { return k.removed; },
                  [](const KeySplice &k) -> const KeyList & { return k.inserted; });
    apply_splices(&places, s.keys, [](const KeySplice &k) -> const std::vector<uint32_t> & { return k.removed_places; },
                  [](const KeySplice &k) -> const std::vector<uint32_t> & { return k.inserted_places; });
    apply_splices(&e->section[s.track], s.text, [](const TextSplice &t) -> const std::string & { return t.removed; },
                  [](const TextSplice &t) -> const std::string & { return t.inserted; });
    return inverse;
}

void commit_edit_step(KeyEditor *e, const EditStep &step)
{
    EditStep undo;
    for (const TrackStep &t : step.tracks)
        undo.tracks.push_back(apply_track_step(e, t));
    e->undo.push_back(std::move(undo));
    if (e->undo.size() > KEY_EDITOR_UNDO_STEPS)
        e->undo.pop_front();
    e->redo.clear();
}

// ---- Undo and redo ----------------------------------------------------------------------

// Applies a stored step and stores its opposite on `other`.
static bool replay(KeyEditor *e, EditStep step, std::vector<int> *changed_tracks, EditStep *opposite)
{
    changed_tracks->clear();
    for (const TrackStep &t : step.tracks) {
        opposite->tracks.push_back(apply_track_step(e, t));
        changed_tracks->push_back(t.track);
    }
    return true;
}

// Replays the newest step of `from` (the undo or the redo list) and keeps
// its opposite on `to`.
template <class From, class To>
static bool replay_newest(KeyEditor *e, From *from, To *to, std::vector<int> *changed_tracks)
{
    if (from->empty())
        return false;
    EditStep step = std::move(from->back());
    from->pop_back();
    EditStep opposite;
    replay(e, std::move(step), changed_tracks, &opposite);
    to->push_back(std::move(opposite));
    return true;
}

bool undo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks)
{
    return replay_newest(e, &e->undo, &e->redo, changed_tracks);
}

bool redo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks)
{
    return replay_newest(e, &e->redo, &e->undo, changed_tracks);
}

static size_t step_bytes(const EditStep &s)
{
    size_t n = sizeof s + s.tracks.capacity() * sizeof(TrackStep);
    for (const TrackStep &t : s.tracks) {
        n += t.keys.capacity() * sizeof(KeySplice) + t.text.capacity() * sizeof(TextSplice);
        for (const KeySplice &k : t.keys)
            n += (k.removed.capacity() + k.inserted.capacity()) * sizeof(SyncKey) +
                 (k.removed_places.capacity() + k.inserted_places.capacity()) * sizeof(uint32_t);
        for (const TextSplice &x : t.text)
            n += x.removed.capacity() + x.inserted.capacity();
    }
    return n;
}

size_t key_editor_history_bytes(const KeyEditor &e)
{
    size_t n = 0;
    for (const EditStep &s : e.undo)
        n += step_bytes(s);
    for (const EditStep &s : e.redo)
        n += step_bytes(s);
    return n;
}

bool edit_step_first_change(const EditStep &step, int *track, int32_t *row)
{
    for (const TrackStep &t : step.tracks)
        for (const KeySplice &k : t.keys) {
            const bool gone = !k.removed.empty(), came = !k.inserted.empty();
            if (!gone && !came)
                continue;
            *track = t.track;
            *row = gone && came ? std::min(k.removed[0].row, k.inserted[0].row)
                                : (gone ? k.removed[0].row : k.inserted[0].row);
            return true;
        }
    return false;
}
