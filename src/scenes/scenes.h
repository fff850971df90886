// scenes.h - the eight scene routines the frame loop dispatches on.
//
// Each takes the frame's Row and Tick, reads the rest of the shared state of
// state/state.h and draws with the shared renderer; what it keeps between
// frames is there too. Every routine that selects the TargetTexture as
// render target selects the window again before it returns. The table of
// scenes (scene_table.h) says which are followed by the TargetTexture copy.
#pragma once

struct FrameTime; // state/state.h

void draw_landscape(const FrameTime &time);        // scene 0: clear, voxel landscape in the Canvas, upload, copy
void draw_sprite_drip(const FrameTime &time);      // scene 1: sprite chain with drip smear
void draw_house_reflection(const FrameTime &time); // scene 2: house silhouette and reflection
void draw_streak_window(const FrameTime &time);    // scene 3: mirrored streak pattern
void draw_ray_sphere(const FrameTime &time);       // scene 4: ray-cast textured sphere
void draw_fire(const FrameTime &time);             // scene 5: feedback fire with overlays
void draw_glyph_field(const FrameTime &time);      // scene 6: random glyph field
void draw_image_sequence(const FrameTime &time);   // scene 7: 60-frame image sequence
