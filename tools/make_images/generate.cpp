// generate.cpp - writes every image of the demo into one directory.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "make_images.h"

namespace {

bool write(const Picture &p, const std::string &dir, const char *name, std::string *error)
{
    return save_bmp24(p, dir + "/" + name, error);
}

} // namespace

bool write_all_images(const std::string &dir, const char *ttf_path, std::string *error)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        *error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    Picture font;
    if (!make_font(ttf_path, &font, error))
        return false;
    const Picture heights = make_height_map();
    if (!write(heights, dir, "d1.bmp", error) || !write(make_colour_map(heights), dir, "c1.bmp", error) ||
        !write(make_badtaste(), dir, "badtaste.bmp", error) || !write(font, dir, "font.bmp", error) ||
        !write(make_house(), dir, "house.bmp", error) || !write(make_paita(), dir, "paita.bmp", error) ||
        !write(make_textureloop(), dir, "textureloop.bmp", error) ||
        !write(make_smear1(), dir, "smear1.bmp", error) || !write(make_smear2(), dir, "smear2.bmp", error))
        return false;
    for (int i = 0; i < ANIMATION_FRAMES; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%04d.bmp", i + 1);
        if (!write(make_animation_frame(i), dir, name, error))
            return false;
    }
    return true;
}
