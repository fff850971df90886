// test_content.cpp - content that changes without a restart: the tracks a
// scene declares in its own code (the scan's rules, the compiler's sections
// and files, the read through the device), the text table a library
// carries, the studio's checks against the library's tables, and the key
// grid's columns for the declared tracks.
#include <gtest/gtest.h>

#include <imgui.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame.h"
#include "scene_window.h"
#include "scenes/scene_track.h"
#include "state/state.h"
#include "studio/editor/edit_steps.h"
#include "studio/live/scene_library.h"
#include "studio/live/scene_loader.h"
#include "studio/studio_state.h"
#include "studio/view/grid.h"
#include "studio/view/ui_render.h"
#include "sync/device.h"
#include "text/overlay.h"
#include "timeline/declared_tracks.h"
#include "timeline/timeline.h"

namespace {

std::vector<TrackDeclaration> scan_ok(const std::string &text, const std::string &file)
{
    std::vector<TrackDeclaration> out;
    std::string errors;
    EXPECT_TRUE(scan_track_declarations(text, file, &out, &errors)) << errors;
    return out;
}

std::string scan_errors(const std::string &text)
{
    std::vector<TrackDeclaration> out;
    std::string errors;
    EXPECT_FALSE(scan_track_declarations(text, "s.cpp", &out, &errors));
    EXPECT_TRUE(out.empty());
    return errors;
}

// Every demo track with no keys, then `extra`.
std::string all_tracks(const std::string &extra)
{
    std::string s;
    for (const char *name : TimelineTrackNames)
        s += std::string("track ") + name + "\n";
    return s + extra;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(content_declarations, ScanFindsNamesHandlesLinesAndReads)
{
    const auto d = scan_ok("#include \"scenes/scene_track.h\"\n"
                           "DEMO_SCENE_TRACK(fog_density, \"fog.density\");\n"
                           "  DEMO_SCENE_TRACK( fog_colour ,\"fog.colour\" ); // unused yet\r\n"
                           "// DEMO_SCENE_TRACK(comment, \"not.a.declaration\");\n"
                           "float f() { return scene_track_value(fog_density); }\n"
                           "int fog_colour_count; // another word\n",
                           "src/scenes/fog.cpp");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].name, "fog.density");
    EXPECT_EQ(d[0].handle, "fog_density");
    EXPECT_EQ(d[0].line, 2);
    EXPECT_TRUE(d[0].read);
    EXPECT_EQ(d[1].name, "fog.colour");
    EXPECT_EQ(d[1].line, 3);
    EXPECT_FALSE(d[1].read);
    EXPECT_EQ(unread_track_warnings(d),
              "src/scenes/fog.cpp:3: warning: track 'fog.colour' is declared but no code reads 'fog_colour'\n");
    EXPECT_EQ(declared_track_names(d), (std::vector<std::string>{"fog.density", "fog.colour"}));
}

TEST(content_declarations, UnreadableDeclarationsAreErrors)
{
    const std::string form = "cannot read the track declaration: write DEMO_SCENE_TRACK(handle, \"name\"); on a "
                             "line of its own, the name in letters, digits, '.' and '_'\n";
    EXPECT_EQ(scan_errors("\n\nDEMO_SCENE_TRACK(fog, \"fog density\");\n"), "s.cpp:3: " + form);
    EXPECT_EQ(scan_errors("DEMO_SCENE_TRACK(fog, name);\n"), "s.cpp:1: " + form);
    EXPECT_EQ(scan_errors("DEMO_SCENE_TRACK(fog,\n  \"fog\");\n"), "s.cpp:1: " + form);
    EXPECT_EQ(scan_errors("DEMO_SCENE_TRACK(2fog, \"fog\");\n"), "s.cpp:1: " + form);
    EXPECT_EQ(scan_errors("DEMO_SCENE_TRACK(fog, \"\");\n"), "s.cpp:1: a track name has 1 to 64 characters\n");
    EXPECT_EQ(scan_errors("DEMO_SCENE_TRACK(fog, \"" + std::string(65, 'f') + "\");\n"),
              "s.cpp:1: a track name has 1 to 64 characters\n");
}

