// image_sequence.cpp - scene 7: the 60 images "0001.bmp" to "0060.bmp" played
// as a loop, one image per Row (20 per second of music), through the
// TargetTexture, which the frame loop then stretches over the window.
//
// The pass start is kept for the whole run: a later return to the scene goes
// on counting from it. Only an index of exactly 60 starts a new pass, so a
// jump past it shows nothing until the Row comes back into range, and the
// TargetTexture keeps whatever it held.

#include "scenes/image_sequence.h"

#include "base/convert.h"
#include "state/state.h"
#include "scenes/scenes.h"

int32_t sequence_start_row = -1;

int advance_image_sequence(float row, int32_t *start_row)
{
    if (*start_row == -1)
        *start_row = to_int32(row);
    // The difference is formed in single precision.
    int32_t index = to_int32(row - static_cast<float>(*start_row));
    if (index == FRAME_COUNT) {
        index = 0;
        *start_row = to_int32(row);
    }
    if (index < 0 || index >= FRAME_COUNT)
        return -1;
    return index;
}

void draw_image_sequence()
{
    const int index = advance_image_sequence(Row, &sequence_start_row);
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_SetTextureBlendMode(TargetTexture, SDL_BLENDMODE_BLEND);
    if (index >= 0)
        SDL_RenderCopy(renderer, FrameSequence[index], nullptr, nullptr);
    SDL_SetRenderTarget(renderer, PictureTarget);
}
