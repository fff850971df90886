// build_description.cpp - reading a scene library build folder's
// description (build_description.h).
#include "studio/live/build_description.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool read_live_build(const std::string &dir, LiveBuild *out, std::string *error)
{
    *out = LiveBuild{};
    const std::string path = dir + "/live_scenes.txt";
    FILE *f = std::fopen(path.c_str(), "re");
    if (!f) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        std::string l = line;
        if (!l.empty() && l.back() == '\n')
            l.pop_back();
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
    std::fclose(f);
    if (out->cmake.empty() || out->dir.empty() || out->target.empty() || out->library.empty() ||
        out->source_dir.empty() || out->sources.empty()) {
        *error = path + ": not a scene library description (run cmake on the build folder again)";
        return false;
    }
    return true;
}

std::string own_build_dir()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "";
    exe[n] = '\0';
    std::string dir = exe;
    for (int up = 0; up < 2; up++) { // the program, then its folder
        const size_t slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return "";
        dir.resize(slash);
    }
    struct stat st;
    return stat((dir + "/live_scenes.txt").c_str(), &st) == 0 ? dir : "";
}
