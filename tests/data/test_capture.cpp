// The offline renderer as a program: exit statuses, start-up failures, and
// that the same command gives the same PNG bytes twice.
#include <gtest/gtest.h>

#include <SDL.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "run_program.h"

namespace fs = std::filesystem;

namespace {

using run_program::ProcessResult;
using run_program::run_in;
using run_program::slurp;

using Capture = run_program::DemoWorkDir;

const std::string kCapture = std::string(DEMO_DIR) + "/capture";

} // namespace

TEST_F(Capture, SameCommandGivesTheSameBytes)
{
    // Two frames a second apart, well into the demo, each run twice.
    const std::string args = " --start 31.5 --frames 2 --fps 1";
    ProcessResult a = run_in(work, kCapture + " --out first" + args);
    ASSERT_EQ(a.status, 0) << a.out << a.err;
    ProcessResult b = run_in(work, kCapture + " --out second" + args);
    ASSERT_EQ(b.status, 0) << b.out << b.err;
    EXPECT_EQ(a.out, "");
    for (const char *name : {"frame-000000.png", "frame-000001.png"}) {
        const std::string x = slurp(work / "first" / name), y = slurp(work / "second" / name);
        ASSERT_GT(x.size(), 1000u) << name;
        EXPECT_EQ(x.substr(1, 3), "PNG");
        EXPECT_TRUE(x == y) << name << " differs between two runs";
    }
    EXPECT_FALSE(fs::exists(work / "first" / "frame-000002.png"));
}

TEST_F(Capture, StartUpFailureGivesTheProgramsLineAndExit1)
{
    // A copy of the demo directory without "smear2.bmp": images are found
    // next to the executable.
    const fs::path demo = work / "demo";
    fs::create_directories(demo);
    for (const auto &entry : fs::directory_iterator(DEMO_DIR))
        if (entry.path().extension() == ".bmp" && entry.path().filename() != "smear2.bmp")
            fs::create_hard_link(entry.path(), demo / entry.path().filename());
    fs::copy_file(kCapture, demo / "capture");
    ProcessResult r = run_in(work, "'" + (demo / "capture").string() + "' --out shots");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("SDL_LoadBMP Error: ", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_FALSE(fs::exists(work / "shots" / "frame-000000.png"));
}

TEST_F(Capture, ImageTooSmallIsRefusedNamingFileAndSize)
{
    const fs::path demo = work / "demo";
    fs::create_directories(demo);
    for (const auto &entry : fs::directory_iterator(DEMO_DIR))
        if (entry.path().extension() == ".bmp" && entry.path().filename() != "house.bmp")
            fs::create_hard_link(entry.path(), demo / entry.path().filename());
    // A valid 2x2 24-bit BMP: 14-byte file header, 40-byte info header, two
    // rows of two pixels padded to 8 bytes each.
    const unsigned char bmp[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
        0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0};
    std::ofstream tiny(demo / "house.bmp", std::ios::binary);
    tiny.write(reinterpret_cast<const char *>(bmp), sizeof bmp);
    tiny.close();
    fs::copy_file(kCapture, demo / "capture");
    ProcessResult r = run_in(work, "'" + (demo / "capture").string() + "' --out shots");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "SDL_LoadBMP Error: house.bmp is 2x2 pixels; the demo needs at least 160x101\n");
}

TEST_F(Capture, ImagesRead32BitDrawLikeTheir24BitOriginals)
{
    // The images read in software, saved again as 32-bit BMPs with an alpha
    // channel (opaque black is 0xFF000000 there): every scene must give the
    // same bytes as from the 24-bit files. Frames 13 s apart from 12 s on
    // fall in the house, landscape, sprite, sphere, streak and fire scenes.
    const fs::path demo = work / "demo";
    fs::create_directories(demo);
    for (const auto &entry : fs::directory_iterator(DEMO_DIR))
        if (entry.path().extension() == ".bmp")
            fs::create_hard_link(entry.path(), demo / entry.path().filename());
    fs::copy_file(kCapture, demo / "capture");
    for (const char *name : {"d1.bmp", "c1.bmp", "house.bmp", "textureloop.bmp", "smear1.bmp",
                             "smear2.bmp"}) {
        SDL_Surface *s = SDL_LoadBMP((std::string(DEMO_DIR) + "/" + name).c_str());
        ASSERT_NE(s, nullptr) << SDL_GetError();
        ASSERT_EQ(s->format->BytesPerPixel, 3) << name;
        SDL_Surface *argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
        SDL_FreeSurface(s);
        ASSERT_NE(argb, nullptr) << SDL_GetError();
        fs::remove(demo / name);
        ASSERT_EQ(SDL_SaveBMP(argb, (demo / name).c_str()), 0) << SDL_GetError();
        SDL_FreeSurface(argb);
    }
    const std::string args = " --start 12 --frames 7 --fps 0.0769230769230769";
    ProcessResult a = run_in(work, kCapture + " --out from24" + args);
    ASSERT_EQ(a.status, 0) << a.out << a.err;
    ProcessResult b = run_in(work, "'" + (demo / "capture").string() + "' --out from32" + args);
    ASSERT_EQ(b.status, 0) << b.out << b.err;
    for (int i = 0; i < 7; i++) {
        const std::string name = "frame-00000" + std::to_string(i) + ".png";
        const std::string x = slurp(work / "from24" / name), y = slurp(work / "from32" / name);
        ASSERT_GT(x.size(), 1000u) << name;
        EXPECT_TRUE(x == y) << name << " differs between 24-bit and 32-bit images";
    }
}
