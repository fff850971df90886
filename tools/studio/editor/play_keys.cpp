// play_keys.cpp - a version of the keys into the playing tracks (play_keys.h).
#include "studio/editor/play_keys.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "state/state.h"
#include "studio/editor/key_edit.h"
#include "sync/device.h"

KeyVersion editor_version(const KeyEditor &e)
{
    KeyVersion v;
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
        v.tracks[t] = &e.keys[t];
    for (size_t d = 0; d < e.declared.size(); d++)
        v.declared.emplace_back(&e.declared[d], &e.keys[TIMELINE_TRACK_COUNT + d]);
    return v;
}

KeyVersion track_version(const KeyEditor &e, int track, const KeyList &keys)
{
    KeyVersion v;
    if (track < TIMELINE_TRACK_COUNT)
        v.tracks[track] = &keys;
    else if (static_cast<size_t>(track - TIMELINE_TRACK_COUNT) < e.declared.size())
        v.declared.emplace_back(&e.declared[static_cast<size_t>(track - TIMELINE_TRACK_COUNT)], &keys);
    return v;
}

KeyVersion timeline_version(const Timeline &timeline)
{
    KeyVersion v;
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
        v.tracks[t] = &timeline.tracks[t].keys;
    for (const TimelineTrack &d : timeline.declared)
        v.declared.emplace_back(&d.name, &d.keys);
    return v;
}

// Whether the track plays exactly these keys (values bit for bit).
static bool plays(const SyncTrack &t, const KeyList &keys)
{
    return static_cast<size_t>(t.key_count) == keys.size() &&
           (keys.empty() || std::memcmp(t.keys, keys.data(), keys.size() * sizeof(SyncKey)) == 0);
}

static uint64_t Changes[TRACK_COUNT];
// The same for the tracks the scenes declare (the device keeps a track it
// opened for as long as it lives, so its address names it).
static std::unordered_map<const SyncTrack *, uint64_t> DeclaredChanges;

bool play_version(const KeyVersion &version)
{
    bool ok = true;
    for (int i = 0; i < TRACK_COUNT; i++) {
        SyncTrack *t = Tracks[i];
        const int index = t ? find_timeline_track(t->name) : -1;
        if (index < 0 || !version.tracks[index] || plays(*t, *version.tracks[index]))
            continue;
        const KeyList &keys = *version.tracks[index];
        ok = set_track_keys(t, keys.data(), static_cast<int32_t>(keys.size())) && ok;
        Changes[i]++; // counted even when memory ran out: the keys are compared then
    }
    for (const auto &[name, keys] : version.declared) {
        SyncTrack *t = Sync ? open_track(Sync, name->c_str()) : nullptr;
        if (t && !plays(*t, *keys)) {
            ok = set_track_keys(t, keys->data(), static_cast<int32_t>(keys->size())) && ok;
            DeclaredChanges[t]++;
        } else if (!t && Sync) {
            ok = false;
        }
    }
    if (!ok)
        std::fputs("studio: out of memory while replacing the tracks\n", stderr);
    return ok;
}

uint64_t played_changes(const SyncTrack *t)
{
    for (int i = 0; i < TRACK_COUNT; i++)
        if (Tracks[i] == t)
            return Changes[i];
    const auto declared = DeclaredChanges.find(t);
    return declared != DeclaredChanges.end() ? declared->second : 0;
}

const SyncTrack *playing_track(const KeyEditor &e, int t)
{
    if (t < TIMELINE_TRACK_COUNT)
        return t >= 0 ? Tracks[t] : nullptr;
    const int at = Sync ? find_track(Sync, key_editor_track_name(e, t)) : -1;
    return at >= 0 ? Sync->tracks[at] : nullptr;
}
