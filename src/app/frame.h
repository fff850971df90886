// frame.h - one frame of the demo as a function of the music time, shared by
// the interactive loop, the offline renderer, the benchmark and the tests.
#pragma once

// Row, Tick and the TrackValues (one per DEMO_VALUE_TRACKS entry) at the given music time in seconds.
void update_frame_values(double seconds);

// Clears the Canvas pixels and the ByteBuffer.
void clear_frame_buffers();

// The scene index the "scene" track gives at the current Row (no scene: any
// value outside 0..7).
int current_scene_index();

// Runs one scene with the loop's own steps around it (the clear and Canvas
// upload for scene 0, the TargetTexture copy for scenes 1, 4, 5 and 7).
// Indices outside 0..7 draw nothing.
void draw_scene(int index);

// The CanvasTexture back to blend mode, then the overlay line "clear.a" picks
// in a text table (null: the program's own, text/captions.cpp).
struct CaptionTable;
void finish_frame(const CaptionTable *captions = nullptr);

// Everything of a frame from the Row to the overlay, for a music time.
// Does not present.
void render_frame(double seconds);
