// overlays.h - what the studio draws over its picture each frame, from its
// state: the HUD (the values of the frame, the notices, the strip), the key
// grid and the curve view when they are on, and the box of errors.
#pragma once

#include "state/state.h"

struct Studio; // studio/studio_state.h

// Draws the interface of the frame at music time t (drawn at `time`) over
// the window; `previous` is the playhead the strip last showed (the strip
// pages along when the playhead leaves it), `length` the strip's length.
void draw_studio_overlays(Studio *s, double t, const FrameTime &time, double previous, double length);
