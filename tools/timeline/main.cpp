// main.cpp - the timeline tool: compiles data/timeline.txt into the .track
// files the demo loads, and prints any .track file as source text.
//
//   timeline compile SOURCE.txt OUT_DIR [--scenes DIR]
//                                          writes OUT_DIR/sync_<name>.track;
//                                          with --scenes, also for the tracks
//                                          the scene sources in DIR declare
//   timeline dump FILE.track [NAME]        prints the track; NAME defaults to
//                                          the one in the file name
//   timeline --help                        (also after a command)
//
// Exit status 0 on success, 1 on bad input (messages on standard error,
// nothing written), 2 on a wrong command line (one line saying what is wrong,
// then the usage).
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "common/output_file.h"
#include "common/tool_error.h"
#include "common/read_file.h"
#include "timeline/declared_tracks.h"
#include "timeline/timeline.h"

static const char USAGE[] = "usage: timeline compile SOURCE.txt OUT_DIR [--scenes DIR]\n"
                            "       timeline dump FILE.track [NAME]\n"
                            "       timeline [COMMAND] --help";

int main(int argc, char **argv)
{
    ignore_file_size_signal();
    CLI::App app{"Compiles the demo's sync timeline into its .track files, and prints a .track file "
                 "back as timeline source.",
                 "timeline"};
    app.require_subcommand(1);

    std::string source, out_dir, scenes_dir;
    CLI::App *compile = app.add_subcommand(
        "compile", "Write every track's file into OUT_DIR: all of them or, when SOURCE has an error or "
                   "a file cannot be written, none");
    compile->add_option("SOURCE", source, "timeline source text")->required();
    compile->add_option("OUT_DIR", out_dir, "directory of the .track files, created if missing")->required();
    compile->add_option("--scenes", scenes_dir,
                        "scene sources (*.cpp) whose DEMO_SCENE_TRACK lines declare more tracks");

    std::string track_path, name;
    CLI::App *dump = app.add_subcommand("dump", "Print a .track file as a timeline source section");
    dump->add_option("FILE", track_path, ".track file to print")->required();
    dump->add_option("NAME", name, "track name to print; default: the name in FILE's file name");

    // The command comes first; naming a wrong one beats "not expected".
    const std::string command = argc > 1 ? argv[1] : "";
    if (command.empty() || (command[0] != '-' && command != "compile" && command != "dump")) {
        print_tool_error("timeline", command.empty() ? "missing command: compile or dump"
                                                     : "unknown command '" + command + "': compile or dump");
        return print_tool_usage(USAGE);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e); // the help of the command given, on standard output
    } catch (const CLI::ParseError &e) {
        print_tool_error("timeline", e.what());
        return print_tool_usage(USAGE);
    }

    if (compile->parsed()) {
        std::string errors;
        std::vector<TrackDeclaration> declared;
        if (!scenes_dir.empty() && !read_track_declarations(scenes_dir, &declared, &errors)) {
            std::fputs(errors.c_str(), stderr);
            return 1;
        }
        std::fputs(unread_track_warnings(declared).c_str(), stderr);
        std::string text, table;
        Timeline timeline;
        if (!read_whole_file(source, TIMELINE_MAX_SOURCE_BYTES, &text, &errors) ||
            !parse_timeline(text, source, declared_track_names(declared), &timeline, &errors) ||
            !write_timeline_tracks(timeline, out_dir, &errors)) {
            std::fputs((errors.empty() || errors.back() == '\n' ? errors : errors + "\n").c_str(), stderr);
            return 1;
        }
        // The "scene" keys against the scene table the scene sources give.
        std::string ignored;
        const std::string table_file = scenes_dir + "/scene_table.cpp";
        if (!scenes_dir.empty() && read_whole_file(table_file, TIMELINE_MAX_SOURCE_BYTES, &table, &ignored))
            if (const int scenes = count_scene_table_entries(table); scenes > 0)
                std::fputs(scene_key_warnings(timeline, scenes, source).c_str(), stderr);
        return 0;
    }
    std::string text, error;
    if (!dump_track_file(track_path, name, &text, &error)) {
        print_tool_error("timeline", error);
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
