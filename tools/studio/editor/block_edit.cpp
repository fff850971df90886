// block_edit.cpp - range edits on one track's keys.
#include "studio/editor/block_edit.h"

#include <algorithm>

static bool inside(const SyncKey &k, int32_t row0, int32_t row1)
{
    return k.row >= row0 && k.row < row1;
}

static void sort_rows(KeyList *keys)
{
    std::sort(keys->begin(), keys->end(), [](const SyncKey &a, const SyncKey &b) { return a.row < b.row; });
}

int count_keys_in(const KeyList &keys, int32_t row0, int32_t row1)
{
    return static_cast<int>(std::count_if(keys.begin(), keys.end(),
                                          [&](const SyncKey &k) { return inside(k, row0, row1); }));
}

int delete_keys_in(KeyList *keys, int32_t row0, int32_t row1)
{
    const size_t before = keys->size();
    keys->erase(std::remove_if(keys->begin(), keys->end(), [&](const SyncKey &k) { return inside(k, row0, row1); }),
                keys->end());
    return static_cast<int>(before - keys->size());
}

bool move_keys_in(KeyList *keys, int32_t row0, int32_t row1, int32_t delta, std::string *why)
{
    KeyList out, moved;
    for (const SyncKey &k : *keys) {
        if (!inside(k, row0, row1)) {
            out.push_back(k);
            continue;
        }
        const int64_t to = static_cast<int64_t>(k.row) + delta;
        if (to < 0 || to > INT32_MAX) {
            *why = to < 0 ? "a key would go before row 0" : "a key would go past the last row";
            return false;
        }
        moved.push_back(SyncKey{static_cast<int32_t>(to), k.value, k.kind});
    }
    for (const SyncKey &k : moved) {
        if (find_key(out, k.row) >= 0) {
            *why = "another key sits on row " + std::to_string(k.row);
            return false;
        }
        out.push_back(k);
    }
    sort_rows(&out);
    *keys = std::move(out);
    return true;
}

bool paste_keys_at(KeyList *keys, const KeyList &clip, int32_t at, int32_t length, bool replace,
                   std::string *why)
{
    if (replace) {
        paste_keys(keys, clip, at, length);
        return true;
    }
    KeyList out = *keys;
    for (const SyncKey &k : clip) {
        const int64_t row = static_cast<int64_t>(at) + k.row;
        if (k.row < 0 || k.row >= length || row > INT32_MAX)
            continue;
        if (find_key(out, static_cast<int32_t>(row)) >= 0) {
            *why = "a key already sits on row " + std::to_string(row);
            return false;
        }
        out.push_back(SyncKey{static_cast<int32_t>(row), k.value, k.kind});
        sort_rows(&out);
    }
    *keys = std::move(out);
    return true;
}

int set_kind_in(KeyList *keys, int32_t row0, int32_t row1, int32_t kind)
{
    int n = 0;
    for (SyncKey &k : *keys)
        if (inside(k, row0, row1)) {
            k.kind = kind;
            n++;
        }
    return n;
}

int scale_values_in(KeyList *keys, int32_t row0, int32_t row1, float factor)
{
    int n = 0;
    for (SyncKey &k : *keys)
        if (inside(k, row0, row1)) {
            k.value *= factor;
            n++;
        }
    return n;
}

int offset_values_in(KeyList *keys, int32_t row0, int32_t row1, float delta)
{
    int n = 0;
    for (SyncKey &k : *keys)
        if (inside(k, row0, row1)) {
            k.value += delta;
            n++;
        }
    return n;
}
