// studio_args.cpp - parsing the studio's command line.
#include "studio_args.h"

#include <charconv>
#include <cmath>
#include <cstring>

static bool parse_seconds(const char *text, double *out)
{
    const char *end = text + std::strlen(text);
    double v = 0.0;
    const auto [p, ec] = std::from_chars(text, end, v);
    if (ec != std::errc() || p != end || p == text || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool parse_studio_args(int argc, const char *const *argv, StudioArgs *out)
{
    *out = StudioArgs{};
    bool have_timeline = false, have_start = false;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (std::strcmp(a, "--start") == 0) {
            if (have_start || i + 1 >= argc || !parse_seconds(argv[i + 1], &out->start))
                return false;
            have_start = true;
            i++;
        } else if (a[0] == '-' && a[1] != '\0') {
            return false; // unknown option ("-" alone is a file name)
        } else {
            if (have_timeline || a[0] == '\0')
                return false;
            out->timeline = a;
            have_timeline = true;
        }
    }
    return true;
}
