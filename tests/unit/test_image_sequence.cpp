// The image sequence: which of the 60 images a Row shows, when a new pass
// starts, and the drawing through the TargetTexture on a software renderer.
#include <gtest/gtest.h>

#include "state/state.h"
#include "scene_window.h"
#include "scenes/image_sequence.h"
#include "scenes/scenes.h"

namespace {

TEST(ImageSequenceCount, WorkedRows)
{
    int32_t start = -1;
    EXPECT_EQ(advance_image_sequence(123.7f, &start), 0); // "0001.bmp"
    EXPECT_EQ(start, 123);
    EXPECT_EQ(advance_image_sequence(124.0f, &start), 1); // "0002.bmp"
    EXPECT_EQ(advance_image_sequence(182.9f, &start), 59); // "0060.bmp"
    EXPECT_EQ(start, 123);
    // 183.2 - 123 = 60.2: a new pass starts at 183 with "0001.bmp".
    EXPECT_EQ(advance_image_sequence(183.2f, &start), 0);
    EXPECT_EQ(start, 183);
    EXPECT_EQ(advance_image_sequence(184.5f, &start), 1);
}

TEST(ImageSequenceCount, RowsJustBeforeTheStart)
{
    int32_t start = 200;
    EXPECT_EQ(advance_image_sequence(199.5f, &start), 0); // -0.5 truncates to 0
    EXPECT_EQ(advance_image_sequence(199.01f, &start), 0);
    EXPECT_EQ(start, 200);
    // -1: the music went back before the pass; a new one starts here.
    EXPECT_EQ(advance_image_sequence(199.0f, &start), 0);
    EXPECT_EQ(start, 199);
    EXPECT_EQ(advance_image_sequence(150.7f, &start), 0);
    EXPECT_EQ(start, 150);
    EXPECT_EQ(advance_image_sequence(152.0f, &start), 2);
}

TEST(ImageSequenceCount, SkippingPastSixtyStartsANewPass)
{
    int32_t start = -1;
    EXPECT_EQ(advance_image_sequence(10.0f, &start), 0);
    EXPECT_EQ(advance_image_sequence(69.9f, &start), 59);
    EXPECT_EQ(advance_image_sequence(71.0f, &start), 0); // 61: a new pass at 71
    EXPECT_EQ(start, 71);
    EXPECT_EQ(advance_image_sequence(500.4f, &start), 0); // a seek far ahead
    EXPECT_EQ(start, 500);
    EXPECT_EQ(advance_image_sequence(559.0f, &start), 59);
}

TEST(ImageSequenceCount, BelowTwentyFramesASecondThePicturesKeepChanging)
{
    // 11.76 frames a second: 1.7 Rows a frame. Every frame shows another
    // image than the one before, also across the end of each pass.
    int32_t start = -1;
    int previous = -1, passes = 0;
    for (int frame = 0; frame < 200; ++frame) {
        const float row = 3.0f + static_cast<float>(frame) * 1.7f;
        const int index = advance_image_sequence(row, &start);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 60);
        EXPECT_NE(index, previous) << "frame " << frame;
        passes += index < previous;
        previous = index;
    }
    EXPECT_GE(passes, 5);
}

TEST(ImageSequenceCount, DifferenceIsFormedInSinglePrecision)
{
    // A start beyond float precision is converted to float first: the start
    // 16777217 becomes 16777216.0f, so the Row 16777216.0f gives index 0 in
    // the same pass (in double precision it would be -1 and a new pass).
    int32_t start = 16777217;
    EXPECT_EQ(advance_image_sequence(16777216.0f, &start), 0);
    EXPECT_EQ(start, 16777217);
}

// ---- Drawn on a software renderer -------------------------------------------

uint32_t frame_colour(int k)
{
    return static_cast<uint32_t>((k * 4) << 16 | (255 - k) << 8 | (k * 3));
}

uint32_t target_pixel(int x, int y)
{
    SDL_SetRenderTarget(renderer, TargetTexture);
    uint32_t p = 0;
    SDL_Rect r{x, y, 1, 1};
    SDL_RenderReadPixels(renderer, &r, SDL_PIXELFORMAT_ARGB8888, &p, 4);
    SDL_SetRenderTarget(renderer, nullptr);
    return p & 0xFFFFFFu;
}

TEST(ImageSequenceDrawing, DrawsTheFrameOverTheWholeTargetAndLeavesTheWindowSelected)
{
    SceneWindow win;
    ASSERT_TRUE(win.ok) << SDL_GetError();
    for (int k = 0; k < FRAME_COUNT; ++k) {
        SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, 32, 20, 24, SDL_PIXELFORMAT_RGB24);
        ASSERT_NE(s, nullptr);
        const uint32_t c = frame_colour(k);
        SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, c >> 16, (c >> 8) & 255, c & 255));
        FrameSequence[k] = SceneWindow::texture_from(s, false, 0, 0, 0);
        ASSERT_NE(FrameSequence[k], nullptr);
    }
    SDL_SetRenderTarget(renderer, TargetTexture);
    SDL_SetRenderDrawColor(renderer, 1, 2, 3, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderTarget(renderer, nullptr);

    // The first call of the scene since program start: the pass starts at 123.
    sequence_start_row = -1;
    draw_image_sequence(FrameTime{123.7f, 0});
    EXPECT_EQ(sequence_start_row, 123);
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);
    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    SDL_GetTextureBlendMode(TargetTexture, &mode);
    EXPECT_EQ(mode, SDL_BLENDMODE_BLEND);
    for (auto [x, y] : {std::pair{0, 0}, {319, 0}, {0, 199}, {319, 199}, {160, 100}})
        EXPECT_EQ(target_pixel(x, y), frame_colour(0)) << x << "," << y;

    draw_image_sequence(FrameTime{182.9f, 0});
    EXPECT_EQ(target_pixel(200, 50), frame_colour(59));

    // 61 Rows after the start: a new pass at 184 draws "0001.bmp".
    draw_image_sequence(FrameTime{184.5f, 0});
    EXPECT_EQ(sequence_start_row, 184);
    EXPECT_EQ(target_pixel(200, 50), frame_colour(0));
    EXPECT_EQ(SDL_GetRenderTarget(renderer), nullptr);
    draw_image_sequence(FrameTime{191.5f, 0});
    EXPECT_EQ(target_pixel(10, 190), frame_colour(7));

    for (auto &t : FrameSequence)
        t = nullptr;
    sequence_start_row = -1;
}

} // namespace
