// make_images - generates the demo's 69 BMP images into a directory.
//
// Usage: make_images OUTDIR
// Writes d1.bmp, c1.bmp, badtaste.bmp, font.bmp, house.bmp, paita.bmp,
// textureloop.bmp, smear1.bmp, smear2.bmp and 0001.bmp .. 0060.bmp (the list
// is in base/facts.h). The output
// depends on nothing but this program and the DejaVu Sans Mono Bold font, so
// every run writes the same bytes. Exits 1 with a message on failure.
#include <cstdio>
#include <string>

#include "base/tool_error.h"
#include "command_line.h"
#include "make_images.h"

int main(int argc, char **argv)
{
    std::string dir;
    CommandLine cl("make_images",
                   "Generates the demo's BMP images (the list is in base/facts.h) into OUTDIR.",
                   "usage: make_images OUTDIR");
    cl.app.add_option("OUTDIR", dir, "the directory to write into")->type_name("")->required();
    const int status = cl.parse(argc, argv);
    if (status >= 0)
        return status;
    std::string error;
    if (!write_all_images(dir, DEFAULT_FONT_PATH, &error)) {
        print_tool_error("make_images", error);
        return 1;
    }
    return 0;
}
