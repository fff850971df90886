// raster.cpp - pixel buffer, colour helpers, hash noise and BMP writing.
#include "make_images/raster.h"

#include "common/output_file.h"

#include <SDL.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/convert.h"

Picture make_picture(int w, int h, Rgb fill)
{
    Picture p;
    p.w = w;
    p.h = h;
    p.rgb.resize(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < p.rgb.size(); i += 3) {
        p.rgb[i] = fill.r;
        p.rgb[i + 1] = fill.g;
        p.rgb[i + 2] = fill.b;
    }
    return p;
}

bool save_bmp24(const Picture &p, const std::string &path, std::string *error)
{
    // Masks of a 24-bit value 0xRRGGBB stored little-endian (bytes B, G, R):
    // exactly the layout SDL writes to a 24-bit BMP without conversion.
    SDL_Surface *s = SDL_CreateRGBSurface(0, p.w, p.h, 24, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    if (!s) {
        *error = "cannot make a " + std::to_string(p.w) + "x" + std::to_string(p.h) +
                 " surface: " + SDL_GetError();
        return false;
    }
    for (int y = 0; y < p.h; ++y) {
        uint8_t *row = static_cast<uint8_t *>(s->pixels) + static_cast<size_t>(y) * s->pitch;
        const uint8_t *src = &p.rgb[static_cast<size_t>(y) * p.w * 3];
        for (int x = 0; x < p.w; ++x) {
            row[x * 3] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3];
        }
    }
    // SDL writes into the temporary file (through a stream of its own on a
    // copy of the descriptor), which then replaces the real one.
    OutputFile out;
    if (!open_output_file(path, &out, error)) {
        SDL_FreeSurface(s);
        return false;
    }
    const int copy = dup(out.fd);
    FILE *f = copy >= 0 ? fdopen(copy, "wb") : nullptr;
    if (!f && copy >= 0)
        close(copy);
    SDL_RWops *rw = f ? SDL_RWFromFP(f, SDL_FALSE) : nullptr;
    bool saved = rw && SDL_SaveBMP_RW(s, rw, 1) == 0;
    const std::string reason = rw ? SDL_GetError() : std::strerror(errno);
    if (f && std::fclose(f) != 0 && saved) {
        saved = false;
        *error = "cannot write " + path + ": " + std::strerror(errno);
    } else if (!saved) {
        *error = "cannot write " + path + ": " + reason;
    }
    SDL_FreeSurface(s);
    if (!saved) {
        discard_output_file(&out);
        return false;
    }
    return place_output_file(&out, error);
}

// ---- Colour arithmetic ----------------------------------------------------

uint8_t to_byte(double v)
{
    if (!(v > 0.0))
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<uint8_t>(to_int32(v + 0.5));
}

Rgb to_rgb(Colour c)
{
    return Rgb{to_byte(c.r), to_byte(c.g), to_byte(c.b)};
}

Colour mix(Colour a, Colour b, double t)
{
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour scale(Colour c, double k)
{
    return Colour{c.r * k, c.g * k, c.b * k};
}

Colour ramp(const ColourStop *stops, int count, double at)
{
    if (at <= stops[0].at)
        return stops[0].colour;
    for (int i = 1; i < count; ++i) {
        if (at <= stops[i].at) {
            const double t = (at - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
            return mix(stops[i - 1].colour, stops[i].colour, t);
        }
    }
    return stops[count - 1].colour;
}

double clamp01(double v)
{
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

double smoothstep(double e0, double e1, double v)
{
    const double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}

int32_t floor_int(double v)
{
    return to_int32(std::floor(v));
}

// ---- Integer-hash noise ---------------------------------------------------

uint32_t hash2(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^
                 seed * 0xCB1AB31Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

double hash_unit(int32_t x, int32_t y, uint32_t seed)
{
    return static_cast<double>(hash2(x, y, seed) >> 8) * (1.0 / 16777216.0);
}

static int32_t wrap(int32_t v, int32_t period)
{
    const int32_t m = v % period;
    return m < 0 ? m + period : m;
}

// Quintic fade: zero first and second derivative at the lattice points.
static double fade(double t)
{
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}

// Dot product of the lattice point's gradient with the offset (dx, dy).
static double gradient_dot(int32_t ix, int32_t iy, uint32_t seed, double dx, double dy)
{
    const double d = 0.70710678118654752;
    static const double gx[8] = {1.0, -1.0, 0.0, 0.0, d, -d, d, -d};
    static const double gy[8] = {0.0, 0.0, 1.0, -1.0, d, d, -d, -d};
    const uint32_t k = hash2(ix, iy, seed) >> 29;
    return gx[k] * dx + gy[k] * dy;
}

double periodic_noise(double x, double y, int32_t period, uint32_t seed)
{
    const int32_t x0 = floor_int(x);
    const int32_t y0 = floor_int(y);
    const double fx = x - x0;
    const double fy = y - y0;
    const int32_t ax = wrap(x0, period), bx = wrap(x0 + 1, period);
    const int32_t ay = wrap(y0, period), by = wrap(y0 + 1, period);
    const double n00 = gradient_dot(ax, ay, seed, fx, fy);
    const double n10 = gradient_dot(bx, ay, seed, fx - 1.0, fy);
    const double n01 = gradient_dot(ax, by, seed, fx, fy - 1.0);
    const double n11 = gradient_dot(bx, by, seed, fx - 1.0, fy - 1.0);
    const double u = fade(fx);
    const double v = fade(fy);
    const double top = n00 + (n10 - n00) * u;
    const double bottom = n01 + (n11 - n01) * u;
    // 2-D gradient noise stays within about +-0.75; bring it to about +-1.
    return (top + (bottom - top) * v) * 1.4;
}

double periodic_fbm(double x, double y, int32_t period, int octaves, double gain,
                    uint32_t seed)
{
    double sum = 0.0, amplitude = 1.0, total = 0.0, freq = 1.0;
    int32_t p = period;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * periodic_noise(x * freq, y * freq, p, seed + static_cast<uint32_t>(i) * 101u);
        total += amplitude;
        amplitude *= gain;
        freq *= 2.0;
        p *= 2;
    }
    return sum / total;
}

CellDistances periodic_cells(double x, double y, int32_t period, uint32_t seed)
{
    const int32_t x0 = floor_int(x);
    const int32_t y0 = floor_int(y);
    double f1 = 1e9, f2 = 1e9;
    for (int32_t j = -1; j <= 1; ++j) {
        for (int32_t i = -1; i <= 1; ++i) {
            const int32_t cx = x0 + i, cy = y0 + j;
            const int32_t wx = wrap(cx, period), wy = wrap(cy, period);
            const double px = cx + 0.15 + 0.7 * hash_unit(wx, wy, seed);
            const double py = cy + 0.15 + 0.7 * hash_unit(wx, wy, seed + 7777u);
            const double d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
            if (d < f1) {
                f2 = f1;
                f1 = d;
            } else if (d < f2) {
                f2 = d;
            }
        }
    }
    return CellDistances{f1, f2};
}
