// grid.h - drawing the key editor: the key grid (one column per track, one
// line per grid step around the playhead) and the curve view of the
// selected track, over the studio's picture.
#pragma once

#include <SDL.h>

struct Studio; // studio/studio_state.h

// The grid's rectangle in the window as it stands.
SDL_Rect grid_rect(const Studio &s, int w, int h);

void draw_grid(const Studio &s, double seconds);
void draw_curve(const Studio &s, double seconds);
