// Row, Tick, colour channels and the scene index: the frame's conversions,
// with NaN and out-of-range values, and the quit rules of the event loop.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "base/convert.h"
#include "app/frame.h"
#include "app/loop.h"
#include "state/state.h"
#include "scene_window.h"
#include "scenes/image_sequence.h"
#include "sync/track.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A one-key track holding `value` everywhere.
struct ConstantTrack {
    SyncKey key;
    SyncTrack track;
    explicit ConstantTrack(float value) : key{0, value, INTERP_HOLD}, track{nullptr, &key, 1} {}
};

struct FrameValues : ::testing::Test {
    SyncTrack empty{nullptr, nullptr, 0};
    void SetUp() override
    {
        for (auto &t : Tracks)
            t = &empty;
    }
    void TearDown() override
    {
        for (auto &t : Tracks)
            t = nullptr;
    }
};

} // namespace

TEST(Convert, TruncatesTowardZeroAndMapsInvalidToIntMin)
{
    EXPECT_EQ(to_int32(7.9), 7);
    EXPECT_EQ(to_int32(0.99), 0);
    EXPECT_EQ(to_int32(-0.5), 0);
    EXPECT_EQ(to_int32(-1.0), -1);
    EXPECT_EQ(to_int32(-7.9), -7);
    EXPECT_EQ(to_int32(2147483647.9), 2147483647);
    EXPECT_EQ(to_int32(-2147483648.9), INT32_MIN);
    EXPECT_EQ(to_int32(2147483648.0), INT32_MIN);
    EXPECT_EQ(to_int32(-2147483649.0), INT32_MIN);
    EXPECT_EQ(to_int32(1e300), INT32_MIN);
    EXPECT_EQ(to_int32(kNaN), INT32_MIN);
    EXPECT_EQ(to_int32(kInf), INT32_MIN);
    EXPECT_EQ(to_int32(-kInf), INT32_MIN);
}

TEST(Convert, ColourChannelKeepsTheLowByte)
{
    EXPECT_EQ(channel_from_value(300.7f), 44);
    EXPECT_EQ(channel_from_value(256.0f), 0);
    EXPECT_EQ(channel_from_value(-1.0f), 255);
    EXPECT_EQ(channel_from_value(255.9f), 255);
    EXPECT_EQ(channel_from_value(kNaN), 0);
    EXPECT_EQ(channel_from_value(3e9f), 0);
    EXPECT_EQ(channel_from_value(-kInf), 0);
}

TEST(Convert, Low32BitsOfHugeAndNegativeProducts)
{
    EXPECT_EQ(low32_of_trunc(4000.0), 4000u);
    EXPECT_EQ(low32_of_trunc(4294967296.0 + 5.5), 5u);
    EXPECT_EQ(low32_of_trunc(-1.0), 0xFFFFFFFFu);
    EXPECT_EQ(low32_of_trunc(-0.9), 0u);
    EXPECT_EQ(low32_of_trunc(1e30), 0u); // a multiple of 2^32
    EXPECT_EQ(low32_of_trunc(kNaN), 0u);
}

TEST_F(FrameValues, RowAndTickFromMusicSeconds)
{
    // The frame's time is returned and set in the process-wide state alike.
    auto expect_time = [](double seconds, float row, uint32_t tick) {
        const FrameTime t = update_frame_values(seconds);
        EXPECT_EQ(t.row, row) << seconds;
        EXPECT_EQ(t.tick, tick) << seconds;
        EXPECT_EQ(Row, row) << seconds;
        EXPECT_EQ(Tick, tick) << seconds;
    };
    expect_time(2.5, 50.0f, 4000u);
    expect_time(0.0, 0.0f, 0u);
    expect_time(10.0, 200.0f, 16000u);
    // Row is single precision: 1/3 s gives the float nearest 6.666..., and
    // Tick is taken from that float (6.6666665077 * 80 = 533.33).
    expect_time(1.0 / 3.0, static_cast<float>(20.0 / 3.0), 533u);
    // Beyond 2^32 ticks only the low 32 bits remain: Row 2^27 gives 80 * 2^27
    // = 10737418240 = 2 * 2^32 + 2147483648.
    expect_time(134217728.0 / 20.0, 134217728.0f, 2147483648u);
}

TEST_F(FrameValues, TrackValuesAreReadAtTheRowAndNarrowedToFloat)
{
    SyncKey keys[2] = {{0, 0.0f, INTERP_LINEAR}, {40, 255.0f, INTERP_HOLD}};
    SyncTrack ramp{nullptr, keys, 2};
    ConstantTrack dist(600.5f);
    Tracks[TRACK_CLEAR_R] = &ramp;
    Tracks[TRACK_CAM_DIST] = &dist.track;
    update_frame_values(10.5 / 20.0);
    EXPECT_EQ(TrackValues.clear_r, 66.9375f);
    EXPECT_EQ(TrackValues.cam_dist, 600.5f);
    EXPECT_EQ(TrackValues.clear_g, 0.0f);
    EXPECT_EQ(TrackValues.cam_scaleh, 0.0f);
}

