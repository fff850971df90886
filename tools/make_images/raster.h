// raster.h - the plain pixel buffer every image generator draws into, the
// integer-hash noise they share, and the one place that writes BMP files.
//
// Everything here is deterministic: noise comes from integer hashes of
// lattice coordinates (no rand(), no clock), and the float arithmetic is plain
// IEEE double without contraction, so a run gives the same bytes on every
// x86-64 machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An 8-bit RGB picture, row-major, 3 bytes per pixel in the order R, G, B.
struct Picture {
    int w = 0;
    int h = 0;
    std::vector<uint8_t> rgb;
};

struct Rgb {
    uint8_t r, g, b;
};

Picture make_picture(int w, int h, Rgb fill);

inline Rgb get_pixel(const Picture &p, int x, int y)
{
    const uint8_t *q = &p.rgb[(static_cast<size_t>(y) * p.w + x) * 3];
    return Rgb{q[0], q[1], q[2]};
}

inline void set_pixel(Picture &p, int x, int y, Rgb c)
{
    uint8_t *q = &p.rgb[(static_cast<size_t>(y) * p.w + x) * 3];
    q[0] = c.r;
    q[1] = c.g;
    q[2] = c.b;
}

// 0xRRGGBB, the raw value the demo reads from a 24-bit surface.
inline uint32_t raw_value(Rgb c)
{
    return static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
}

// Writes the picture as an uncompressed 24-bit BMP through SDL. The file is
// written under a temporary name and renamed, so a failed run never leaves a
// half-written image behind. On failure returns false and sets *error.
bool save_bmp24(const Picture &p, const std::string &path, std::string *error);

// ---- Colour arithmetic ----------------------------------------------------

// A colour with double channels in 0..255 (values outside are clamped when
// converted back).
struct Colour {
    double r, g, b;
};

// Rounds to nearest and clamps to 0..255.
uint8_t to_byte(double v);
Rgb to_rgb(Colour c);
Colour mix(Colour a, Colour b, double t);
Colour scale(Colour c, double k);

// Linear interpolation through a table of (position, colour) stops sorted by
// position; positions outside the table take the end colours.
struct ColourStop {
    double at;
    Colour colour;
};
Colour ramp(const ColourStop *stops, int count, double at);

double clamp01(double v);
double smoothstep(double e0, double e1, double v);

// Floor to a 32-bit integer (for lattice coordinates well inside the range).
int32_t floor_int(double v);

// ---- Integer-hash noise ---------------------------------------------------

// A well-mixed 32-bit hash of a lattice point and a seed.
uint32_t hash2(int32_t x, int32_t y, uint32_t seed);

// The hash as a double in [0, 1).
double hash_unit(int32_t x, int32_t y, uint32_t seed);

// Gradient noise in about -1..1 that repeats every `period` lattice cells in
// both directions (period >= 1): the lattice coordinates are wrapped before
// hashing, so noise(x + period, y) == noise(x, y) exactly.
double periodic_noise(double x, double y, int32_t period, uint32_t seed);

// Fractal sum of periodic_noise: `octaves` layers, each of twice the lattice
// frequency and `gain` times the amplitude of the one before. (x, y) are in
// units of the first octave's lattice, which repeats every `period` cells;
// every octave repeats over the same distance. Normalised to about -1..1.
double periodic_fbm(double x, double y, int32_t period, int octaves, double gain,
                    uint32_t seed);

// Distances to the nearest and second-nearest of one jittered feature point
// per lattice cell (cellular noise), repeating every `period` cells.
struct CellDistances {
    double f1, f2;
};
CellDistances periodic_cells(double x, double y, int32_t period, uint32_t seed);
