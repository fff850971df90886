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

#include "common/output_file.h"
#include "common/tool_error.h"
#include "common/command_line.h"
#include "make_images/make_images.h"

int main(int argc, char **argv)
{
    ignore_file_size_signal();
    std::string dir, icon;
    CommandLine cl("make_images",
                   "Generates the demo's BMP images (the list is in base/facts.h) into OUTDIR,\n"
                   "or with --icon the Windows program's icon instead.",
                   "usage: make_images OUTDIR | make_images --icon FILE.ico");
    CLI::Option *dir_opt =
        cl.app.add_option("OUTDIR", dir, "the directory to write into")->type_name("");
    CLI::Option *icon_opt =
        cl.app.add_option("--icon", icon, "write the icon file instead")->type_name("FILE.ico")->excludes(dir_opt);
    const int status = cl.parse(argc, argv);
    if (status >= 0)
        return status;
    std::string error;
    if (*icon_opt) {
        const auto bytes = make_icon_file(make_badtaste(), Rgb{255, 255, 255});
        if (!write_output_file(icon, bytes.data(), bytes.size(), &error)) {
            print_tool_error("make_images", error);
            return 1;
        }
        return 0;
    }
    if (!*dir_opt)
        return cl.error("OUTDIR is required");
    if (!write_all_images(dir, DEFAULT_FONT_PATH, &error)) {
        print_tool_error("make_images", error);
        return 1;
    }
    return 0;
}
