// build_description.cpp - reading a scene library build folder's
// description (build_description.h).
#include "studio/live/build_description.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/platform.h"
#include "common/read_file.h"

// live_scenes.txt names the build and the scene units: a few KB.
constexpr size_t LIVE_DESCRIPTION_MAX_BYTES = 1u << 20;

bool read_live_build(const std::string &dir, LiveBuild *out, std::string *error)
{
    *out = LiveBuild{};
    const std::string path = dir + "/live_scenes.txt";
    std::string text;
    if (!read_whole_file(path, LIVE_DESCRIPTION_MAX_BYTES, &text, error))
        return false;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string l = text.substr(at, end - at);
        at = end + 1;
        const size_t space = l.find(' ');
        if (space == std::string::npos)
            continue;
        const std::string key = l.substr(0, space), value = l.substr(space + 1);
        if (key == "cmake") out->cmake = value;
        else if (key == "build") out->dir = value;
        else if (key == "target") out->target = value;
        else if (key == "library") out->library = value;
        else if (key == "generator") out->generator = value;
        else if (key == "make") out->make_program = value;
        else if (key == "source") out->source_dir = value;
        else if (key == "objects") out->objects = value;
        else if (key == "watch") out->sources.push_back(value);
    }
    if (out->cmake.empty() || out->dir.empty() || out->target.empty() || out->library.empty() ||
        out->source_dir.empty() || out->sources.empty()) {
        *error = path + ": not a scene library description (run cmake on the build folder again)";
        return false;
    }
    return true;
}

std::string own_build_dir()
{
    std::string dir = own_program_path();
    for (int up = 0; up < 2; up++) { // the program, then its folder
        const size_t slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return "";
        dir.resize(slash);
    }
    struct stat st;
    return stat((dir + "/live_scenes.txt").c_str(), &st) == 0 ? dir : "";
}
