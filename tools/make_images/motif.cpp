// motif.cpp - the horned skull shape and geometry helpers.
#include "make_images/motif.h"

#include <cmath>

namespace {

bool in_ellipse(double u, double v, double cu, double cv, double ru, double rv)
{
    const double a = (u - cu) / ru, b = (v - cv) / rv;
    return a * a + b * b <= 1.0;
}

// Ellipse turned by `angle` radians about its centre.
bool in_tilted_ellipse(double u, double v, double cu, double cv, double ru, double rv,
                       double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double du = u - cu, dv = v - cv;
    return in_ellipse(du * c + dv * s, -du * s + dv * c, 0.0, 0.0, ru, rv);
}

bool in_bone(double u, double v)
{
    // Hollows under the cheekbones narrow the face into the jaw.
    if (in_ellipse(std::fabs(u), v, 0.68, 0.44, 0.22, 0.17))
        return false;
    return in_ellipse(u, v, 0.0, -0.2, 0.72, 0.62)     // cranium
           || in_ellipse(u, v, 0.0, 0.2, 0.58, 0.42)   // cheeks
           || in_ellipse(u, v, 0.0, 0.56, 0.40, 0.30)  // jaw
           || (std::fabs(u) < 0.40 && v > 0.40 && v < 0.60);
}

bool in_hole(double u, double v)
{
    // Sockets slant down towards the nose under a straight brow: a scowl.
    const double au = std::fabs(u);
    const double brow = -0.10 + 0.45 * (0.30 - au);
    if (v > brow && in_tilted_ellipse(au, v, 0.30, 0.04, 0.22, 0.17, -0.30))
        return true;
    if (v > 0.20 && v < 0.42 && au <= 0.12 * (v - 0.20) / 0.22)
        return true; // nose
    if (au < 0.34 && v > 0.50 && v < 0.72) {
        if (std::fabs(v - 0.61) < 0.02)
            return true; // between the rows of teeth
        const double f = (u + 0.34) / 0.113;
        if (f - std::floor(f) < 0.16)
            return true; // between two teeth
    }
    return false;
}

// Horns: a tapering tube along a quadratic curve from the temple, out and up.
bool in_horn(double u, double v)
{
    const double au = std::fabs(u);
    if (au < 0.35 || v > -0.30)
        return false;
    for (int i = 0; i <= 32; ++i) {
        const double t = i / 32.0;
        const double a = 1.0 - t;
        const double cu = a * a * 0.48 + 2.0 * a * t * 1.02 + t * t * 0.90;
        const double cv = a * a * -0.48 + 2.0 * a * t * -0.58 + t * t * -1.0;
        const double r = 0.13 * (1.0 - t) + 0.012;
        if ((au - cu) * (au - cu) + (v - cv) * (v - cv) <= r * r)
            return true;
    }
    return false;
}

} // namespace

SkullPart skull_part(double u, double v)
{
    if (in_bone(u, v))
        return in_hole(u, v) ? SKULL_HOLE : SKULL_BONE;
    return in_horn(u, v) ? SKULL_HORN : SKULL_NONE;
}

double skull_light(double u, double v)
{
    // Hollows: the share of solid skull in a small ring around the point.
    const double ring = 0.07;
    int solid = 0;
    for (int k = 0; k < 8; ++k) {
        const double a = k * 0.78539816339744831;
        const SkullPart p = skull_part(u + ring * std::cos(a), v + ring * std::sin(a));
        solid += (p == SKULL_BONE || p == SKULL_HORN) ? 1 : 0;
    }
    const double occlusion = solid / 8.0;
    // Rim: rounder towards the edge of the cranium, lit from the upper left.
    const double du = (u + 0.15) / 0.9, dv = (v + 0.35) / 1.0;
    const double rim = clamp01(du * du + dv * dv);
    return clamp01((0.35 + 0.65 * occlusion) * (1.0 - 0.55 * rim * rim) + 0.05);
}

double segment_distance(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0;
    t = clamp01(t);
    const double ex = px - (ax + dx * t), ey = py - (ay + dy * t);
    return std::sqrt(ex * ex + ey * ey);
}
