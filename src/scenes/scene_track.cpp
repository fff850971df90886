// scene_track.cpp - reading a track a scene declares (scene_track.h).
#include "scenes/scene_track.h"

#include "state/state.h"
#include "sync/device.h"
#include "sync/track.h"

float scene_track_value(const SceneTrack &t, const FrameTime &time)
{
    if (!Sync)
        return 0.0f;
    const SyncTrack *track = open_track(Sync, t.name); // the registered one, once there is one
    return track ? static_cast<float>(track_value_at(track, static_cast<double>(time.row))) : 0.0f;
}
