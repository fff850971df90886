// view.h - the studio's window: the 1920x1080 picture drawn into a target
// texture of its own and shown scaled into the window with its aspect ratio
// kept (bars above and below, or left and right), and snapshots of it.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <span>
#include <string>

#include "state/state.h"
#include "studio/live/scene_library.h"

// The largest 16:9 rectangle centred in a window of w x h pixels.
SDL_Rect letterbox_rect(int w, int h);

// Creates PictureTarget (1920x1080, render target, linear scaling so the
// shrunk picture does not alias), cleared to opaque black. False on failure,
// with SDL's error text left for the caller.
bool create_picture_target();

// Draws the picture of the music time into PictureTarget with the demo's
// frame function (with the scenes of `scenes` when not null, else the ones
// linked in), then selects the window again. Returns the frame's Row and Tick.
FrameTime draw_picture(double seconds, const SceneLibraryTable *scenes = nullptr);

// The scene and text tables the picture draws from: the drawing library's
// (set before each frame; null: the program's own). The HUD and the grid
// name scenes and captions from them too.
void set_shown_library(const SceneLibraryTable *library);
std::span<const SceneInfo> shown_scenes();
const SceneInfo *find_shown_scene(int index); // null: no scene there
const CaptionTable &shown_captions();

// Copies PictureTarget letterboxed into the window (cleared to black first).
void show_picture();

// Reads PictureTarget back as 1920x1080 pixels 0xAARRGGBB. False on failure.
bool read_picture(uint32_t *pixels);

// "snapshot_MM-SS.fff.png" for a music time (times before 0 count as 0):
// the fraction has at least three digits and as many more as the exact time
// needs, so MM * 60 + SS.fff given to capture --start is that very time.
std::string snapshot_name(double seconds);

// Writes the picture as a PNG; false with a reason in *error.
bool write_snapshot(const std::string &path, std::string *error);
