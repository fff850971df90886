// The render-target scenes and the glyph field through the offline renderer:
// one frame of each from a fresh start, with images and tracks made here, and
// pixels checked at the centres of the 6 x 5.4 window blocks that the 320x200
// target's pixels stretch to.
#include <gtest/gtest.h>

#include <SDL.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

void PrintTo(const Rgb &c, std::ostream *os) { *os << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

// A 24-bit surface filled with one colour.
SDL_Surface *solid(int w, int h, Rgb c)
{
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_BGR24);
    if (s)
        SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, c.r, c.g, c.b));
    return s;
}

void fill(SDL_Surface *s, SDL_Rect r, Rgb c) { SDL_FillRect(s, &r, SDL_MapRGB(s->format, c.r, c.g, c.b)); }

bool save(SDL_Surface *s, const fs::path &p)
{
    const bool ok = s && SDL_SaveBMP(s, p.c_str()) == 0;
    SDL_FreeSurface(s);
    return ok;
}

// One .track file holding a single key: row 0, the value, kind 0 (hold).
void write_track(const fs::path &dir, const std::string &name, float value)
{
    std::ofstream f(dir / ("sync_" + name + ".track"), std::ios::binary);
    const int32_t count = 1, row = 0;
    const int8_t kind = 0;
    f.write(reinterpret_cast<const char *>(&count), 4);
    f.write(reinterpret_cast<const char *>(&row), 4);
    f.write(reinterpret_cast<const char *>(&value), 4);
    f.write(reinterpret_cast<const char *>(&kind), 1);
}

struct Frame {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const
    {
        const uint8_t *p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
        return Rgb{p[0], p[1], p[2]};
    }
    // The window pixel at the centre of target pixel (x, y)'s block.
    Rgb target(int x, int y) const { return at(6 * x + 3, static_cast<int>(5.4 * y + 2.7)); }
};

bool read_png(const fs::path &p, Frame *out)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, p.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    out->w = static_cast<int>(image.width);
    out->h = static_cast<int>(image.height);
    out->rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr) != 0;
}

// A demo directory of small but sufficient images and the capture program.
struct RtCapture : ::testing::Test {
    fs::path work;

    void SetUp() override
    {
        work = fs::temp_directory_path() / ("rt_capture_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work);
        fs::create_directories(work);
        fs::copy_file(fs::path(DEMO_DIR) / "capture", work / "capture");
        ASSERT_TRUE(save(solid(1024, 1024, {90, 90, 90}), work / "d1.bmp"));
        ASSERT_TRUE(save(solid(1024, 1024, {10, 80, 20}), work / "c1.bmp"));
        // The sprite: no blue-free pixel, no white, so every tinted pixel is
        // (0, g, b) with b odd: a source for the smear.
        ASSERT_TRUE(save(solid(64, 64, {0, 255, 255}), work / "badtaste.bmp"));
        // The font: every cell solid white on black.
        SDL_Surface *font = solid(940, 732, {0, 0, 0});
        for (int r = 0; r < 15; r++)
            for (int q = 0; q < 16; q++)
                fill(font, SDL_Rect{61 * q - (q > 0), 50 * r, r < 5 ? 25 : 21, 32}, {255, 255, 255});
        ASSERT_TRUE(save(font, work / "font.bmp"));
        // The house: white, one black pixel at (20, 40).
        SDL_Surface *house = solid(160, 101, {255, 255, 255});
        fill(house, SDL_Rect{20, 40, 1, 1}, {0, 0, 0});
        ASSERT_TRUE(save(house, work / "house.bmp"));
        ASSERT_TRUE(save(solid(16, 16, {1, 2, 3}), work / "paita.bmp"));
        // The sphere's texture: (200, 210, 220) but texel (0, 0).
        SDL_Surface *loop = solid(128, 128, {200, 210, 220});
        fill(loop, SDL_Rect{0, 0, 1, 1}, {250, 240, 230});
        ASSERT_TRUE(save(loop, work / "textureloop.bmp"));
        ASSERT_TRUE(save(solid(320, 200, {0, 0, 0}), work / "smear1.bmp"));
        // smear2: black (keyed out) but a block at (200..259, 20..59).
        SDL_Surface *smear2 = solid(320, 200, {0, 0, 0});
        fill(smear2, SDL_Rect{200, 20, 60, 40}, {30, 60, 90});
        ASSERT_TRUE(save(smear2, work / "smear2.bmp"));
        for (int k = 1; k <= 60; k++) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d.bmp", k);
            ASSERT_TRUE(save(solid(8, 8, {k, k, k}), work / name));
        }
    }
    void TearDown() override { fs::remove_all(work); }

    // Tracks holding one value each; every one not named is 0.
    void tracks(int scene, std::initializer_list<std::pair<const char *, float>> values)
    {
        for (const char *name : {"clear.r", "clear.g", "clear.b", "clear.a", "cam.rot", "cam.dist",
                                 "cam.x", "cam.y", "cam.h", "cam.hori", "cam.scaleh"})
            write_track(work, name, 0.0f);
        write_track(work, "scene", static_cast<float>(scene));
        for (const auto &[name, value] : values)
            write_track(work, name, value);
    }

