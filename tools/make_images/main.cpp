// make_images - generates the demo's BMP images into a directory.
//
// Usage: make_images OUTDIR
//        make_images --icon FILE.ico
// Writes d1.bmp, c1.bmp, badtaste.bmp, font.bmp, house.bmp, paita.bmp,
// textureloop.bmp, smear1.bmp, smear2.bmp and 0001.bmp .. 0060.bmp (the list
// is in base/facts.h). The output
// depends on nothing but this program and the DejaVu Sans Mono Bold font, so
// every run writes the same bytes. With --icon it writes the Windows
// program's icon instead: the chain sprite of "badtaste.bmp" on a
// transparent background. Exits 1 with a message on failure.
#include <cstdio>
#include <string>

#include "base/safe_write.h"
#include "base/tool_error.h"
#include "make_images.h"

int main(int argc, char **argv)
{
    const char *usage = "usage: make_images OUTDIR | make_images --icon FILE.ico";
    std::string error;
    if (argc == 3 && std::string(argv[1]) == "--icon") {
        const auto bytes = make_icon_file(make_badtaste(), Rgb{255, 255, 255});
        if (!write_file_safely(argv[2], bytes.data(), bytes.size(), &error)) {
            print_tool_error("make_images", error);
            return 1;
        }
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-')
        return print_tool_usage(usage);
    if (!write_all_images(argv[1], DEFAULT_FONT_PATH, &error)) {
        print_tool_error("make_images", error);
        return 1;
    }
    return 0;
}
