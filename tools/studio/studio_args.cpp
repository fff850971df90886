// studio_args.cpp - parsing the studio's command line with CLI11.
#include "studio/studio_args.h"

#include <CLI/CLI.hpp>

#include <cmath>

StudioArgsResult parse_studio_args(int argc, const char *const *argv, StudioArgs *out,
                                   std::string *text)
{
    *out = StudioArgs{};
    text->clear();
    CLI::App app{"The demo's picture and music in a window, with the timeline source edited live.",
                 "studio"};
    app.add_option("TIMELINE", out->timeline,
                   "timeline source to play, watch and edit (default: the .track files of the "
                   "working directory)");
    std::string start;
    app.add_option("--start", start, "music seconds to start at")
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
    std::string timeout;
    auto *timeout_opt = app.add_option("--build-timeout", timeout,
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
    std::string scene_timeout;
    app.add_option("--scene-timeout", scene_timeout,
                   "a call into the live scene library that runs longer is stopped, and that "
                   "library set aside until the next save")
        ->type_name("SECONDS")
        ->default_str("2");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        *text = app.help();
        return STUDIO_ARGS_HELP;
    } catch (const CLI::ParseError &e) {
        *text = std::string("studio: ") + e.what() + "\n" + STUDIO_USAGE + "\n";
        return STUDIO_ARGS_BAD;
    }
    if (app.count("--start") > 0) {
        char *end = nullptr;
        const double v = std::strtod(start.c_str(), &end);
        if (start.empty() || *end != '\0' || !std::isfinite(v)) {
            *text = "studio: --start: '" + start + "' is not a finite number of seconds\n" + STUDIO_USAGE + "\n";
            return STUDIO_ARGS_BAD;
        }
        out->start = v;
    }
    if (app.count("--scene-timeout") > 0) {
        char *end = nullptr;
        const double v = std::strtod(scene_timeout.c_str(), &end);
        if (scene_timeout.empty() || *end != '\0' || !std::isfinite(v) || v <= 0.0 || v > 3600.0) {
            *text = "studio: --scene-timeout: '" + scene_timeout + "' is not a number of seconds above 0, up to 3600\n" +
                    STUDIO_USAGE + "\n";
            return STUDIO_ARGS_BAD;
        }
        out->scene_timeout = v;
    }
    if (app.count("--export") > 0 && (out->export_dir.empty() || out->timeline.empty())) {
        *text = std::string("studio: --export: ") +
                (out->export_dir.empty() ? "an empty directory name" : "needs a TIMELINE to compile") + "\n" +
                STUDIO_USAGE + "\n";
        return STUDIO_ARGS_BAD;
    }
    if (app.count("--build-timeout") > 0) {
        char *end = nullptr;
        const double v = std::strtod(timeout.c_str(), &end);
        if (timeout.empty() || *end != '\0' || !std::isfinite(v) || v <= 0) {
            *text = "studio: --build-timeout: '" + timeout + "' is not a positive number of seconds\n" +
                    STUDIO_USAGE + "\n";
            return STUDIO_ARGS_BAD;
        }
        out->build_timeout = v;
    }
    if (app.count("--build") > 0 && out->build.empty()) {
        *text = std::string("studio: --build: an empty folder name\n") + STUDIO_USAGE + "\n";
        return STUDIO_ARGS_BAD;
    }
    if (app.count("--serve") > 0 && out->serve.empty()) {
        *text = std::string("studio: --serve: an empty address\n") + STUDIO_USAGE + "\n";
        return STUDIO_ARGS_BAD;
    }
    if (app.count("TIMELINE") > 0 && out->timeline.empty()) {
        *text = std::string("studio: TIMELINE: an empty file name\n") + STUDIO_USAGE + "\n";
        return STUDIO_ARGS_BAD;
    }
    return STUDIO_ARGS_OK;
}