TEST_F(FrameValues, SceneIndexTruncatesAndOutOfRangeIsNoScene)
{
    struct Case { float value; int index; } cases[] = {
        {7.9f, 7}, {0.99f, 0}, {-0.5f, 0}, {8.0f, 8}, {-1.0f, -1},
        {kNaN, INT32_MIN}, {3e10f, INT32_MIN}, {-kInf, INT32_MIN},
    };
    for (const Case &c : cases) {
        ConstantTrack scene(c.value);
        Tracks[TRACK_SCENE] = &scene.track;
        EXPECT_EQ(scene_index_at(update_frame_values(1.0)), c.index) << c.value;
    }
}

// ---- The loop's own steps around the scenes, on a software renderer ---------

struct SceneSteps : ::testing::Test {
    SceneWindow win;
    static constexpr uint32_t WINDOW_GREY = 0x5A5A5Au;  // (90, 90, 90)
    static constexpr uint32_t TARGET_BLUE = 0x285078u;  // (40, 80, 120)
    void SetUp() override
    {
        ASSERT_TRUE(win.ok) << SDL_GetError();
        // The TargetTexture holds an opaque colour; the window another.
        SDL_SetRenderTarget(renderer, TargetTexture);
        SDL_SetRenderDrawColor(renderer, 40, 80, 120, 255);
        SDL_RenderClear(renderer);
        SDL_SetRenderTarget(renderer, nullptr);
        SDL_SetRenderDrawColor(renderer, 90, 90, 90, 255);
        SDL_RenderClear(renderer);
        std::memset(Canvas, 0, CANVAS_PIXEL_BYTES);
        TrackValues = {};
        PenY = -7;
    }
    void TearDown() override
    {
        TrackValues = {};
        sequence_start_row = -1;
        std::memset(Canvas, 0, CANVAS_PIXEL_BYTES);
    }
    SDL_BlendMode canvas_mode()
    {
        SDL_BlendMode mode = SDL_BLENDMODE_INVALID;
        SDL_GetTextureBlendMode(CanvasTexture, &mode);
        return mode;
    }
};

TEST_F(SceneSteps, SceneZeroClearsUploadsAndCopiesTheCanvasUnblended)
{
    // A draw distance of 0: the landscape leaves the Canvas as it is, here
    // a pattern with alpha 0 that only an unblended copy shows.
    for (int i = 0; i < CANVAS_W * CANVAS_H; ++i)
        Canvas[i] = (i / CANVAS_W) % 2 ? 0x00FF8000u : 0x000010F0u;
    TrackValues.clear_r = 300.7f; // low byte 44
    TrackValues.clear_g = -1.0f;  // 255
    TrackValues.clear_b = 256.0f; // 0
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_BLEND);
    draw_scene(SceneTable, 0, FrameTime{});
    EXPECT_EQ(canvas_mode(), SDL_BLENDMODE_NONE);
    EXPECT_EQ(win.stretched_pixel(10, 0), 0x0010F0u);
    EXPECT_EQ(win.stretched_pixel(300, 1), 0xFF8000u);
    EXPECT_EQ(win.stretched_pixel(160, 199), 0xFF8000u);
    Uint8 r = 0, g = 0, b = 0, a = 0;
    SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
    EXPECT_EQ(r, 44);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(a, 255);

    // After every scene the CanvasTexture goes back to blending.
    finish_frame();
    EXPECT_EQ(canvas_mode(), SDL_BLENDMODE_BLEND);
}

TEST_F(SceneSteps, SceneSevenIsFollowedByTheTargetCopy)
{
    // No image is loaded here, so the scene's copy leaves the TargetTexture
    // as it was: what reaches the window is that colour, over all of it.
    ASSERT_EQ(FrameSequence[0], nullptr);
    draw_scene(SceneTable, 7, FrameTime{5.0f, 400});
    for (auto [x, y] : {std::pair{0, 0}, {1919, 0}, {960, 540}, {0, 1079}, {1919, 1079}})
        EXPECT_EQ(win.pixel(x, y), TARGET_BLUE) << x << "," << y;
}

TEST_F(SceneSteps, ScenesTwoAndThreeAreNotFollowedByACopy)
{
    // Scene 2 covers the window with the (zero) Canvas, scene 3 clears it to
    // black; without their pictures, black stays where a copy of the
    // TargetTexture would show blue.
    TrackValues.clear_r = TrackValues.clear_g = TrackValues.clear_b = 255.0f;
    for (int scene : {2, 3}) {
        draw_scene(SceneTable, scene, FrameTime{});
        EXPECT_EQ(win.pixel(5, 5), 0x000000u) << scene;
        EXPECT_EQ(win.pixel(1900, 1070), 0x000000u) << scene;
    }
}

