// generate.cpp - writes every image of the demo into one directory.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "make_images/make_images.h"

namespace {

bool save_image(const Picture &p, const std::string &dir, const char *name, std::string *error)
{
    return save_bmp24(p, dir + "/" + name, error);
}

// The picture of each still image the demo loads. No default: a new image
// in the list without a generator is a compiler warning here.
Picture still_picture(StillImageId image, const Picture &heights, const Picture &font)
{
    switch (image) {
    case IMAGE_D1: return heights;
    case IMAGE_C1: return make_colour_map(heights);
    case IMAGE_Badtaste: return make_badtaste();
    case IMAGE_Font: return font;
    case IMAGE_House: return make_house();
    case IMAGE_Paita: return make_paita();
    case IMAGE_Textureloop: return make_textureloop();
    case IMAGE_Smear1: return make_smear1();
    case IMAGE_Smear2: return make_smear2();
    }
    return Picture{};
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
    for (int i = 0; i < STILL_IMAGE_COUNT; ++i)
        if (!save_image(still_picture(static_cast<StillImageId>(i), heights, font), dir, STILL_IMAGES[i].file,
                   error))
            return false;
    for (int i = 0; i < ANIMATION_FRAMES; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, ANIMATION_FRAME_NAME, i + 1);
        if (!save_image(make_animation_frame(i), dir, name, error))
            return false;
    }
    return true;
}
