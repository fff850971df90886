// terrain.cpp - "d1.bmp" (heights) and "c1.bmp" (colours) of the landscape.
//
// The terrain is a 1024x1024 field that repeats in both directions. Every
// noise layer repeats over exactly 1024 cells, so the seams cannot show:
// heights, slopes and colours at column 1023 run on into column 0.
// Lava fills the lowest valleys, basalt and rust make the slopes, ash-pale
// crests the ridges, and terraced plateaus break the middle heights.
#include <cmath>
#include <vector>

#include "base/convert.h"
#include "make_images/make_images.h"

namespace {

const int N = TERRAIN_SIZE;
const int MASK = TERRAIN_SIZE - 1; // wraps every 1024 cells

// Large-scale lattice: 4 cells of noise across the map.
const int32_t BASE_PERIOD = 4;

// Ridged fractal: sharp crests where the noise crosses zero.
double ridged(double x, double y, uint32_t seed)
{
    double sum = 0.0, amplitude = 1.0, total = 0.0, weight = 1.0, freq = 1.0;
    int32_t period = BASE_PERIOD;
    for (int i = 0; i < 6; ++i) {
        double r = 1.0 - std::fabs(periodic_noise(x * freq, y * freq, period, seed + i * 31u));
        r = r * r;
        r *= weight;
        weight = clamp01(r * 1.6);
        sum += r * amplitude;
        total += amplitude;
        amplitude *= 0.5;
        freq *= 2.0;
        period *= 2;
    }
    return sum / total; // 0..1
}

// Steps of a terrace: flat treads joined by steep risers.
double terrace(double h, int steps)
{
    const double s = h * steps;
    const double k = std::floor(s);
    return (k + smoothstep(0.3, 0.7, s - k)) / steps;
}

// Raw height before normalisation, roughly 0..1.
double raw_height(int x, int y)
{
    const double fx = x * (static_cast<double>(BASE_PERIOD) / N);
    const double fy = y * (static_cast<double>(BASE_PERIOD) / N);
    // Domain warp, itself periodic, bends the features out of the lattice.
    const double wx = periodic_fbm(fx, fy, BASE_PERIOD, 3, 0.5, 901u) * 0.45;
    const double wy = periodic_fbm(fx, fy, BASE_PERIOD, 3, 0.5, 902u) * 0.45;
    const double px = fx + wx, py = fy + wy;

    const double base = 0.5 + 0.5 * periodic_fbm(px, py, BASE_PERIOD, 8, 0.5, 11u);
    const double ridges = ridged(px * 1.0, py * 1.0, 500u);
    // Where the mountain mask is high the ridges rise; elsewhere rolling ground.
    const double mountains = smoothstep(-0.15, 0.45, periodic_fbm(fx, fy, BASE_PERIOD, 2, 0.5, 77u));
    double h = base * 0.62 + ridges * mountains * 0.55;
    // Plateaus: terraces blended in where a second mask says so.
    const double plateau = smoothstep(0.0, 0.35, periodic_fbm(fx, fy, BASE_PERIOD, 2, 0.5, 333u));
    h = h + (terrace(h, 7) - h) * plateau * 0.85;
    return h;
}

} // namespace

int height_of(Rgb c)
{
    return static_cast<int>(height_from_rgb(c.r, c.g, c.b));
}

Rgb grey_for_level(int level)
{
    if (level >= 254)
        return Rgb{255, 255, 255};
    const uint8_t v = static_cast<uint8_t>(level < 0 ? 0 : level);
    if (height_of(Rgb{v, v, v}) == level)
        return Rgb{v, v, v};
    return Rgb{static_cast<uint8_t>(v + 1), static_cast<uint8_t>(v + 1), v};
}

Picture make_height_map()
{
    std::vector<double> h(static_cast<size_t>(N) * N);
    double lo = 1e9, hi = -1e9;
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            const double v = raw_height(x, y);
            h[static_cast<size_t>(y) * N + x] = v;
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
    }
    // Stretch to the demo's 255 height levels (0..254: even white reads as
    // 254). The demo truncates the luma sum, so a pure grey (v, v, v) gives
    // v - 1 for some v and 52 levels would be unreachable; those levels are
    // written as (v + 1, v + 1, v), a grey one step short in blue, whose luma
    // v + 0.93 truncates to v. The top level is written as white.
    Picture p = make_picture(N, N, Rgb{0, 0, 0});
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            const double t = (h[static_cast<size_t>(y) * N + x] - lo) / (hi - lo);
            // A slight curve keeps the lava valleys narrow and the peaks rare.
            const int level = to_int32(std::pow(t, 1.15) * 254.0 + 0.5);
            set_pixel(p, x, y, grey_for_level(level));
        }
    }
    return p;
}

namespace {

// Colours by height (0..255, the level the demo reads).
const ColourStop TERRAIN_PALETTE[] = {
    {0.0, {255, 222, 110}},  // white-hot lava
    {14.0, {252, 150, 30}},
    {30.0, {215, 60, 10}},
    {44.0, {120, 22, 8}},    // cooling crust
    {56.0, {44, 24, 22}},    // basalt
    {110.0, {72, 56, 50}},
    {150.0, {96, 60, 46}},   // rust
    {195.0, {128, 92, 74}},
    {230.0, {168, 156, 146}}, // ash
    {255.0, {222, 214, 204}},
};
const int PALETTE_STOPS = sizeof TERRAIN_PALETTE / sizeof TERRAIN_PALETTE[0];

} // namespace

Picture make_colour_map(const Picture &heights)
{
    std::vector<int> level(static_cast<size_t>(N) * N);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x)
            level[static_cast<size_t>(y) * N + x] = height_of(get_pixel(heights, x, y));
    auto at = [&](int x, int y) { return level[static_cast<size_t>(y & MASK) * N + (x & MASK)]; };

    // Light from the upper left, fairly low: the slopes facing it glow,
    // the ones facing away fall into shadow.
    const double lx = -0.55, ly = -0.45, lz = 0.70;
    const double lnorm = std::sqrt(lx * lx + ly * ly + lz * lz);

    Picture p = make_picture(N, N, Rgb{0, 0, 0});
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            const int hgt = at(x, y);
            // Slope in height units per cell, neighbours wrapping every 1024.
            const double sx = (at(x + 1, y) - at(x - 1, y)) * 0.5;
            const double sy = (at(x, y + 1) - at(x, y - 1)) * 0.5;
            const double nx = -sx * 0.35, ny = -sy * 0.35, nz = 1.0;
            const double nlen = std::sqrt(nx * nx + ny * ny + nz * nz);
            const double lambert = (nx * lx + ny * ly + nz * lz) / (nlen * lnorm);
            const double lit = 0.30 + 0.95 * (lambert > 0.0 ? lambert : 0.0);

            // Grain and streaks of the rock, wrapping with the map.
            const double fx = x * (64.0 / N), fy = y * (64.0 / N);
            const double grain = periodic_fbm(fx, fy, 64, 3, 0.55, 4242u);

            Colour c = ramp(TERRAIN_PALETTE, PALETTE_STOPS, hgt + grain * 6.0);
            // Lava glows by itself; rock takes the light.
            const double rock = smoothstep(30.0, 52.0, hgt);
            const double shade = 1.0 + (lit * (1.0 + grain * 0.18) - 1.0) * rock;
            c = scale(c, shade);
            set_pixel(p, x, y, to_rgb(c));
        }
    }
    return p;
}