    // The first frame at music time 0 from a fresh program.
    Frame capture()
    {
        const std::string line = "cd '" + work.string() + "' && ./capture --out shots --frames 1 >out.txt 2>&1";
        const int status = std::system(line.c_str());
        EXPECT_EQ(status, 0) << line;
        Frame f;
        EXPECT_TRUE(read_png(work / "shots" / "frame-000000.png", &f));
        EXPECT_EQ(f.w, 1920);
        EXPECT_EQ(f.h, 1080);
        return f;
    }
};

} // namespace

TEST_F(RtCapture, SpriteDripFrame)
{
    // Even clear blue: the background smears too.
    tracks(1, {{"clear.r", 200.0f}, {"clear.g", 150.0f}, {"clear.b", 100.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // The last sprite (i = 96) at (95, 22), 128x128, tint (253, 251, 251):
    // (0, 251, 251) on top, then running down below row 149.
    EXPECT_EQ(f.target(150, 100), (Rgb{0, 251, 251}));
    EXPECT_EQ(f.target(150, 149), (Rgb{0, 251, 251}));
    EXPECT_EQ(f.target(150, 150), (Rgb{0, 250, 250}));
    EXPECT_EQ(f.target(150, 160), (Rgb{0, 240, 240}));
    EXPECT_EQ(f.target(150, 199), (Rgb{0, 201, 201}));
    // Column 300 has no sprite: row 0's clear colour darkening by the row.
    EXPECT_EQ(f.target(300, 0), (Rgb{200, 150, 100}));
    EXPECT_EQ(f.target(300, 50), (Rgb{150, 100, 50}));
    EXPECT_EQ(f.target(300, 120), (Rgb{80, 30, 0}));
    // Columns 304..319 keep the clear colour.
    EXPECT_EQ(f.target(310, 120), (Rgb{200, 150, 100}));
    EXPECT_EQ(f.target(319, 199), (Rgb{200, 150, 100}));
}

TEST_F(RtCapture, RaySphereFrame)
{
    tracks(4, {{"cam.h", 1.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // Straight ahead: a hit at distance 2, texel (0, 0) less (114, 133, 128).
    EXPECT_EQ(f.target(160, 0), (Rgb{136, 107, 102}));
    // Misses (k = 0.8241 and 1.4241), darkening (93, 109, 105) and (162, 189, 182).
    EXPECT_EQ(f.target(160, 100), (Rgb{107, 101, 115}));
    EXPECT_EQ(f.target(100, 50), (Rgb{38, 21, 38}));
}

TEST_F(RtCapture, FireFrameWithSmear2)
{
    tracks(5, {{"cam.hori", 1.0f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // The program never seeds rand: its sequence is that of seed 1.
    std::srand(1);
    std::vector<Rgb> seed(320);
    for (Rgb &c : seed) {
        c.r = std::rand() & 255;
        c.g = (std::rand() & 255) >> 2;
        c.b = (std::rand() & 255) >> 3;
    }
    for (int x = 0; x < 320; x++)
        ASSERT_EQ(f.target(x, 199), seed[x]) << x;
    // The first frame has StepCounter 1: odd columns move. Row 198 is the
    // last of 199 rows of 159 draws each.
    for (int i = 0; i < 198 * 159; i++)
        std::rand();
    for (int x = 1; x <= 317; x += 2) {
        const bool from_seed = (std::rand() & 2) != 0;
        const Rgb s = from_seed ? seed[x + 1] : Rgb{0, 0, 0};
        const Rgb cooled{s.r > 2 ? s.r - 2 : 0, s.g > 4 ? s.g - 4 : 0, s.b > 8 ? s.b - 8 : 0};
        if (x < 200 || x > 259) {
            ASSERT_EQ(f.target(x, 198), cooled) << x;
        }
    }
    // Odd columns of the rows above come from the empty target: black.
    EXPECT_EQ(f.target(101, 100), (Rgb{0, 0, 0}));
    // smear2's block over the fire.
    EXPECT_EQ(f.target(200, 20), (Rgb{30, 60, 90}));
    EXPECT_EQ(f.target(259, 59), (Rgb{30, 60, 90}));
    EXPECT_EQ(f.target(229, 40), (Rgb{30, 60, 90}));
}

TEST_F(RtCapture, FireFrameWithHouseLines)
{
    tracks(5, {{"cam.hori", -0.5f}});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // The black house pixel (20, 40) as grey 40 at (70, 90).
    EXPECT_EQ(f.target(70, 90), (Rgb{40, 40, 40}));
}

TEST_F(RtCapture, GlyphFieldFrame)
{
    tracks(6, {});
    const Frame f = capture();
    ASSERT_EQ(f.w, 1920);
    // Row 0 at Tick 0: glyph j from x = 50j, first 35 rows uncovered by
    // row 1, colour from a = |cos(cos(0.01j) * 20 + (0.01j + 1) * 0.1) * 255|.
    const Rgb expect[] = {{17, 13, 17}, {17, 13, 17}, {17, 13, 17}, {18, 12, 18},
                          {20, 10, 20}, {22, 8, 22}, {24, 6, 24}, {27, 3, 27}};
    for (int j = 0; j < 8; j++)
        EXPECT_EQ(f.at(50 * j + 5, 10), expect[j]) << j;
    // The first glyph is 39 wide (50 - 11): x = 38 is in it.
    EXPECT_EQ(f.at(38, 20), (Rgb{17, 13, 17}));
}
