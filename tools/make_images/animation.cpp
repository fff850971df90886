// animation.cpp - "0001.bmp" .. "0060.bmp": a flight down a burning tunnel
// towards the horned skull, whose eyes pulse.
//
// Every moving part is a whole number of periods over the 60 frames (the
// tunnel moves four texture lengths, the skull breathes twice, the eyes pulse
// three times), so frame 60 runs into frame 1 exactly as any frame runs into
// the next.
#include <cmath>

#include "make_images/make_images.h"
#include "make_images/motif.h"

namespace {

const double TWO_PI = 6.28318530717958648;
const int32_t AROUND = 12; // noise cells round the tunnel wall
const double ALONG = 4.0;  // tunnel lengths travelled per loop

const ColourStop FIRE[] = {
    {0.0, {0, 0, 0}},      {0.25, {60, 6, 4}},     {0.5, {170, 30, 8}},
    {0.75, {250, 120, 26}}, {1.0, {255, 230, 150}},
};

Rgb frame_pixel(int x, int y, double phase)
{
    const double turn = TWO_PI * phase;
    // A 320x200 frame fills the window: each pixel is 6 wide and 5.4 high.
    const double dx = x + 0.5 - 160.0, dy = (y + 0.5 - 100.0) * 0.9;

    const double size = 40.0 + 2.5 * std::sin(turn * 2.0);
    const double u = dx / size, v = dy / size + 0.06;
    const SkullPart part = skull_part(u, v);
    if (part == SKULL_BONE || part == SKULL_HORN) {
        const double l = skull_light(u, v);
        const Colour dark = part == SKULL_HORN ? Colour{30, 4, 3} : Colour{44, 12, 8};
        const Colour lit = part == SKULL_HORN ? Colour{170, 52, 18} : Colour{214, 162, 120};
        return to_rgb(mix(dark, lit, l * l));
    }
    if (part == SKULL_HOLE) {
        const double pulse = 0.55 + 0.45 * std::sin(turn * 3.0);
        return to_rgb(scale(Colour{255, 110, 30}, pulse));
    }

    const double r = std::sqrt(dx * dx + dy * dy);
    const double depth = 180.0 / (r > 1.0 ? r : 1.0);
    const double along = depth + ALONG * phase;
    const double around = (std::atan2(dy, dx) / TWO_PI + 0.5) * AROUND;
    // Flames along the wall and rings of rib; both repeat along the tunnel
    // every length, round it every full turn.
    const double flame = periodic_fbm(around, along * 3.0, AROUND, 3, 0.5, 4444u);
    const double rib = 0.5 + 0.5 * std::cos(TWO_PI * along);
    const double rib4 = rib * rib * rib * rib;
    const double heat = clamp01((0.5 + 0.9 * flame) * (0.45 + 0.75 * rib4));
    const double fog = smoothstep(20.0, 150.0, r);
    return to_rgb(scale(ramp(FIRE, 5, heat), fog));
}

} // namespace

Picture make_animation_frame(int index)
{
    const int k = ((index % ANIMATION_FRAMES) + ANIMATION_FRAMES) % ANIMATION_FRAMES;
    const double phase = static_cast<double>(k) / ANIMATION_FRAMES;
    Picture p = make_picture(FRAME_W, FRAME_H, Rgb{0, 0, 0});
    for (int y = 0; y < FRAME_H; ++y)
        for (int x = 0; x < FRAME_W; ++x)
            set_pixel(p, x, y, frame_pixel(x, y, phase));
    return p;
}
