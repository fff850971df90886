// The generated images in the demo directory: what the program reads from
// each (size, format, colour keys, cells, masks), seamless wrapping, the
// looping animation, and the generator's determinism and failure paths.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/convert.h"
#include "gfx/image.h"
#include "make_images/make_images.h"

namespace {

struct SurfaceFree {
    void operator()(SDL_Surface *s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

Surface load(const std::string &name)
{
    return Surface(SDL_LoadBMP((std::string(DEMO_DIR) + "/" + name).c_str()));
}

std::vector<char> file_bytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string frame_name(int n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d.bmp", n);
    return buf;
}

struct Channels {
    int r, g, b;
};

Channels channels(const SDL_Surface *s, int x, int y)
{
    const uint32_t v = read_pixel(s, x, y);
    return Channels{static_cast<int>(v >> 16 & 255), static_cast<int>(v >> 8 & 255),
                    static_cast<int>(v & 255)};
}

// The HeightMap level, as the start-up tables compute it from a pixel.
int luma(int r, int g, int b)
{
    return to_int32((r * 0.2126 + g * 0.7152) + b * 0.0722);
}

int channel_diff(const SDL_Surface *s, int x0, int y0, int x1, int y1)
{
    const Channels a = channels(s, x0, y0), b = channels(s, x1, y1);
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// Edge continuity over the top-left size x size block, in both directions.
// Wrapping, the last column runs on into the first: (1) their step, averaged
// down the column, is no larger than the largest such average between two
// neighbouring columns inside the block, and (2) the last column is more like
// the first than like any column farther away. An image that does not wrap
// has a seam like a jump between two unrelated columns and fails (2); the
// same for rows.
double column_step(const SDL_Surface *s, int size, int a, int b, bool rows)
{
    double sum = 0;
    for (int i = 0; i < size; ++i)
        sum += rows ? channel_diff(s, i, a, i, b) : channel_diff(s, a, i, b, i);
    return sum / size;
}

void expect_seamless(const SDL_Surface *s, int size, const char *name)
{
    for (bool rows : {false, true}) {
        SCOPED_TRACE(std::string(name) + (rows ? ": top/bottom seam" : ": left/right seam"));
        double worst_inner = 0;
        for (int j = 0; j + 1 < size; ++j)
            worst_inner = std::max(worst_inner, column_step(s, size, j, j + 1, rows));
        double nearest_far = 1e9;
        for (int k = 4; k < size - 8; ++k)
            nearest_far = std::min(nearest_far, column_step(s, size, size - 1, k, rows));
        const double seam = column_step(s, size, size - 1, 0, rows);
        EXPECT_LE(seam, worst_inner);
        EXPECT_LT(seam, nearest_far);
    }
}

double mean_frame_diff(const SDL_Surface *a, const SDL_Surface *b)
{
    double sum = 0;
    for (int y = 0; y < a->h; ++y)
        for (int x = 0; x < a->w; ++x) {
            const Channels p = channels(a, x, y), q = channels(b, x, y);
            sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
        }
    return sum / (static_cast<double>(a->w) * a->h);
}

// ---- Every file: present, 24-bit, the size its users read --------------------

struct Expected {
    const char *name;
    int w, h;
};

TEST(ImageFiles, SizesAndFormatsMatchWhatTheProgramReads)
{
    const Expected stills[] = {
        {"d1.bmp", 1024, 1024},   {"c1.bmp", 1024, 1024},   {"badtaste.bmp", 128, 128},
        {"font.bmp", 960, 736},   {"house.bmp", 160, 101},  {"paita.bmp", 960, 540},
        {"textureloop.bmp", 128, 128}, {"smear1.bmp", 320, 200}, {"smear2.bmp", 320, 200},
    };
    std::vector<Expected> all(std::begin(stills), std::end(stills));
    std::vector<std::string> names;
    for (int n = 1; n <= 60; ++n)
        names.push_back(frame_name(n));
    for (const std::string &n : names)
        all.push_back(Expected{n.c_str(), 320, 200});
    ASSERT_EQ(all.size(), 69u);

    for (const Expected &e : all) {
        SCOPED_TRACE(e.name);
        const std::vector<char> bytes = file_bytes(std::string(DEMO_DIR) + "/" + e.name);
        ASSERT_GE(bytes.size(), 54u);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        EXPECT_EQ(bytes[28], 24); // bits per pixel
        EXPECT_EQ(bytes[30], 0);  // no compression
        Surface s = load(e.name);
        ASSERT_TRUE(s) << SDL_GetError();
        EXPECT_EQ(s->w, e.w);
        EXPECT_EQ(s->h, e.h);
        EXPECT_EQ(s->format->BitsPerPixel, 24);
        EXPECT_EQ(s->format->BytesPerPixel, 3);
    }
    // What the tables and scenes need at least.
    Surface font = load("font.bmp");
    EXPECT_GE(font->w, 914 + 25);
    EXPECT_GE(font->h, 700 + 32);
}

// ---- Terrain -------------------------------------------------------------------

TEST(Terrain, LumaHelperMatchesTheWorkedValues)
{
    EXPECT_EQ(luma(255, 255, 255), 254);
    EXPECT_EQ(luma(5, 5, 5), 4);
    EXPECT_EQ(luma(0, 0, 0), 0);
    EXPECT_EQ(height_of(Rgb{255, 255, 255}), 254);
    EXPECT_EQ(height_of(Rgb{5, 5, 5}), 4);
}

TEST(Terrain, EveryLevelHasAGreyPixel)
{
    for (int level = 0; level <= 254; ++level) {
        const Rgb c = grey_for_level(level);
        EXPECT_EQ(luma(c.r, c.g, c.b), level);
        EXPECT_EQ(c.r, c.g);
        EXPECT_LE(c.r - c.b, 1);
        EXPECT_GE(c.r - c.b, 0);
    }
    // Pure grey 5 gives level 4, so level 5 needs the near-grey form.
    EXPECT_EQ(grey_for_level(5).b, 5);
    EXPECT_EQ(grey_for_level(5).r, 6);
    EXPECT_EQ(grey_for_level(254).b, 255);
}

TEST(Terrain, HeightMapIsGreyAndUsesTheWholeRange)
{
    Surface d1 = load("d1.bmp");
    ASSERT_TRUE(d1);
    int lo_grey = 255, hi_grey = 0, not_grey = 0;
    std::vector<int> used(256, 0);
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) {
            const Channels c = channels(d1.get(), x, y);
            // Grey, or grey one step short in blue.
            if (c.r != c.g || (c.b != c.r && c.b != c.r - 1))
                ++not_grey;
            lo_grey = std::min(lo_grey, c.b);
            hi_grey = std::max(hi_grey, c.r);
            ++used[static_cast<size_t>(luma(c.r, c.g, c.b))];
        }
    EXPECT_EQ(not_grey, 0);
    EXPECT_EQ(lo_grey, 0);
    EXPECT_EQ(hi_grey, 255);
    // Every HeightMap level from 0 to 254 (the most a pixel can give) occurs.
    for (int level = 0; level <= 254; ++level)
        EXPECT_GT(used[static_cast<size_t>(level)], 0) << "level " << level;
    EXPECT_EQ(used[255], 0);
}

TEST(Terrain, HeightAndColourMapsWrapEvery1024Cells)
{
    Surface d1 = load("d1.bmp"), c1 = load("c1.bmp");
    ASSERT_TRUE(d1 && c1);
    expect_seamless(d1.get(), 1024, "d1.bmp");
    expect_seamless(c1.get(), 1024, "c1.bmp");
}

TEST(Terrain, ColoursFollowHeightAndLight)
{
    Surface d1 = load("d1.bmp"), c1 = load("c1.bmp");
    ASSERT_TRUE(d1 && c1);
    auto height = [&](int x, int y) {
        const Channels c = channels(d1.get(), x & 1023, y & 1023);
        return luma(c.r, c.g, c.b);
    };
    // Valley floors glow (red well above blue), crests are pale and grey.
    double low_red = 0, low_blue = 0, high_min = 0;
    int low_n = 0, high_n = 0;
    // On the rock slopes, sides facing the light (from the upper left, where
    // the height falls towards the light) are brighter than sides facing away.
    double facing = 0, away = 0;
    int facing_n = 0, away_n = 0;
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) {
            const int h = height(x, y);
            const Channels c = channels(c1.get(), x, y);
            if (h < 20) {
                low_red += c.r;
                low_blue += c.b;
                ++low_n;
            } else if (h > 240) {
                high_min += std::min(c.r, std::min(c.g, c.b));
                ++high_n;
            } else if (h > 80 && h < 200) {
                const int toward = (height(x + 1, y) - height(x - 1, y)) + (height(x, y + 1) - height(x, y - 1));
                if (toward >= 6) {
                    facing += c.r + c.g + c.b;
                    ++facing_n;
                } else if (toward <= -6) {
                    away += c.r + c.g + c.b;
                    ++away_n;
                }
            }
        }
    ASSERT_GT(low_n, 0);
    ASSERT_GT(high_n, 0);
    ASSERT_GT(facing_n, 1000);
    ASSERT_GT(away_n, 1000);
    EXPECT_GT(low_red / low_n, 200.0);
    EXPECT_LT(low_blue / low_n, 120.0);
    EXPECT_GT(high_min / high_n, 120.0);
    EXPECT_GT(facing / facing_n, 1.3 * (away / away_n));
}

// ---- Font ----------------------------------------------------------------------

TEST(Font, CellsMatchTheGlyphTable)
{
    const PixelRect c0 = glyph_cell(0), c1 = glyph_cell(1), c15 = glyph_cell(15);
    const PixelRect c80 = glyph_cell(80), c239 = glyph_cell(239);
    EXPECT_EQ(c0.x, 0);
    EXPECT_EQ(c0.w, 25);
    EXPECT_EQ(c1.x, 60);
    EXPECT_EQ(c15.x, 914);
    EXPECT_EQ(c15.y, 0);
    EXPECT_EQ(c80.x, 0);
    EXPECT_EQ(c80.y, 250);
    EXPECT_EQ(c80.w, 21);
    EXPECT_EQ(c239.x, 914);
    EXPECT_EQ(c239.y, 700);
    EXPECT_EQ(c239.h, 32);
}

TEST(Font, EveryCodeHasAGlyphAndNothingLiesOutsideTheCells)
{
    Surface font = load("font.bmp");
    ASSERT_TRUE(font);
    // Which cell covers each pixel (-1: none), from the cell rule: x = 61*q
    // less 1 when q > 0, y = 50*r, 25 wide in rows 0-4, 21 below, 32 high.
    std::vector<int> owner(static_cast<size_t>(font->w) * font->h, -1);
    for (int r = 0; r < 15; ++r)
        for (int q = 0; q < 16; ++q) {
            const int x0 = q == 0 ? 0 : 61 * q - 1, y0 = 50 * r, w = r < 5 ? 25 : 21;
            for (int y = y0; y < y0 + 32; ++y)
                for (int x = x0; x < x0 + w; ++x)
                    owner[static_cast<size_t>(y) * font->w + x] = r * 16 + q;
        }
    std::vector<int> ink(240, 0);
    std::vector<int> top(240, 99), bottom(240, -1);
    int stray = 0, dim = 0;
    for (int y = 0; y < font->h; ++y)
        for (int x = 0; x < font->w; ++x) {
            const Channels c = channels(font.get(), x, y);
            const int sum = c.r + c.g + c.b;
            if (sum == 0)
                continue;
            const int cell = owner[static_cast<size_t>(y) * font->w + x];
            if (cell < 0) {
                ++stray;
                continue;
            }
            ++ink[static_cast<size_t>(cell)];
            const int row = y - (cell / 16) * 50;
            top[static_cast<size_t>(cell)] = std::min(top[static_cast<size_t>(cell)], row);
            bottom[static_cast<size_t>(cell)] = std::max(bottom[static_cast<size_t>(cell)], row);
            // Glyph pixels are drawn opaque: a near-black one would look
            // like a hole in the letter.
            if (sum < 60)
                ++dim;
        }
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(dim, 0);
    for (int code = 33; code <= 126; ++code)
        EXPECT_GT(ink[static_cast<size_t>(code - 33)], 0) << "code " << code;
    for (int cell = 94; cell < 240; ++cell)
        EXPECT_EQ(ink[static_cast<size_t>(cell)], 0) << "unused cell " << cell;
    // Capitals stand tall enough to read: "H" and "W" span at least 18 rows.
    EXPECT_GE(bottom['H' - 33] - top['H' - 33] + 1, 18);
    EXPECT_GE(bottom['W' - 33] - top['W' - 33] + 1, 18);
    EXPECT_GE(ink['M' - 33], 100);
}

// ---- House ---------------------------------------------------------------------

TEST(House, SilhouetteUnderWhiteSkyWithGroundInTheLowestRows)
{
    Surface house = load("house.bmp");
    ASSERT_TRUE(house);
    int black = 0, white = 0, detail = 0, near_black = 0, bottom_black = 0;
    for (int y = 0; y < 101; ++y)
        for (int x = 0; x < 160; ++x) {
            const uint32_t raw = read_pixel(house.get(), x, y);
            const Channels c = channels(house.get(), x, y);
            if (raw == 0) {
                ++black;
                if (y >= 99)
                    ++bottom_black;
            } else if (raw == 0xFFFFFF) {
                ++white;
            } else {
                ++detail;
            }
            // The fire draws R+G+B < 3, the mask takes raw 0: the same pixels.
            if (c.r + c.g + c.b < 3 && raw != 0)
                ++near_black;
        }
    EXPECT_EQ(near_black, 0);
    EXPECT_GE(bottom_black, 2 * 160 * 9 / 10);
    EXPECT_GT(black, 160 * 101 / 10);
    EXPECT_GT(white, 160 * 101 / 3);
    EXPECT_GT(detail, 0); // lit windows and the moon
    int sky_top = 0;
    for (int x = 0; x < 160; ++x)
        sky_top += read_pixel(house.get(), x, 0) == 0xFFFFFF ? 1 : 0;
    EXPECT_GE(sky_top, 140);
}

// ---- Shirt picture -------------------------------------------------------------

TEST(Paita, YellowLetsTheStreaksThroughOnlyInsideTheirRectangle)
{
    Surface paita = load("paita.bmp");
    ASSERT_TRUE(paita);
    // Window rectangle (518, 360, 640, 270) in image pixels.
    const double sx = paita->w / 1920.0, sy = paita->h / 1080.0;
    const int x0 = to_int32(518 * sx), x1 = to_int32((518 + 640) * sx);
    const int y0 = to_int32(360 * sy), y1 = to_int32((360 + 270) * sy);
    int inside = 0, yellow_inside = 0, yellow_outside = 0;
    for (int y = 0; y < paita->h; ++y)
        for (int x = 0; x < paita->w; ++x) {
            const bool yellow = read_pixel(paita.get(), x, y) == 0xFFFF00;
            if (x >= x0 && x < x1 && y >= y0 && y < y1) {
                ++inside;
                yellow_inside += yellow ? 1 : 0;
            } else {
                yellow_outside += yellow ? 1 : 0;
            }
        }
    EXPECT_GE(yellow_inside, inside * 6 / 10);
    EXPECT_EQ(yellow_outside, 0); // yellow outside would open black holes
}

// ---- Chain sprite --------------------------------------------------------------

TEST(Badtaste, SourcesAndDripsKeepTheirParityUnderAnyTint)
{
    Surface sprite = load("badtaste.bmp");
    ASSERT_TRUE(sprite);
    int sources = 0, drips = 0, other = 0, orphan_drips = 0;
    for (int x = 0; x < sprite->w; ++x) {
        bool source_above = false;
        for (int y = 0; y < sprite->h; ++y) {
            const uint32_t raw = read_pixel(sprite.get(), x, y);
            if (raw == 0xFFFFFF)
                continue; // keyed out
            const int blue = static_cast<int>(raw & 255);
            // Modulation by an odd value m gives blue 255 -> m (odd) and
            // 0 -> 0 (even) in every renderer; other blues are a lottery.
            if (blue == 255) {
                ++sources;
                source_above = true;
            } else if (blue == 0) {
                ++drips;
                orphan_drips += source_above ? 0 : 1;
            } else {
                ++other;
            }
        }
    }
    EXPECT_EQ(other, 0);
    EXPECT_EQ(orphan_drips, 0);
    EXPECT_GT(sources, 128 * 128 / 4);
    EXPECT_GT(drips, 50);
    EXPECT_LT(drips, sources / 4);
    EXPECT_EQ(read_pixel(sprite.get(), 0, 127), 0xFFFFFFu);
}

// ---- Sphere texture ------------------------------------------------------------

TEST(Textureloop, WrapsEvery128TexelsAndSurvivesTheDarkening)
{
    Surface tex = load("textureloop.bmp");
    ASSERT_TRUE(tex);
    ASSERT_GE(tex->w, 128);
    ASSERT_GE(tex->h, 128);
    expect_seamless(tex.get(), 128, "textureloop.bmp");
    // The sphere subtracts about 114..133 per channel where it is nearest:
    // the texels must be bright enough to leave a picture.
    double brightest = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const Channels c = channels(tex.get(), x, y);
            brightest += std::max(c.r, std::max(c.g, c.b));
        }
    EXPECT_GT(brightest / (128 * 128), 140.0);
}

// ---- Fire overlays ---------------------------------------------------------------

TEST(Smears, BlackKeyAroundPixelsTheDissolveDraws)
{
    Surface a = load("smear1.bmp"), b = load("smear2.bmp");
    ASSERT_TRUE(a && b);
    for (const SDL_Surface *s : {a.get(), b.get()}) {
        int keyed = 0, shown = 0, faint = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x) {
                const Channels c = channels(s, x, y);
                const int sum = c.r + c.g + c.b;
                if (sum == 0)
                    ++keyed;
                else
                    ++shown;
                // Drawn by the keyed copy but skipped by the dissolve, or
                // a dark blot over the fire.
                if (sum > 0 && sum < 40)
                    ++faint;
            }
        EXPECT_GT(keyed, 64000 * 4 / 10);
        EXPECT_GT(shown, 64000 / 20);
        EXPECT_EQ(faint, 0);
    }
    EXPECT_GT(mean_frame_diff(a.get(), b.get()), 10.0);
}

