// scene_track.h - a sync track that a scene names in its own code, opened by
// the sync device on first use: adding a track is a declaration in the
// scene's unit and a section in the timeline, with no list to edit and no
// change to the process-wide state's layout.
//
// The declaration stands at file scope, on a line of its own, in exactly
// this form (the timeline compiler finds the declared names by reading the
// scene sources line by line, tools/timeline/declared_tracks.h):
//
//   DEMO_SCENE_TRACK(fog_density, "fog.density");
//
// and the scene reads the track's value at the frame's row, with the
// FrameTime its routine was given:
//
//   const float density = scene_track_value(fog_density, time);
//
// The name uses letters, digits, "." and "_" (its file is
// sync_NAME.track, as for the demo's own tracks), is not one of the demo's
// own tracks and is declared once in all the scenes. The track is opened
// through the device's open_track at the first read (its file loaded then);
// a track that cannot be opened reads 0.0 and is tried again next frame.
//
// The handle is constant and holds only the name: each read finds the track
// in the device by name (a few string compares). So a scene keeps no
// writable data of its own, and a new build of the studio's scene library
// reads the same track the old one did.
#pragma once

struct FrameTime; // state/state.h

struct SceneTrack {
    const char *name;
};

#define DEMO_SCENE_TRACK(handle, track_name) static const SceneTrack handle = {track_name}

// The track's value at the frame's row (opening it on the first call); 0.0
// while the device has none to give.
float scene_track_value(const SceneTrack &t, const FrameTime &time);