TEST(content_declarations, DeclaredTwiceOrADemoTrackIsAnError)
{
    auto d = scan_ok("DEMO_SCENE_TRACK(a, \"fog\");\n", "a.cpp");
    const auto b = scan_ok("\nDEMO_SCENE_TRACK(b, \"cam.x\");\nDEMO_SCENE_TRACK(c, \"fog\");\n", "b.cpp");
    d.insert(d.end(), b.begin(), b.end());
    std::string errors;
    EXPECT_FALSE(check_track_declarations(d, &errors));
    EXPECT_EQ(errors, "b.cpp:2: track 'cam.x' is one of the demo's own tracks\n"
                      "b.cpp:3: track 'fog' declared twice (first at a.cpp:1)\n");
    errors.clear();
    EXPECT_TRUE(check_track_declarations({d[0]}, &errors));
    EXPECT_EQ(errors, "");
}

TEST(content_declarations, ReadsEverySceneUnitOfAFolder)
{
    const std::string dir = ::testing::TempDir() + "content_scenes";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/b.cpp") << "DEMO_SCENE_TRACK(x, \"mist\");\nfloat g() { return scene_track_value(x); }\n";
    std::ofstream(dir + "/a.cpp") << "DEMO_SCENE_TRACK(x, \"fog\");\n";
    std::ofstream(dir + "/a.h") << "DEMO_SCENE_TRACK(x, \"header\");\n"; // headers are not scanned
    std::vector<TrackDeclaration> d;
    std::string errors;
    ASSERT_TRUE(read_track_declarations(dir, &d, &errors)) << errors;
    EXPECT_EQ(declared_track_names(d), (std::vector<std::string>{"fog", "mist"}));
    EXPECT_EQ(unread_track_warnings(d), dir + "/a.cpp:1: warning: track 'fog' is declared but no code reads 'x'\n");

    std::ofstream(dir + "/c.cpp") << "DEMO_SCENE_TRACK(y, \"fog\");\n";
    d.clear();
    EXPECT_FALSE(read_track_declarations(dir, &d, &errors));
    EXPECT_EQ(errors, dir + "/c.cpp:1: track 'fog' declared twice (first at " + dir + "/a.cpp:1)\n");
    std::filesystem::remove_all(dir);
}

TEST(content_timeline, DeclaredTracksTakeSectionsAndTyposListThem)
{
    const std::vector<std::string> declared = {"fog.density", "mist"};
    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline(all_tracks("track fog.density\n  0 0.5 linear\n  1:0 2 hold\n"), "t.txt", declared,
                               &tl, &errors))
        << errors;
    ASSERT_EQ(tl.declared.size(), 2u);
    EXPECT_EQ(tl.declared[0].name, "fog.density");
    ASSERT_EQ(tl.declared[0].keys.size(), 2u);
    EXPECT_EQ(tl.declared[0].keys[1].row, 32);
    EXPECT_EQ(tl.declared[1].line, 0); // no section: an empty track
    EXPECT_TRUE(tl.declared[1].keys.empty());

    const int line = TIMELINE_TRACK_COUNT + 1;
    EXPECT_FALSE(parse_timeline(all_tracks("track fog.densty\n  0 1 hold\n"), "t.txt", declared, &tl, &errors));
    EXPECT_EQ(errors, "t.txt:" + std::to_string(line) + ": unknown track 'fog.densty' (declared: fog.density, mist)\n");
    EXPECT_FALSE(parse_timeline(all_tracks("track mist\ntrack mist\n"), "t.txt", declared, &tl, &errors));
    EXPECT_EQ(errors, "t.txt:" + std::to_string(line + 1) + ": duplicate track 'mist' (first at line " +
                          std::to_string(line) + ")\n");
    // Undeclared: the name is unknown, as before.
    EXPECT_FALSE(parse_timeline(all_tracks("track mist\n"), "t.txt", &tl, &errors));
    EXPECT_EQ(errors, "t.txt:" + std::to_string(line) + ": unknown track 'mist'\n");
}

