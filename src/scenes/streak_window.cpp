// streak_window.cpp - scene 3: a black-and-white pattern of short vertical
// streaks, made left-right symmetric, shown enlarged in a 640x270 window
// rectangle under "paita.bmp" (whose yellow parts let it through), and the
// whole window then multiplied by the clear colour.
//
// The pattern is a chain of trigonometric functions of the pixel position and
// of H, the whole part of "cam.h"; it changes only when H does, so the last
// pattern is kept (StreakPattern, state/state.h) and recomputed only for a
// new H.

#include "scenes/streak_window.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/convert.h"
#include "state/state.h"
#include "scenes/scenes.h"

static_assert(STREAK_W == SMALL_W && STREAK_H == SMALL_H, "the pattern fills the ByteBuffer");

namespace {

constexpr int HALF_W = STREAK_W / 2;
constexpr int BAND_HALF_HEIGHT = 20; // rows 30..70 (|50 - r| <= 20) are not attenuated
constexpr uint32_t WHITE = 0xFFFFFFFFu;

// 0.05 rounded to single precision, as a double.
const double SINGLE_0_05 = 0.05000000074505806;

// The parts of a pixel's formula that depend only on the column.
struct StreakColumn {
    double a;      // cos(tan(0.2 q + H))
    double tan_q;  // tan(q * 100.01)
    double s;      // sin((A q - 40) * 0.05f)
    double qh;     // q * H, the integer product (exact in 64 bits)
};

StreakColumn streak_column(int q, int32_t h, double amp)
{
    StreakColumn c;
    c.a = std::cos(std::tan(0.2 * q + h));
    c.tan_q = std::tan(q * 100.01);
    c.s = std::sin((amp * q - 40.0) * SINGLE_0_05);
    c.qh = static_cast<double>(static_cast<int64_t>(q) * h);
    return c;
}

// |cos(H + 300)|; the sum is taken exactly rather than in 32 bits.
double streak_amplitude(int32_t h)
{
    return std::fabs(std::cos(static_cast<double>(static_cast<int64_t>(h) + 300)));
}

uint32_t streak_value(const StreakColumn &c, int q, int r, int32_t h)
{
    const double hd = h;
    const double b = std::cos(c.qh * 0.01 + r * 0.1);
    const double t = std::tan(q * 0.01 + c.a * ((b * hd) * 0.00009));
    const float f = static_cast<float>(r) * 0.05f + static_cast<float>(h); // single precision
    const double u = std::cos(c.tan_q + static_cast<double>(f)) * 255.0;
    return streak_colour(to_int32(t * (u * c.s)), r);
}

} // namespace

uint32_t streak_colour(int32_t n, int r)
{
    const int d = std::abs(50 - r);
    if (d > BAND_HALF_HEIGHT) {
        // Rows outside the band are biased towards black by 80 per row, with
        // 32-bit wrap-around.
        n = static_cast<int32_t>(static_cast<uint32_t>(n) +
                                 static_cast<uint32_t>((BAND_HALF_HEIGHT - d) * 80));
    }
    return n >= 255 ? WHITE : 0u;
}

int32_t streak_parameter(float cam_h)
{
    return to_int32(cam_h);
}

uint32_t streak_pixel(int q, int r, int32_t h)
{
    return streak_value(streak_column(q, h, streak_amplitude(h)), q, r, h);
}

void render_streak_pattern(uint32_t *pixels, int32_t h)
{
    const double amp = streak_amplitude(h);
    StreakColumn columns[HALF_W];
    for (int q = HALF_W; q < STREAK_W; ++q)
        columns[q - HALF_W] = streak_column(q, h, amp);

    for (int r = 0; r < STREAK_H; ++r) {
        uint32_t *row = pixels + r * STREAK_W;
        for (int q = HALF_W; q < STREAK_W; ++q)
            row[q] = streak_value(columns[q - HALF_W], q, r, h);
        for (int i = 0; i < HALF_W; ++i)
            row[i] = row[STREAK_W - 1 - i];
    }
}

uint32_t paint_streak_pattern(const SceneFrame &frame, const SceneOutput &out)
{
    render_streak_pattern(out.pixels, streak_parameter(frame.values.cam_h));
    return 0;
}

// Scene 3. Draws straight onto the window; the frame loop copies nothing.
void draw_streak_window(const FrameTime &time)
{
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);

    const int32_t h = streak_parameter(TrackValues.cam_h);
    if (!StreakPatternMade || h != StreakPatternH) {
        paint_streak_pattern(current_scene_frame(time), scene_state_output(StreakPattern));
        StreakPatternH = h;
        StreakPatternMade = true;
    }
    std::memcpy(ByteBuffer, StreakPattern, sizeof StreakPattern);

    SDL_UpdateTexture(SmallTexture, nullptr, ByteBuffer, STREAK_W * 4);
    const WindowRect &r = STREAK_WINDOW_RECT;
    const SDL_Rect pattern_rect = {r.x, r.y, r.w, r.h};
    SDL_RenderCopy(renderer, SmallTexture, nullptr, &pattern_rect);

    SDL_SetTextureBlendMode(PaitaTexture, SDL_BLENDMODE_BLEND);
    SDL_SetTextureAlphaMod(PaitaTexture, 255);
    SDL_RenderCopy(renderer, PaitaTexture, nullptr, nullptr);

    // Multiply every colour channel of the window by the clear colour / 255.
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_MOD);
    SDL_SetRenderDrawColor(renderer, channel_from_value(TrackValues.clear_r),
                           channel_from_value(TrackValues.clear_g),
                           channel_from_value(TrackValues.clear_b), 0);
    const SDL_Rect window_rect = {0, 0, WINDOW_W, WINDOW_H};
    SDL_RenderFillRect(renderer, &window_rect);
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
}
