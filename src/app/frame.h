// frame.h - one frame of the demo as a function of the music time, drawn
// from a given scene table, shared by the interactive loop, the offline
// renderer, the benchmark, the studio and the tests.
//
// The frame's Row and Tick are set in the process-wide state (the demo's
// documented state) and also returned as a FrameTime, which the frame's code
// hands down to the scene dispatch and the scene routines. The programs draw
// from SceneTable, the scenes linked into them; the studio also from the
// table of its live scene library.
#pragma once

#include <span>

#include "scenes/scene_table.h"
#include "state/state.h"

// Row, Tick and the TrackValues (one per DEMO_VALUE_TRACKS entry) at the
// given music time in seconds; returns the Row and Tick.
FrameTime update_frame_values(double seconds);

// Clears the Canvas pixels and the ByteBuffer.
void clear_frame_buffers();

// The scene index the "scene" track gives at the frame's row (no scene: any
// value outside the scene table).
int scene_index_at(const FrameTime &time);

// Runs scene `index` of `scenes` at `time` with the loop's own steps around
// it (the TargetTexture copy after the scenes that ask for it: 1, 4, 5 and 7
// of SceneTable). Indices outside the table draw nothing.
void draw_scene(std::span<const SceneInfo> scenes, int index, const FrameTime &time);

// The CanvasTexture back to blend mode, then the overlay line "clear.a" picks
// in a text table (null: the program's own, text/captions.cpp).
struct CaptionTable;
void finish_frame(const CaptionTable *captions = nullptr);

// Everything of a frame from the Row to the overlay, for a music time, with
// the scenes of `scenes` and the captions of `captions` (null: the
// program's own). Does not present. Returns the frame's Row and Tick.
FrameTime render_frame(double seconds, std::span<const SceneInfo> scenes,
                       const CaptionTable *captions = nullptr);