TEST(content_timeline, CompiledDeclaredTracksReadThroughTheDevice)
{
    const std::string dir = ::testing::TempDir() + "content_tracks";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/timeline.txt") << all_tracks("track fog.density\n  0 1 linear\n  10 3 hold\n");
    std::string errors;
    ASSERT_TRUE(compile_timeline_file(dir + "/timeline.txt", dir, {"fog.density", "mist"}, &errors)) << errors;
    EXPECT_EQ(read_file(dir + "/sync_mist.track"), std::string(4, '\0')); // declared, no section: empty

    SyncDevice *const saved_sync = Sync;
    Sync = create_sync_device((dir + "/" + SYNC_BASE_NAME).c_str());
    ASSERT_NE(Sync, nullptr);
    static const SceneTrack fog = {"fog.density"};
    EXPECT_EQ(scene_track_value(fog, FrameTime{5.0f, 0}), 2.0f); // opened and loaded on first use
    EXPECT_EQ(scene_track_value(fog, FrameTime{12.0f, 0}), 3.0f);
    EXPECT_EQ(Sync->track_count, 1); // one registration, however many reads
    const SceneTrack missing = {"no.file"};
    EXPECT_EQ(scene_track_value(missing, FrameTime{12.0f, 0}), 0.0f);
    destroy_sync_device(Sync);
    Sync = nullptr;
    EXPECT_EQ(scene_track_value(fog, FrameTime{12.0f, 0}), 0.0f); // no device: nothing to read
    Sync = saved_sync;
    std::filesystem::remove_all(dir);
}

TEST(content_captions, TheFrameDrawsFromTheTableItIsGiven)
{
    // A library's text table with a changed line 1 and an added line 60: the
    // overlay moves the pen to the picked line's y (no line: left alone).
    const OverlayLine lines[] = {{1, 100, "new_words"}, {60, 200, "added"}};
    const CaptionTable table = {2, lines};
    const float saved = TrackValues.clear_a;
    TrackValues.clear_a = 60.0f;
    PenY = -7;
    finish_frame(nullptr); // the program's own table has no line 60
    EXPECT_EQ(PenY, -7);
    finish_frame(&table);
    EXPECT_EQ(PenY, 200);
    TrackValues.clear_a = 1.0f;
    finish_frame(&table);
    EXPECT_EQ(PenY, 100);
    finish_frame();
    EXPECT_EQ(PenY, 508);
    EXPECT_EQ(find_caption(table, 2), nullptr);
    EXPECT_EQ(DemoCaptions.count, OVERLAY_LINE_COUNT);
    TrackValues.clear_a = saved;
}

TEST(content_captions, EditsAreCheckedAgainstTheTablesThePictureDrawsFrom)
{
    // A library with a ninth scene and its own captions: its values pass,
    // the studio's own tables' are refused with the library's ranges.
    std::vector<SceneInfo> nine(SceneTable.begin(), SceneTable.end());
    nine.push_back({"ninth", nullptr, false});
    const OverlayLine lines[] = {{60, 200, "added"}, {61, 240, "more"}};
    const CaptionTable captions = {2, lines};
    const SceneLibraryTable lib = {9, nine.data(), &captions};
    EXPECT_EQ(value_refusal(TRACK_SCENE, 8.0f, &lib), "");
    EXPECT_EQ(value_refusal(TRACK_SCENE, 9.0f, &lib), "scene 9 is not in the scene table (0..8)");
    EXPECT_EQ(value_refusal(TRACK_CLEAR_A, 61.0f, &lib), "");
    EXPECT_EQ(value_refusal(TRACK_CLEAR_A, 1.0f, &lib), "caption line 1 is not in the text table (0 for none, 60-61)");
    EXPECT_EQ(value_refusal(TRACK_SCENE, 8.0f), "scene 8 is not in the scene table (0..7)");
    EXPECT_EQ(value_refusal(TRACK_CLEAR_A, 1.0f), "");
}

