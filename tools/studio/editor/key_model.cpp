// key_model.cpp - edits on plain key lists.
#include "studio/editor/key_model.h"

#include <algorithm>
#include <cstring>

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

// Keys in rows [from, from + length), as an index range; rows past the
// 32-bit range count as beyond every key.
static void rows_range(const KeyList &keys, int32_t from, int32_t length, size_t *first, size_t *last)
{
    const int64_t end = std::min<int64_t>(static_cast<int64_t>(from) + std::max(length, 0), INT32_MAX);
    keys_in_rows(keys, from, static_cast<int32_t>(end), first, last);
    if (end == INT32_MAX && length > 0 && !keys.empty() && keys.back().row == INT32_MAX &&
        static_cast<int64_t>(from) + length > INT32_MAX)
        *last = keys.size(); // row INT32_MAX itself is inside
}

KeyList copy_keys(const KeyList &keys, int32_t from, int32_t length)
{
    size_t first = 0, last = 0;
    rows_range(keys, from, length, &first, &last);
    KeyList clip;
    clip.reserve(last - first);
    for (size_t i = first; i < last; i++)
        clip.push_back(SyncKey{keys[i].row - from, keys[i].value, keys[i].kind});
    return clip;
}

void paste_keys(KeyList *keys, const KeyList &clip, int32_t at, int32_t length)
{
    size_t first = 0, last = 0;
    rows_range(*keys, at, length, &first, &last);
    KeyList moved;
    for (const SyncKey &k : clip)
        if (k.row >= 0 && k.row < length && static_cast<int64_t>(at) + k.row <= INT32_MAX)
            moved.push_back(SyncKey{at + k.row, k.value, k.kind});
    std::sort(moved.begin(), moved.end(), [](const SyncKey &a, const SyncKey &b) { return a.row < b.row; });
    keys->erase(keys->begin() + static_cast<long>(first), keys->begin() + static_cast<long>(last));
    keys->insert(keys->begin() + static_cast<long>(first), moved.begin(), moved.end());
}

bool same_key(const SyncKey &a, const SyncKey &b)
{
    return a.row == b.row && a.kind == b.kind && std::memcmp(&a.value, &b.value, sizeof a.value) == 0;
}

void keys_in_rows(const KeyList &keys, int32_t from, int32_t to, size_t *first, size_t *last)
{
    const auto begin = std::lower_bound(keys.begin(), keys.end(), from, row_less);
    const auto end = to <= from ? begin : std::lower_bound(begin, keys.end(), to, row_less);
    *first = static_cast<size_t>(begin - keys.begin());
    *last = static_cast<size_t>(end - keys.begin());
}
