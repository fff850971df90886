// capture_fixture.h - shared pieces of the tests that run the offline
// renderer on images and tracks they make themselves: writing small BMPs and
// one-key tracks, running capture in a scratch demo directory, and reading
// the PNG back, with pixels taken at the centres of the 6 x 5.4 window
// blocks that a 320x200 picture's pixels stretch to.
#pragma once

#include <gtest/gtest.h>

#include <SDL.h>
#include <png.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace capture_fixture {

namespace fs = std::filesystem;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

inline void PrintTo(const Rgb &c, std::ostream *os)
{
    *os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// A 24-bit surface filled with one colour.
inline SDL_Surface *solid(int w, int h, Rgb c)
{
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_BGR24);
    if (s)
        SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, c.r, c.g, c.b));
    return s;
}

inline void fill(SDL_Surface *s, SDL_Rect r, Rgb c)
{
    SDL_FillRect(s, &r, SDL_MapRGB(s->format, c.r, c.g, c.b));
}

// Saves and frees the surface.
inline bool save(SDL_Surface *s, const fs::path &p)
{
    const bool ok = s && SDL_SaveBMP(s, p.c_str()) == 0;
    SDL_FreeSurface(s);
    return ok;
}

// One .track file holding a single key: row 0, the value, kind 0 (hold).
// Little-endian like the files: the test machines are x86-64.
inline void write_track(const fs::path &dir, const std::string &name, float value)
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
    // The window pixel at the centre of 320x200 pixel (x, y)'s block.
    Rgb block(int x, int y) const { return at(6 * x + 3, static_cast<int>(5.4 * y + 2.7)); }
};

inline bool read_png(const fs::path &p, Frame *out)
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

// A scratch demo directory holding a copy of capture; the test adds the
// images and tracks. Removed after the test.
struct CaptureDir : ::testing::Test {
    fs::path work;

    void SetUp() override
    {
        work = fs::temp_directory_path() /
               ("capture_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work);
        fs::create_directories(work);
        fs::copy_file(fs::path(DEMO_DIR) / "capture", work / "capture");
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
        const std::string line =
            "cd '" + work.string() + "' && ./capture --out shots --frames 1 >out.txt 2>&1";
        const int status = std::system(line.c_str());
        EXPECT_EQ(status, 0) << line;
        Frame f;
        EXPECT_TRUE(read_png(work / "shots" / "frame-000000.png", &f));
        EXPECT_EQ(f.w, 1920);
        EXPECT_EQ(f.h, 1080);
        return f;
    }
};

} // namespace capture_fixture