TEST(content_timeline, SceneKeysAreCheckedAgainstTheTableTheSourcesGive)
{
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/src/scenes/scene_table.cpp");
    std::stringstream table;
    table << in.rdbuf();
    EXPECT_EQ(count_scene_table_entries(table.str()), static_cast<int>(SceneTable.size()));
    EXPECT_EQ(count_scene_table_entries(table.str() + "    {\"ninth\", draw_ninth, false},\n"), 9);
    EXPECT_EQ(count_scene_table_entries("// no table\n"), -1);

    std::string text, errors;
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        text += std::string("track ") + TimelineTrackNames[i] + "\n" + (i == 0 ? "  0 7 hold\n  8 8 hold\n" : "");
    Timeline tl;
    ASSERT_TRUE(parse_timeline(text, "t.txt", &tl, &errors)) << errors;
    ASSERT_EQ(std::string(TimelineTrackNames[0]), "scene");
    EXPECT_EQ(scene_key_warnings(tl, 9, "t.txt"), "");
    EXPECT_EQ(scene_key_warnings(tl, 8, "t.txt"), "t.txt:3: warning: scene 8 is not in the scene table (0..7)\n");
}

TEST(content_restart, ARefusedLibraryNamesTheHeaderThatChangedTheLayout)
{
    const std::string own = "src/base/facts.h=11111111;src/state/state.h=22222222;";
    EXPECT_EQ(changed_layout_file(own, own), "");
    EXPECT_EQ(changed_layout_file(own, "src/base/facts.h=11111111;src/state/state.h=33333333;"), "src/state/state.h");
    EXPECT_EQ(changed_layout_file(own, own + "src/state/more.h=44444444;"), "src/state/more.h");
    EXPECT_EQ(changed_layout_file(own, "src/state/state.h=22222222;"), "src/base/facts.h");
}

// The text the grid drew right of the demo's own columns, by colour: the
// heads and cells of the declared tracks.
std::vector<ImU32> declared_column_text(const std::vector<TrackDeclaration> &declared)
{
    SceneWindow window;
    EXPECT_TRUE(window.ok) << SDL_GetError();
    std::string error;
    EXPECT_TRUE(open_ui(renderer, &error)) << error;
    Studio s;
    s.live = true;
    s.declared = declared;
    s.view.grid_on = true;
    std::string text;
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        text += std::string("track ") + TimelineTrackNames[i] + "\n";
    if (!declared.empty())
        text += "track fog.density\n  20 0.5 hold\n";
    EXPECT_TRUE(parse_timeline(text, "t.txt", declared_track_names(declared), &s.watch.timeline, &error)) << error;
    load_key_editor(&s.editor.model, text, s.watch.timeline);
    begin_ui_frame(renderer);
    draw_grid(s, 1.0);
    const SDL_Rect r = grid_rect_in(WINDOW_W, WINDOW_H, 0, false);
    const float demo = TIMELINE_TRACK_COUNT, columns = demo + static_cast<float>(declared.size());
    const float demo_columns_end = r.x + GRID_LABEL_W + (r.w - GRID_LABEL_W) * demo / columns;
    const ImDrawList *dl = ImGui::GetBackgroundDrawList();
    const ImVec2 white = ImGui::GetIO().Fonts->TexUvWhitePixel;
    std::vector<ImU32> colours;
    for (int i = 0; i < dl->VtxBuffer.Size; i++) {
        const ImDrawVert &v = dl->VtxBuffer[i];
        if ((v.uv.x != white.x || v.uv.y != white.y) && v.pos.x > demo_columns_end + 1)
            colours.push_back(v.col);
    }
    end_ui_frame(renderer);
    close_ui();
    return colours;
}

TEST(content_grid, DeclaredTracksHaveColumnsAndAnUnreadOneIsMarked)
{
    EXPECT_TRUE(declared_column_text({}).empty());
    const TrackDeclaration fog{"fog.density", "fog", "a.cpp", 3, true}, mist{"mist", "mist", "b.cpp", 4, false};
    const std::vector<ImU32> read = declared_column_text({fog});
    EXPECT_FALSE(read.empty());
    EXPECT_EQ(std::count(read.begin(), read.end(), IM_COL32(255, 210, 80, 255)), 0);
    const std::vector<ImU32> both = declared_column_text({fog, mist});
    EXPECT_GT(both.size(), read.size());
    EXPECT_GT(std::count(both.begin(), both.end(), IM_COL32(255, 210, 80, 255)), 0); // "+mist (unread)"
}

} // namespace
