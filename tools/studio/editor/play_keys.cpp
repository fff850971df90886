// play_keys.cpp - a version of the keys into the playing tracks (play_keys.h).
#include "studio/editor/play_keys.h"

#include <cstdio>
#include <cstring>

#include "state/state.h"
#include "studio/editor/key_edit.h"
#include "sync/device.h"

KeyVersion editor_version(const KeyEditor &e)
{
    KeyVersion v;
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
        v[t] = &e.keys[t];
    return v;
}

KeyVersion track_version(int track, const KeyList &keys)
{
    KeyVersion v{};
    v[track] = &keys;
    return v;
}

KeyVersion timeline_version(const Timeline &timeline)
{
    KeyVersion v;
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
        v[t] = &timeline.tracks[t].keys;
    return v;
}

// Whether the track plays exactly these keys (values bit for bit).
static bool plays(const SyncTrack &t, const KeyList &keys)
{
    return static_cast<size_t>(t.key_count) == keys.size() &&
           (keys.empty() || std::memcmp(t.keys, keys.data(), keys.size() * sizeof(SyncKey)) == 0);
}

bool play_version(const KeyVersion &version)
{
    bool ok = true;
    for (SyncTrack *t : Tracks) {
        const int index = t ? find_timeline_track(t->name) : -1;
        if (index < 0 || !version[index] || plays(*t, *version[index]))
            continue;
        const KeyList &keys = *version[index];
        ok = set_track_keys(t, keys.data(), static_cast<int32_t>(keys.size())) && ok;
    }
    if (!ok)
        std::fputs("studio: out of memory while replacing the tracks\n", stderr);
    return ok;
}