// ---- Animation -----------------------------------------------------------------

TEST(Animation, FrameSixtyRunsIntoFrameOne)
{
    std::vector<Surface> frames;
    for (int n = 1; n <= 60; ++n) {
        frames.push_back(load(frame_name(n)));
        ASSERT_TRUE(frames.back()) << frame_name(n);
    }
    double smallest = 1e9, largest = 0;
    for (int k = 0; k + 1 < 60; ++k) {
        const double d = mean_frame_diff(frames[static_cast<size_t>(k)].get(),
                                         frames[static_cast<size_t>(k + 1)].get());
        smallest = std::min(smallest, d);
        largest = std::max(largest, d);
    }
    EXPECT_GT(smallest, 0.5); // it moves in every step
    const double wrap = mean_frame_diff(frames[59].get(), frames[0].get());
    EXPECT_LE(wrap, largest);
    EXPECT_GE(wrap, smallest * 0.5);
    // Half a loop away looks different: the loop is not a still picture.
    EXPECT_GT(mean_frame_diff(frames[0].get(), frames[30].get()), largest);
}

TEST(Animation, GeneratorRepeatsEverySixtyFrames)
{
    const Picture f0 = make_animation_frame(0), f60 = make_animation_frame(60);
    const Picture f1 = make_animation_frame(1), f61 = make_animation_frame(61);
    EXPECT_EQ(f0.rgb, f60.rgb);
    EXPECT_EQ(f1.rgb, f61.rgb);
    EXPECT_NE(f0.rgb, f1.rgb);
    // "0001.bmp" is frame 0.
    Surface first = load("0001.bmp");
    ASSERT_TRUE(first);
    int mismatches = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            mismatches += read_pixel(first.get(), x, y) == raw_value(get_pixel(f0, x, y)) ? 0 : 1;
    EXPECT_EQ(mismatches, 0);
}