TEST_F(SceneSteps, NoSceneLeavesWindowCanvasAndModesAlone)
{
    for (int i = 0; i < CANVAS_W * CANVAS_H; ++i)
        Canvas[i] = 0xFF00FF00u;
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_ADD);
    for (int index : {8, -1, INT32_MIN, 1000}) {
        draw_scene(SceneTable, index, FrameTime{});
        EXPECT_EQ(win.pixel(0, 0), WINDOW_GREY) << index;
        EXPECT_EQ(win.pixel(960, 540), WINDOW_GREY) << index;
        EXPECT_EQ(canvas_mode(), SDL_BLENDMODE_ADD) << index;
    }
    EXPECT_EQ(Canvas[0], 0xFF00FF00u);
}

namespace {

// Two scenes of a table of their own, each noting its call and its time;
// the first asks for the target copy (SceneTable's first does not).
int FakeCalled = -1;
FrameTime FakeTime{};
void fake_copied(const FrameTime &time)
{
    FakeCalled = 0;
    FakeTime = time;
}
void fake_plain(const FrameTime &time)
{
    FakeCalled = 1;
    FakeTime = time;
}
const SceneInfo FakeScenes[2] = {{"copied", fake_copied, true}, {"plain", fake_plain, false}};

} // namespace

TEST_F(SceneSteps, AFrameDrawsTheSceneOfTheTableItIsGiven)
{
    SyncTrack empty{nullptr, nullptr, 0};
    for (auto &t : Tracks)
        t = &empty;
    ConstantTrack no_line(3.0f); // "clear.a" 3: no overlay line
    Tracks[TRACK_CLEAR_A] = &no_line.track;
    for (int index : {0, 1, 2}) {
        ConstantTrack scene(static_cast<float>(index));
        Tracks[TRACK_SCENE] = &scene.track;
        FakeCalled = -1;
        SDL_RenderClear(renderer); // the window grey again
        const FrameTime time = render_frame(2.5, FakeScenes);
        EXPECT_EQ(time.row, 50.0f);
        EXPECT_EQ(time.tick, 4000u);
        EXPECT_EQ(FakeCalled, index < 2 ? index : -1) << "index 2 lies past the table's end";
        if (index < 2) {
            EXPECT_EQ(FakeTime.row, 50.0f) << index;
            EXPECT_EQ(FakeTime.tick, 4000u) << index;
        }
        EXPECT_EQ(win.pixel(960, 540), index == 0 ? TARGET_BLUE : WINDOW_GREY) << index;
    }
    for (auto &t : Tracks)
        t = nullptr;
}

TEST_F(SceneSteps, ClearAPicksTheOverlayLine)
{
    // The overlay sets the pen y to the line's y; no line leaves it alone.
    TrackValues.clear_a = 3.0f;
    finish_frame();
    EXPECT_EQ(PenY, -7);
    TrackValues.clear_a = 2.9f; // line 2, y 508
    finish_frame();
    EXPECT_EQ(PenY, 508);
    TrackValues.clear_a = 54.5f; // line 54, y 980
    finish_frame();
    EXPECT_EQ(PenY, 980);
}

TEST(QuitEvents, EscapePressAndQuitEndTheLoopOtherEventsDoNot)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    auto key_event = [](Uint32 type, SDL_Keycode sym) {
        SDL_Event e{};
        e.type = type;
        e.key.type = type;
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = sym;
        return e;
    };
    SDL_Event e = key_event(SDL_KEYDOWN, SDLK_a);
    SDL_PushEvent(&e);
    e = key_event(SDL_KEYUP, SDLK_ESCAPE);
    SDL_PushEvent(&e);
    e = key_event(SDL_KEYDOWN, SDLK_SPACE);
    SDL_PushEvent(&e);
    EXPECT_FALSE(poll_quit_events());

    e = key_event(SDL_KEYDOWN, SDLK_ESCAPE);
    SDL_PushEvent(&e);
    EXPECT_TRUE(poll_quit_events());
    EXPECT_FALSE(poll_quit_events()); // every pending event was taken

    // A quit followed by other events still ends the loop, and all of them
    // are taken in the same frame.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    e = key_event(SDL_KEYDOWN, SDLK_b);
    SDL_PushEvent(&e);
    EXPECT_TRUE(poll_quit_events());
    SDL_Event left;
    EXPECT_EQ(SDL_PeepEvents(&left, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT), 0);
    SDL_Quit();
}
