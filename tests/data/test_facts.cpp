// The shared facts against what each side actually does with them: the file
// lists CMake builds from the header, the files the generators wrote, the
// tracks the compiler wrote and the demo opens, the glyph cells and the
// height rule of the generator against the demo's tables. A disagreement
// here is a demo that silently reads 0 or draws from the wrong place.
#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "state/state.h"
#include "app/tables.h"
#include "base/facts.h"
#include "make_images/make_images.h"
#include "timeline/timeline.h"

namespace {

std::vector<std::string> split_list(const char *cmake_list)
{
    std::vector<std::string> out;
    std::stringstream in(cmake_list);
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(item);
    return out;
}

std::string frame_name(int number)
{
    char name[16];
    std::snprintf(name, sizeof name, ANIMATION_FRAME_NAME, number);
    return name;
}

} // namespace

TEST(SharedFacts, CMakeListsAreTheHeaderLists)
{
    const std::vector<std::string> tracks = split_list(CMAKE_TRACK_NAMES);
    ASSERT_EQ(tracks.size(), static_cast<size_t>(DEMO_TRACK_COUNT));
    for (int i = 0; i < DEMO_TRACK_COUNT; i++)
        EXPECT_EQ(tracks[i], DEMO_TRACK_NAMES[i]);
    const std::vector<std::string> images = split_list(CMAKE_IMAGE_FILES);
    ASSERT_EQ(images.size(), static_cast<size_t>(STILL_IMAGE_COUNT + ANIMATION_FRAMES));
    for (int i = 0; i < STILL_IMAGE_COUNT; i++)
        EXPECT_EQ(images[i], STILL_IMAGES[i].file);
    for (int k = 1; k <= ANIMATION_FRAMES; k++)
        EXPECT_EQ(images[STILL_IMAGE_COUNT + k - 1], frame_name(k));
}

TEST(SharedFacts, GeneratedDirectoryHoldsWhatTheDemoOpens)
{
    // Every image the demo loads exists and is at least as large as it reads.
    for (const ImageFact &image : STILL_IMAGES) {
        SDL_Surface *s = SDL_LoadBMP((std::string(DEMO_DIR) + "/" + image.file).c_str());
        ASSERT_NE(s, nullptr) << image.file << ": " << SDL_GetError();
        EXPECT_GE(s->w, image.min_w) << image.file;
        EXPECT_GE(s->h, image.min_h) << image.file;
        SDL_FreeSurface(s);
    }
    for (int k = 1; k <= ANIMATION_FRAMES; k++)
        EXPECT_TRUE(std::filesystem::exists(std::string(DEMO_DIR) + "/" + frame_name(k))) << k;
    EXPECT_FALSE(std::filesystem::exists(std::string(DEMO_DIR) + "/" + frame_name(ANIMATION_FRAMES + 1)));

    // The compiler wrote exactly one file per track the demo opens.
    std::set<std::string> written;
    for (const auto &entry : std::filesystem::directory_iterator(DEMO_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("sync_", 0) == 0 && entry.path().extension() == ".track")
            written.insert(name);
    }
    std::set<std::string> opened;
    for (const char *name : TrackNames)
        opened.insert(track_file_path(SYNC_BASE_NAME, name));
    EXPECT_EQ(written, opened);
}

TEST(SharedFacts, GeneratorAndDemoReadTheFontAndHeightsAlike)
{
    SDL_Rect table[GLYPH_CELLS];
    build_glyph_table(table);
    for (int i = 0; i < GLYPH_CELLS; i++) {
        const PixelRect c = glyph_cell(i);
        EXPECT_EQ(c.x, table[i].x) << i;
        EXPECT_EQ(c.y, table[i].y) << i;
        EXPECT_EQ(c.w, table[i].w) << i;
        EXPECT_EQ(c.h, table[i].h) << i;
    }
    // The font image holds every cell; the minimum is the last cell's edge.
    EXPECT_EQ(table[FONT_CELL_COLUMNS - 1].x + table[FONT_CELL_COLUMNS - 1].w, STILL_IMAGES[IMAGE_Font].min_w);
    EXPECT_EQ(table[GLYPH_CELLS - 1].y + table[GLYPH_CELLS - 1].h, STILL_IMAGES[IMAGE_Font].min_h);

    // Every height level the generator writes reads back as that level.
    for (int level = 0; level <= 254; level++) {
        const Rgb c = grey_for_level(level);
        EXPECT_EQ(height_from_pixel((uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b),
                  static_cast<uint32_t>(level))
            << level;
        EXPECT_EQ(height_of(c), level);
    }
}
