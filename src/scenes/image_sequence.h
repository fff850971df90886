// image_sequence.h - the counting of scene 7, the 60-image animation, apart
// from the renderer.
#pragma once

#include <cstdint>

// The scene's state, sequence_start_row, is in state/state.h.

// Advances the sequence to this frame's Row (music seconds * 20) and gives
// the frame index to show, 0..59 for FrameSequence entries 0..59 ("0001.bmp"
// to "0060.bmp"). *start_row is the Row, truncated, at which the current pass
// began; -1 means not started yet. An index outside 0..59 starts a new pass
// at this Row, so some image is drawn at any frame rate.
int advance_image_sequence(float row, int32_t *start_row);