// ---- Generator -------------------------------------------------------------------

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("make_images_test_" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(ScratchDir, ASecondRunWritesTheSameBytes)
{
    const std::string cmd = std::string(TOOLS_DIR) + "/make_images " + dir.string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(file_bytes(entry.path().string()), file_bytes(std::string(DEMO_DIR) + "/" + name))
            << name;
        ++files;
    }
    EXPECT_EQ(files, STILL_IMAGE_COUNT + ANIMATION_FRAMES);
}

TEST_F(ScratchDir, FailuresAreReported)
{
    const std::string tool = std::string(TOOLS_DIR) + "/make_images";
    EXPECT_NE(std::system((tool + " 2>/dev/null").c_str()), 0); // no directory given

    // A plain file where the directory should be.
    std::ofstream(dir.string()) << "x";
    EXPECT_NE(std::system((tool + " " + dir.string() + " 2>/dev/null").c_str()), 0);
    std::string error;
    EXPECT_FALSE(write_all_images(dir.string(), DEFAULT_FONT_PATH, &error));
    EXPECT_FALSE(error.empty());
    std::filesystem::remove(dir);

    error.clear();
    EXPECT_FALSE(write_all_images(dir.string(), "/nonexistent/font.ttf", &error));
    EXPECT_NE(error.find("font"), std::string::npos) << error;

    error.clear();
    EXPECT_FALSE(save_bmp24(make_picture(4, 4, Rgb{1, 2, 3}), (dir / "missing" / "x.bmp").string(), &error));
    EXPECT_FALSE(error.empty());
}

TEST(Noise, RepeatsExactlyOverItsPeriod)
{
    for (int i = 0; i < 50; ++i) {
        const double x = i * 0.37 - 5.0, y = i * 0.11 + 0.5;
        // Equal up to the rounding of x + 8 itself.
        EXPECT_NEAR(periodic_noise(x, y, 8, 3u), periodic_noise(x + 8.0, y, 8, 3u), 1e-9);
        EXPECT_NEAR(periodic_noise(x, y, 8, 3u), periodic_noise(x, y - 16.0, 8, 3u), 1e-9);
        EXPECT_NEAR(periodic_fbm(x, y, 4, 5, 0.5, 9u), periodic_fbm(x + 4.0, y + 4.0, 4, 5, 0.5, 9u), 1e-9);
    }
    EXPECT_GT(std::fabs(periodic_noise(0.3, 0.6, 8, 3u) - periodic_noise(0.3, 0.6, 8, 4u)), 1e-3);
}

} // namespace
