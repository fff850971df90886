// image_sequence.cpp - scene 7: the 60 images "0001.bmp" to "0060.bmp" played
// as a loop, one image per Row (20 per second of music), through the
// TargetTexture, which the frame loop then stretches over the window.
//
// The pass start is kept for the whole run: a later return to the scene within
// 60 Rows goes on counting from it. Any index outside 0..59 starts a new pass
// at this Row: exactly 60 at the end of a pass, but also a skip past 60 (a
// frame slower than 50 ms, a seek, a late return to the scene) or a Row before
// the start (the music went back). Otherwise the scene would draw nothing for
// good once one slow frame stepped over 60.

#include "scenes/image_sequence.h"

#include "base/convert.h"
#include "state/state.h"
#include "scenes/scenes.h"

int advance_image_sequence(float row, int32_t *start_row)
{
    if (*start_row == -1)
        *start_row = to_int32(row);
    // The difference is formed in single precision.
    int32_t index = to_int32(row - static_cast<float>(*start_row));
    if (index < 0 || index >= FRAME_COUNT) {
        index = 0;
        *start_row = to_int32(row);
    }
    return index;
}

void draw_image_sequence(const FrameTime &time)
{
    const int index = advance_image_sequence(time.row, &sequence_start_row);
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_SetTextureBlendMode(TargetTexture, SDL_BLENDMODE_BLEND);
    SDL_RenderCopy(renderer, FrameSequence[index], nullptr, nullptr);
    SDL_SetRenderTarget(renderer, PictureTarget);
}
