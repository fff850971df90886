// image_sequence.h - the counting of scene 7, the 60-image animation, apart
// from the renderer.
#pragma once

#include <cstdint>

// Row, truncated, at which the current pass through the images began; -1
// until the scene first runs. Kept for the whole run of the program.
extern int32_t sequence_start_row;

// Advances the sequence to this frame's Row (music seconds * 20) and gives
// the frame index to show, 0..59 for FrameSequence entries 0..59 ("0001.bmp"
// to "0060.bmp"). *start_row is the Row, truncated, at which the current pass
// began; -1 means not started yet. An index outside 0..59 starts a new pass
// at this Row, so some image is drawn at any frame rate.
int advance_image_sequence(float row, int32_t *start_row);
