// studio_args.cpp - parsing the studio's command line with CLI11.
#include "studio/studio_args.h"

#include <CLI/CLI.hpp>

#include <cmath>

namespace {

// The option values that are checked after parsing, as typed.
struct SecondsText {
    std::string start, build_timeout, scene_timeout;
};

// Declares the studio's options, TIMELINE among them, writing into *out and
// the seconds into *seconds.
void add_options(CLI::App &app, StudioArgs *out, SecondsText *seconds)
{
    app.add_option("TIMELINE", out->timeline,
                   "timeline source to play, watch and edit (default: the .track files of the "
                   "working directory)");
    app.add_option("--start", seconds->start, "music seconds to start at")
        ->type_name("SECONDS")
        ->default_str("0");
    app.add_option("--export", out->export_dir,
                   "after every good version of TIMELINE, write its .track files into DIR (all or "
                   "nothing, as 'timeline compile' does), so that the demo run there shows the edits")
        ->type_name("DIR");
    auto *build = app.add_option("--build", out->build,
                                 "build folder whose scene library is rebuilt and swapped in when a "
                                 "scene source is saved (default: the studio's own build folder)")
                      ->type_name("DIR");
    auto *timeout_opt = app.add_option("--build-timeout", seconds->build_timeout,
                                       "a scene build running longer is stopped and named")
                            ->type_name("SECONDS")
                            ->default_str("120");
    app.add_flag("!--no-live-code", out->live_code,
                 "only the scenes built into the studio draw; nothing is rebuilt")
        ->excludes(build)
        ->excludes(timeout_opt);
    auto *serve = app.add_option("--serve", out->serve,
                                 "serve the tracks and the transport to demos started with --follow, on "
                                 "[ADDR:]PORT (default: 127.0.0.1:7727), and to web pages by WebSocket on "
                                 "the same port; any address but loopback gets a token that followers "
                                 "must give")
                      ->type_name("[ADDR:]PORT");
    app.add_flag("!--no-serve", out->serving, "serve no followers")->excludes(serve);
    app.add_option("--scene-timeout", seconds->scene_timeout,
                   "a call into the live scene library that runs longer is stopped, and that "
                   "library set aside until the next save")
        ->type_name("SECONDS")
        ->default_str("2");
}

// The number `text` holds, all of it, when it is finite.
bool read_finite(const std::string &text, double *v)
{
    char *end = nullptr;
    *v = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(*v);
}

// Checks the parsed values and takes the seconds into *out. The first fault
// as "OPTION: what is wrong", or "" when there is none.
std::string check_values(const CLI::App &app, const SecondsText &seconds, StudioArgs *out)
{
    double v = 0.0;
    if (app.count("--start") > 0) {
        if (!read_finite(seconds.start, &v))
            return "--start: '" + seconds.start + "' is not a finite number of seconds";
        out->start = v;
    }
    if (app.count("--scene-timeout") > 0) {
        if (!read_finite(seconds.scene_timeout, &v) || v <= 0.0 || v > 3600.0)
            return "--scene-timeout: '" + seconds.scene_timeout + "' is not a number of seconds above 0, up to 3600";
        out->scene_timeout = v;
    }
    if (app.count("--export") > 0 && (out->export_dir.empty() || out->timeline.empty()))
        return std::string("--export: ") +
               (out->export_dir.empty() ? "an empty directory name" : "needs a TIMELINE to compile");
    if (app.count("--build-timeout") > 0) {
        if (!read_finite(seconds.build_timeout, &v) || v <= 0)
            return "--build-timeout: '" + seconds.build_timeout + "' is not a positive number of seconds";
        out->build_timeout = v;
    }
    if (app.count("--build") > 0 && out->build.empty())
        return "--build: an empty folder name";
    if (app.count("--serve") > 0 && out->serve.empty())
        return "--serve: an empty address";
    if (app.count("TIMELINE") > 0 && out->timeline.empty())
        return "TIMELINE: an empty file name";
    return "";
}

} // namespace

StudioArgsResult parse_studio_args(int argc, const char *const *argv, StudioArgs *out,
                                   std::string *text)
{
    *out = StudioArgs{};
    text->clear();
    CLI::App app{"The demo's picture and music in a window, with the timeline source edited live.",
                 "studio"};
    SecondsText seconds;
    add_options(app, out, &seconds);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        *text = app.help();
        return STUDIO_ARGS_HELP;
    } catch (const CLI::ParseError &e) {
        *text = std::string("studio: ") + e.what() + "\n" + STUDIO_USAGE + "\n";
        return STUDIO_ARGS_BAD;
    }
    const std::string fault = check_values(app, seconds, out);
    if (!fault.empty()) {
        *text = "studio: " + fault + "\n" + STUDIO_USAGE + "\n";
        return STUDIO_ARGS_BAD;
    }
    return STUDIO_ARGS_OK;
}
