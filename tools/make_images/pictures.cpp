// pictures.cpp - the drawn still images: the house, the shirt picture, the
// chain sprite, the sphere texture and the two fire overlays.
#include <cmath>
#include <vector>

#include "make_images/make_images.h"
#include "make_images/motif.h"

namespace {

const double PI = 3.14159265358979324;

// ---- House ------------------------------------------------------------------

// The house image is drawn stretched to HOUSE_PICTURE_RECT's 1920x700 window
// pixels: each image pixel is 12 wide and about 6.93 high there. Shapes are
// laid out in those window units so they keep their proportions on screen.
const double HOUSE_PX_W = static_cast<double>(HOUSE_PICTURE_RECT.w) / HOUSE_W;
const double HOUSE_PX_H = static_cast<double>(HOUSE_PICTURE_RECT.h) / HOUSE_H;

struct Segment {
    double ax, ay, bx, by, width;
};

// A bare tree: each branch forks into two or three thinner, shorter ones.
void grow_branch(std::vector<Segment> *out, double x, double y, double angle, double length,
                 double width, int depth, uint32_t seed)
{
    const double ex = x + std::sin(angle) * length;
    const double ey = y - std::cos(angle) * length;
    out->push_back(Segment{x, y, ex, ey, width});
    if (depth == 0)
        return;
    const int forks = 2 + static_cast<int>(hash2(depth, 0, seed) % 2u);
    for (int i = 0; i < forks; ++i) {
        const uint32_t s = hash2(i, depth, seed);
        const double jitter = (hash_unit(i, depth, seed + 1u) - 0.5) * 0.5;
        const double spread = 0.55 * (i - (forks - 1) * 0.5) + jitter;
        const double shrink = 0.62 + 0.16 * hash_unit(i, depth, seed + 2u);
        grow_branch(out, ex, ey, angle * 0.8 + spread, length * shrink,
                    std::fmax(width * 0.62, 14.0), depth - 1, s);
    }
}

// Ground line in window units: a hill under the tree, gentle waves elsewhere.
double ground_top(double X)
{
    const double hill = (X - 250.0) / 280.0;
    return 628.0 - 70.0 * std::exp(-hill * hill) + 7.0 * std::sin(X * 0.011);
}

bool in_polygon(double x, double y, const double (*pts)[2], int n)
{
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const double xi = pts[i][0], yi = pts[i][1], xj = pts[j][0], yj = pts[j][1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

// A glowing window pane: hot in the middle, ember at the frame; a black
// cross of bars divides it into four.
bool window_pane(double X, double Y, double x0, double y0, double x1, double y1, Rgb *c)
{
    if (X < x0 || X > x1 || Y < y0 || Y > y1)
        return false;
    const double cx = (x0 + x1) * 0.5, cy = (y0 + y1) * 0.5;
    if (std::fabs(X - cx) < 7.0 || std::fabs(Y - cy) < 4.0) {
        *c = Rgb{0, 0, 0};
        return true;
    }
    const double dx = (X - cx) / (x1 - x0) * 2.0, dy = (Y - cy) / (y1 - y0) * 2.0;
    const double t = clamp01(std::sqrt(dx * dx + dy * dy) / 1.3);
    *c = to_rgb(mix(Colour{255, 196, 96}, Colour{176, 44, 12}, t));
    return true;
}

Rgb house_pixel(int x, int y, const std::vector<Segment> &tree)
{
    const Rgb black = {0, 0, 0}, sky = {255, 255, 255};
    const double X = (x + 0.5) * HOUSE_PX_W, Y = (y + 0.5) * HOUSE_PX_H;

    // Gable and lean-to, clockwise, in window units.
    static const double house[][2] = {
        {660, 350}, {946, 150}, {1226, 350}, {1184, 350}, {1184, 420},
        {1480, 470}, {1480, 500}, {1460, 500}, {1460, 700}, {700, 700}, {700, 350},
    };
    Rgb pane;
    if (window_pane(X, Y, 760, 420, 864, 540, &pane) || window_pane(X, Y, 1030, 420, 1134, 540, &pane) ||
        window_pane(X, Y, 1260, 520, 1364, 600, &pane))
        return pane;
    {
        // Round attic window, round on screen.
        const double dx = (X - 946.0) / 46.0, dy = (Y - 262.0) / 46.0;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d <= 1.0)
            return std::fabs(X - 946.0) < 7.0 ? black : to_rgb(mix(Colour{250, 120, 40}, Colour{150, 26, 10}, d));
    }
    if (X > 900.0 && X < 988.0 && Y > 520.0 && Y < 640.0) {
        // Door ajar: a sliver of light along its edge.
        if (X > 968.0)
            return Rgb{236, 132, 48};
        return Rgb{58, 16, 10};
    }
    if (in_polygon(X, Y, house, sizeof house / sizeof house[0]))
        return black;
    if (X > 1054.0 && X < 1116.0 && Y > 176.0 && Y < 320.0)
        return black; // chimney
    if (Y >= ground_top(X))
        return black;
    for (const Segment &s : tree)
        if (segment_distance(X, Y, s.ax, s.ay, s.bx, s.by) <= s.width * 0.5)
            return black;
    // Fence: posts every 60 window pixels, two rails, and a grave cross.
    if (X > 1520.0 && Y > 540.0) {
        const double post = std::fmod(X - 1520.0, 60.0);
        if (post < 14.0 || std::fabs(Y - 566.0) < 6.0 || std::fabs(Y - 606.0) < 6.0)
            return black;
    }
    if ((std::fabs(X - 1620.0) < 14.0 && Y > 470.0) || (std::fabs(Y - 505.0) < 8.0 && std::fabs(X - 1620.0) < 44.0))
        return black;
    // Bats: small wing chevrons.
    static const double bats[][2] = {{1296, 96}, {1372, 150}, {560, 84}, {1700, 60}};
    for (const auto &b : bats) {
        const double dx = std::fabs(X - b[0]);
        if (dx < 40.0 && std::fabs(Y - (b[1] - 10.0 + dx * 0.45 - (dx > 22.0 ? (dx - 22.0) * 0.9 : 0.0))) < 5.0)
            return black;
    }
    {
        // Blood moon with darker maria, behind everything else.
        const double dx = (X - 1560.0) / 112.0, dy = (Y - 190.0) / 112.0;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d <= 1.0) {
            const double n = periodic_fbm(dx * 2.0 + 8.0, dy * 2.0 + 8.0, 64, 3, 0.5, 61u);
            const Colour lit = mix(Colour{222, 70, 40}, Colour{150, 30, 18}, smoothstep(-0.1, 0.4, n));
            return to_rgb(scale(lit, 1.0 - 0.35 * d * d * d));
        }
    }
    return sky;
}

// ---- Shirt picture --------------------------------------------------------------

// The streak window in "paita.bmp" pixels (the image is drawn at twice its
// size over the window): x 259..579, y 180..315.
const double SHIRT_CX = (STREAK_WINDOW_RECT.x + STREAK_WINDOW_RECT.w * 0.5) * PAITA_W / static_cast<double>(WINDOW_W);

bool in_rounded_rect(double x, double y, double x0, double y0, double x1, double y1, double r)
{
    const double cx = std::fmin(std::fmax(x, x0 + r), x1 - r);
    const double cy = std::fmin(std::fmax(y, y0 + r), y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// Yellow print area: a rounded panel whose lower edge runs in drips. The
// demo keys the yellow out, so the streak pattern shows through it.
bool in_print(double x, double y)
{
    const double sx = STREAK_WINDOW_RECT.x * 0.5, sy = STREAK_WINDOW_RECT.y * 0.5;
    const double sw = STREAK_WINDOW_RECT.w * 0.5, sh = STREAK_WINDOW_RECT.h * 0.5;
    const double x0 = sx + 5.0, x1 = sx + sw - 5.0, y0 = sy + 5.0, y1 = sy + sh - 30.0;
    if (in_rounded_rect(x, y, x0, y0, x1, y1, 12.0))
        return true;
    if (x < x0 + 8.0 || x > x1 - 8.0 || y < y1 - 2.0)
        return false;
    // Drips: one every 26 pixels, each of its own width and length.
    const int32_t k = floor_int((x - x0) / 26.0);
    const double centre = x0 + k * 26.0 + 13.0;
    const double half = 3.0 + 4.0 * hash_unit(k, 0, 71u);
    const double length = 4.0 + 20.0 * hash_unit(k, 1, 71u);
    const double dx = std::fabs(x - centre);
    if (dx > half)
        return false;
    const double end = y1 + length;
    // Round drop at the end of each drip.
    return y <= end || (y - end) * (y - end) + dx * dx <= half * half;
}

bool in_print_frame(double x, double y)
{
    const WindowRect &r = STREAK_WINDOW_RECT;
    if (x < r.x * 0.5 - 4.0 || x > (r.x + r.w) * 0.5 + 4.0 || y < r.y * 0.5 - 4.0 || y > (r.y + r.h) * 0.5 + 4.0)
        return false;
    for (int j = -4; j <= 4; j += 2)
        for (int i = -4; i <= 4; i += 2)
            if (in_print(x + i, y + j))
                return true;
    return false;
}

Rgb paita_pixel(int x, int y)
{
    const double px = x + 0.5, py = y + 0.5;
    if (in_print(px, py))
        return Rgb{255, 255, 0};
    if (in_print_frame(px, py))
        return to_rgb(mix(Colour{120, 18, 6}, Colour{200, 54, 14}, hash_unit(x / 3, y / 3, 13u) * 0.5));

    const double c = SHIRT_CX;
    // Outline of the shirt, mirrored about its centre line.
    static const double half[][2] = {
        {-60, 96}, {-120, 104}, {-184, 124}, {-270, 210}, {-298, 262}, {-224, 300}, {-188, 262},
        {-194, 380}, {-198, 506}, {198, 506}, {194, 380}, {188, 262}, {224, 300}, {298, 262},
        {270, 210}, {184, 124}, {120, 104}, {60, 96},
    };
    const double sxr = px - c;
    const double nx = sxr / 60.0, ny = (py - 92.0) / 36.0;
    const double neck = nx * nx + ny * ny;
    const bool shirt = in_polygon(sxr, py, half, sizeof half / sizeof half[0]) && neck > 1.0;

    if (shirt) {
        // Black cotton with soft folds; a ribbed collar.
        if (neck < 1.45)
            return to_rgb(scale(Colour{58, 52, 60}, 0.8 + 0.2 * std::fabs(std::sin(std::atan2(ny, nx) * 40.0))));
        const double folds = periodic_fbm(px / 90.0, py / 150.0, 64, 4, 0.5, 808u);
        const double crease = std::exp(-std::pow((sxr + 90.0 + 20.0 * std::sin(py * 0.02)) / 10.0, 2.0)) +
                              std::exp(-std::pow((sxr - 110.0 - 16.0 * std::sin(py * 0.017)) / 12.0, 2.0));
        const double k = 1.0 + 0.45 * folds - 0.35 * crease;
        return to_rgb(scale(Colour{30, 27, 33}, k < 0.35 ? 0.35 : k));
    }
    // Hanger wire above the collar.
    const double hook = std::fabs(std::sqrt((px - c) * (px - c) + (py - 40.0) * (py - 40.0)) - 16.0);
    if ((hook < 2.0 && py < 44.0) || (std::fabs(px - c) < 2.0 && py > 50.0 && py < 70.0) ||
        segment_distance(px, py, c, 70.0, c - 170.0, 116.0) < 2.0 ||
        segment_distance(px, py, c, 70.0, c + 170.0, 116.0) < 2.0)
        return Rgb{104, 96, 96};

    // Scorched wall: dark red at the top, near black at the foot, a glow
    // behind the shirt, soot in the grain.
    const double gy = py / PAITA_H;
    Colour wall = mix(Colour{52, 14, 10}, Colour{12, 5, 5}, gy);
    const double gdx = (px - c) / 420.0, gdy = (py - 300.0) / 300.0;
    const double glow = clamp01(1.0 - std::sqrt(gdx * gdx + gdy * gdy));
    wall.r += 120.0 * glow * glow;
    wall.g += 26.0 * glow * glow;
    wall.b += 6.0 * glow * glow;
    const double soot = periodic_fbm(px / 40.0, py / 40.0, 64, 5, 0.55, 515u);
    return to_rgb(scale(wall, 0.85 + 0.3 * soot));
}

// ---- Chain sprite ---------------------------------------------------------------

// The sprite is tinted by colour modulation (green and blue 155..251, both
// odd) and then smeared: pixels whose drawn blue is odd keep their colour,
// even ones are replaced by the colour running down from above. A blue of
// 255 comes out as the (odd) modulation value and a blue of 0 stays 0 in any
// renderer, so the bone is blue 255 (it stays put) and the drips under the
// jaw are blue 0 (they run with the colour of the jaw above them).
const double SPRITE_SKULL_CX = 64.0, SPRITE_SKULL_CY = 58.0, SPRITE_SKULL_SCALE = 58.0;

Rgb badtaste_pixel(int x, int y, const std::vector<int> &chin)
{
    const Rgb sky = {255, 255, 255};
    const double u = (x + 0.5 - SPRITE_SKULL_CX) / SPRITE_SKULL_SCALE;
    const double v = (y + 0.5 - SPRITE_SKULL_CY) / SPRITE_SKULL_SCALE;
    switch (skull_part(u, v)) {
    case SKULL_BONE: {
        const double l = skull_light(u, v);
        return Rgb{to_byte(110 + 128 * l), to_byte(80 + 148 * l), 255};
    }
    case SKULL_HORN: {
        const double l = skull_light(u, v);
        return Rgb{to_byte(96 + 90 * l), to_byte(20 + 40 * l), 255};
    }
    case SKULL_HOLE:
        return sky;
    case SKULL_NONE:
        break;
    }
    // Drips below the lowest bone of the column.
    const int bottom = chin[static_cast<size_t>(x)];
    if (bottom < 0 || y <= bottom)
        return sky;
    const int k = x / 5;
    const double length = 3.0 + 22.0 * hash_unit(k, 0, 1313u) * hash_unit(k, 1, 1313u);
    const double centre = k * 5 + 2.5;
    const double halfw = 1.0 + 1.5 * hash_unit(k, 2, 1313u);
    if (std::fabs(x + 0.5 - centre) <= halfw && y - bottom <= length)
        return Rgb{120, 0, 0};
    return sky;
}

// ---- Sphere texture -------------------------------------------------------------

// Cooling lava crust: dark basalt plates split by glowing cracks. The sphere
// darkens texels by up to about 130 per channel, so the plates are mid-grey
// and the cracks near white-hot.
Rgb textureloop_pixel(int x, int y)
{
    const int32_t period = 5; // 5 cells of 25.6 texels: wraps every 128
    const double fx = (x + 0.5) / 25.6, fy = (y + 0.5) / 25.6;
    const CellDistances d = periodic_cells(fx, fy, period, 2024u);
    const double edge = d.f2 - d.f1;
    const double grain = periodic_fbm(fx, fy, period, 3, 0.5, 99u);
    Colour plate = mix(Colour{118, 98, 92}, Colour{196, 168, 150}, clamp01(0.5 + 0.6 * grain));
    plate = scale(plate, 0.75 + 0.25 * clamp01(d.f1 * 1.4));
    static const ColourStop crack[] = {
        {0.0, {255, 240, 170}}, {0.04, {255, 160, 50}}, {0.09, {214, 60, 16}}, {0.15, {150, 40, 20}},
    };
    if (edge < 0.15)
        return to_rgb(mix(ramp(crack, 4, edge), plate, smoothstep(0.08, 0.15, edge)));
    return to_rgb(plate);
}

// ---- Fire overlays ---------------------------------------------------------------

// Overlay pixels are either pure black (keyed out: the fire shows) or bright
// enough that the dissolve never drops them (it skips red + green + blue <= 3).
Colour ember_ramp(double intensity)
{
    static const ColourStop stops[] = {
        {0.0, {90, 10, 4}}, {0.35, {200, 40, 8}}, {0.7, {255, 140, 34}}, {1.0, {255, 236, 170}},
    };
    return ramp(stops, 4, intensity);
}

// A seven-pointed sigil in a double ring, with rune marks between the rings.
Rgb smear1_pixel(int x, int y)
{
    const double cx = 160.0, cy = 100.0;
    // Pixels of the 320x200 overlay are 6 wide and 5.4 high on screen.
    const double px = x + 0.5 - cx, py = (y + 0.5 - cy) * 0.9;
    const double r = std::sqrt(px * px + py * py);
    double best = 1e9;
    best = std::fmin(best, std::fabs(r - 86.0) - 2.5);
    best = std::fmin(best, std::fabs(r - 70.0) - 1.0);
    for (int k = 0; k < 7; ++k) {
        const double a0 = -PI / 2 + k * 2.0 * PI / 7.0;
        const double a1 = -PI / 2 + (k + 3) * 2.0 * PI / 7.0;
        best = std::fmin(best, segment_distance(px, py, 70.0 * std::cos(a0), 70.0 * std::sin(a0),
                                                70.0 * std::cos(a1), 70.0 * std::sin(a1)) - 1.2);
    }
    for (int k = 0; k < 21; ++k) {
        const double a = -PI / 2 + (k + 0.5) * 2.0 * PI / 21.0;
        const double ca = std::cos(a), sa = std::sin(a);
        // Each rune: a stem and one slanted stroke, chosen per rune.
        const double h = hash_unit(k, 0, 616u);
        const double s1 = 74.0, s2 = 82.0;
        best = std::fmin(best, segment_distance(px, py, ca * s1, sa * s1, ca * s2, sa * s2) - 0.6);
        const double tip = h < 0.5 ? s1 : s2;
        const double side = (h < 0.25 || h > 0.75) ? 1.0 : -1.0;
        best = std::fmin(best, segment_distance(px, py, ca * 78.0, sa * 78.0,
                                                ca * tip - sa * 3.5 * side, sa * tip + ca * 3.5 * side) - 0.6);
    }
    // Core of the strokes is hot; a glow fades out over 4 pixels, then black.
    if (best > 4.0)
        return Rgb{0, 0, 0};
    const double flicker = 0.12 * periodic_fbm(x / 12.0, y / 12.0, 64, 2, 0.5, 5u);
    return to_rgb(ember_ramp(clamp01(1.0 - (best + 1.0) / 5.0 + flicker)));
}

// The horned skull, ember-lit, its sockets and mouth open onto the fire.
Rgb smear2_pixel(int x, int y)
{
    const double u = (x + 0.5 - 160.0) / 78.0;
    const double v = (y + 0.5 - 96.0) * 0.9 / 78.0 + 0.06;
    const SkullPart part = skull_part(u, v);
    if (part == SKULL_NONE || part == SKULL_HOLE)
        return Rgb{0, 0, 0};
    const double l = skull_light(u, v);
    if (part == SKULL_HORN)
        return to_rgb(mix(Colour{70, 10, 6}, Colour{210, 70, 24}, l));
    // Lit from the fire below: the jaw glows redder than the crown.
    const Colour bone = mix(Colour{80, 22, 10}, Colour{246, 212, 170}, l);
    return to_rgb(mix(bone, Colour{236, 84, 30}, 0.45 * smoothstep(0.0, 0.9, v)));
}

template <typename F>
Picture paint(int w, int h, F pixel)
{
    Picture p = make_picture(w, h, Rgb{0, 0, 0});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            set_pixel(p, x, y, pixel(x, y));
    return p;
}

} // namespace

Picture make_house()
{
    std::vector<Segment> tree;
    grow_branch(&tree, 250.0, 600.0, -0.12, 170.0, 46.0, 4, 4711u);
    return paint(HOUSE_W, HOUSE_H, [&](int x, int y) { return house_pixel(x, y, tree); });
}

Picture make_paita()
{
    return paint(PAITA_W, PAITA_H, paita_pixel);
}

Picture make_badtaste()
{
    // Lowest bone row of each column (-1: none), where its drip starts.
    std::vector<int> chin(SPRITE_SIZE, -1);
    for (int x = 0; x < SPRITE_SIZE; ++x)
        for (int y = 0; y < SPRITE_SIZE; ++y) {
            const double u = (x + 0.5 - SPRITE_SKULL_CX) / SPRITE_SKULL_SCALE;
            const double v = (y + 0.5 - SPRITE_SKULL_CY) / SPRITE_SKULL_SCALE;
            if (skull_part(u, v) == SKULL_BONE)
                chin[static_cast<size_t>(x)] = y;
        }
    return paint(SPRITE_SIZE, SPRITE_SIZE, [&](int x, int y) { return badtaste_pixel(x, y, chin); });
}

Picture make_textureloop()
{
    return paint(TEXTURELOOP_SIZE, TEXTURELOOP_SIZE, textureloop_pixel);
}

Picture make_smear1()
{
    return paint(SMEAR_W, SMEAR_H, smear1_pixel);
}

Picture make_smear2()
{
    return paint(SMEAR_W, SMEAR_H, smear2_pixel);
}
