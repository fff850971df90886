// The studio's command layer without SDL's video or a file: every key of the
// studio manual's table does what the table says with the grid, the curve view,
// both or neither shown; block edits on plain key lists and as one undo step
// of the source; the curve view's drag axis and value range; the values the
// demo cannot show; the manual's table (docs/studio.md) is the command table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "state/state.h"
#include "studio/editor/block_edit.h"
#include "studio/editor/commands.h"
#include "studio/editor/edit_steps.h"
#include "studio/editor/gestures.h"
#include "studio/editor/typing.h"
#include "studio/view/grid_layout.h"
#include "studio/view/view.h"
#include "sync/track.h"

namespace {

// Rows: 8 a beat, 32 a bar. scene: 1 from 0:0, 2 from 2:0, 3 from 4:0;
// clear.r: 10 at 0:0 rising linearly to 20 at 1:0. Marks at rows 16, 96, 160.
const char *const SOURCE = "track scene\n"
                           "  0:0   1   hold\n"
                           "  2:0   2   hold   # two\n"
                           "  4:0   3   hold\n"
                           "track clear.r\n"
                           "  0:0   10  linear\n"
                           "  1:0   20  hold\n"
                           "track clear.g\ntrack clear.b\ntrack clear.a\ntrack cam.rot\ntrack cam.dist\n"
                           "track cam.x\ntrack cam.y\ntrack cam.h\ntrack cam.hori\ntrack cam.scaleh\n"
                           "mark intro 0:2\nmark drop 3:0\nmark end 5:0\n";

std::string keys_text(const KeyList &keys)
{
    std::string s;
    for (const SyncKey &k : keys) {
        char one[64];
        std::snprintf(one, sizeof one, "%d=%g/%d ", k.row, static_cast<double>(k.value), k.kind);
        s += one;
    }
    return s;
}

// The studio's state, its tracks as the frame would read them, and a clock
// that a seek moves as the frame does.
struct Desk {
    TransportState transport;
    ViewState view;
    EditorState editor;
    std::vector<SyncTrack> tracks = std::vector<SyncTrack>(TIMELINE_TRACK_COUNT);
    std::vector<const SyncTrack *> pointers = std::vector<const SyncTrack *>(TIMELINE_TRACK_COUNT);
    double seconds = 2.0; // row 40, 1:1
    const char *refusal = nullptr;
    CommandOut out;

    Timeline tl;

    Desk(bool grid, bool curve, const char *source = SOURCE)
    {
        std::string errors;
        EXPECT_TRUE(parse_timeline(source, "t.txt", &tl, &errors)) << errors;
        load_key_editor(&editor.model, source, tl);
        view.grid_on = grid;
        view.curve_on = curve;
        view.span = StripSpan{0.0, 100.0};
        view.span_set = true;
        sync_tracks();
    }
    void sync_tracks()
    {
        for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
            KeyList &k = editor.model.keys[t];
            tracks[t] = SyncTrack{nullptr, k.data(), static_cast<int32_t>(k.size())};
            pointers[t] = &tracks[t];
        }
    }
    CommandContext context()
    {
        CommandContext c{};
        c.transport = &transport;
        c.view = &view;
        c.editor = &editor;
        c.seconds = seconds;
        c.length = c.strip_length = 200.0;
        c.tracks = pointers.data();
        c.edit_refusal = refusal;
        c.marks = &tl.marks;
        c.frame = frame;
        c.gesture = &gesture;
        return c;
    }
    bool took(CommandContext &c, bool took)
    {
        out = c.out;
        if (out.seek)
            seconds = out.seek_to;
        if (transport.seek_pending) // a drag's seek, taken once a frame
            seconds = transport.seek_to;
        transport.seek_pending = false;
        sync_tracks();
        return took;
    }
    bool press(SDL_Keycode key, uint16_t mods = KMOD_NONE)
    {
        CommandContext c = context();
        return took(c, press_command_key(&c, key, mods, false));
    }
    // A mouse gesture at output pixel p, with `mods` held.
    bool mouse(GesturePhase phase, GestureInput input, SDL_Point p, uint16_t mods = KMOD_NONE, int notches = 0)
    {
        frame.mods = mods;
        CommandContext c = context();
        return took(c, run_gesture(&c, GestureEvent{phase, input, p.x, p.y, notches}));
    }
    GestureState gesture;
    FrameInputs frame{960, 540, 16.0f, 0};
    void type(const char *text)
    {
        for (const char *p = text; *p; p++)
            press(*p == '.' ? SDLK_PERIOD : *p == '-' ? SDLK_MINUS : *p == ':' ? SDLK_COLON : SDLK_0 + (*p - '0'));
    }
    void at_row(int32_t row) { seconds = row / 20.0; }
    int32_t row() const { return static_cast<int32_t>(seconds * 20.0 + 1e-6); }
    std::string keys(int t) const { return keys_text(editor.model.keys[t]); }
    std::string text() const { return key_editor_text(editor.model); }
};

const int SCENE = 0, CLEAR_R = 1;

// What each row of the manual's key table must do, checked from a fresh
// desk at row 40 (1:1) with the "scene" track selected.
using Check = std::function<void(Desk &)>;

std::map<std::string, Check> table_checks()
{
    std::map<std::string, Check> c;
    c["Space"] = [](Desk &d) {
        d.press(SDLK_SPACE);
        EXPECT_TRUE(d.out.toggle_pause);
    };
    c["Shift+Space"] = [](Desk &d) {
        d.press(SDLK_SPACE, KMOD_RSHIFT);
        EXPECT_TRUE(d.out.toggle_half_speed);
        EXPECT_FALSE(d.out.toggle_pause);
    };
    c["Left/Right, Shift+Left/Right"] = [](Desk &d) {
        d.press(SDLK_RIGHT);
        EXPECT_EQ(d.row(), 48);
        d.press(SDLK_LEFT);
        EXPECT_EQ(d.row(), 40);
        d.press(SDLK_RIGHT, KMOD_LSHIFT);
        EXPECT_EQ(d.row(), 64);
        d.press(SDLK_LEFT, KMOD_LSHIFT);
        EXPECT_EQ(d.row(), 32);
    };
    c["Up/Down"] = [](Desk &d) {
        d.press(SDLK_DOWN);
        EXPECT_EQ(d.row(), 41);
        d.press(SDLK_UP);
        d.press(SDLK_UP);
        EXPECT_EQ(d.row(), 39);
        EXPECT_FALSE(d.editor.block_on);
    };
    c["Shift+Up/Down, Ctrl+Shift+Left/Right"] = [](Desk &d) {
        d.press(SDLK_DOWN, KMOD_LSHIFT);
        d.press(SDLK_DOWN, KMOD_RSHIFT);
        d.press(SDLK_RIGHT, KMOD_LCTRL | KMOD_LSHIFT);
        KeyBlock b;
        ASSERT_TRUE(editor_block(d.editor, &b));
        EXPECT_EQ(b.row0, 40);
        EXPECT_EQ(b.row1, 43);
        EXPECT_EQ(b.track0, SCENE);
        EXPECT_EQ(b.track1, CLEAR_R);
        EXPECT_EQ(d.editor.column, CLEAR_R);
        EXPECT_EQ(d.row(), 42);
        d.press(SDLK_UP, KMOD_LSHIFT); // back over the anchor: the block turns
        d.press(SDLK_UP, KMOD_LSHIFT);
        d.press(SDLK_UP, KMOD_LSHIFT);
        ASSERT_TRUE(editor_block(d.editor, &b));
        EXPECT_EQ(b.row0, 39);
        EXPECT_EQ(b.row1, 41);
    };
    c["Page Up/Page Down"] = [](Desk &d) {
        d.press(SDLK_PAGEDOWN);
        EXPECT_EQ(d.row(), 64);
        d.press(SDLK_PAGEDOWN);
        EXPECT_EQ(d.row(), 128);
        d.press(SDLK_PAGEUP);
        EXPECT_EQ(d.row(), 64);
    };
    c["Ctrl+Page Up/Page Down"] = [](Desk &d) {
        d.press(SDLK_PAGEDOWN, KMOD_LCTRL);
        EXPECT_EQ(d.row(), 96);
        EXPECT_EQ(d.editor.message, "mark drop at 3:0");
        d.press(SDLK_PAGEDOWN, KMOD_RCTRL);
        d.press(SDLK_PAGEDOWN, KMOD_RCTRL); // none after the last: stays, says so
        EXPECT_EQ(d.row(), 160);
        EXPECT_EQ(d.editor.message, "no later mark");
        d.at_row(97); // within the grace after "drop": back past it
        d.press(SDLK_PAGEUP, KMOD_LCTRL);
        EXPECT_EQ(d.row(), 16);
        d.press(SDLK_PAGEUP, KMOD_LCTRL);
        EXPECT_EQ(d.row(), 16);
        EXPECT_EQ(d.editor.message, "no earlier mark");
        d.tl.marks.clear();
        d.press(SDLK_PAGEDOWN, KMOD_LCTRL);
        EXPECT_EQ(d.row(), 16);
        EXPECT_EQ(d.editor.message.rfind("no marks", 0), 0u) << d.editor.message;
    };
    c["Ctrl+G"] = [](Desk &d) {
        d.press(SDLK_g, KMOD_LCTRL);
        d.type("3");
        d.press(SDLK_SEMICOLON, KMOD_LSHIFT); // ':' as a US keyboard types it
        d.type("2");
        EXPECT_EQ(d.editor.typed, "3:2");
        EXPECT_EQ(editor_rows_per_line(d.editor), 1); // not the grid's G
        d.press(SDLK_RETURN);
        EXPECT_EQ(d.row(), 112);
        EXPECT_EQ(d.editor.message, "at 3:2 (row 112)");
        EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=3/0 "); // Enter went to the place, not a key
        d.press(SDLK_g, KMOD_LCTRL);
        d.type("1:04.5");
        d.press(SDLK_RETURN);
        EXPECT_DOUBLE_EQ(d.seconds, 64.5);
        d.press(SDLK_g, KMOD_LCTRL);
        d.type("1:4"); // no such beat: refused, the playhead stays
        d.press(SDLK_RETURN);
        EXPECT_DOUBLE_EQ(d.seconds, 64.5);
        EXPECT_TRUE(d.editor.message_warn);
        EXPECT_EQ(d.editor.message, "no beat 4 in a bar of 4");
        d.press(SDLK_g, KMOD_LCTRL);
        d.type("7");
        d.press(SDLK_ESCAPE);
        EXPECT_FALSE(d.out.quit);
        EXPECT_DOUBLE_EQ(d.seconds, 64.5);
    };
    c["Home, End"] = [](Desk &d) {
        d.press(SDLK_END);
        EXPECT_EQ(d.seconds, 200.0);
        d.press(SDLK_HOME);
        EXPECT_EQ(d.seconds, 0.0);
    };
    c["L"] = [](Desk &d) {
        d.press(SDLK_l);
        EXPECT_EQ(d.transport.loop.stage, 1);
        EXPECT_EQ(d.transport.loop.start_row, 32);
    };
    c["Tab, C"] = [](Desk &d) {
        const bool grid = d.view.grid_on, curve = d.view.curve_on;
        d.press(SDLK_TAB);
        d.press(SDLK_c);
        EXPECT_NE(d.view.grid_on, grid);
        EXPECT_NE(d.view.curve_on, curve);
    };
    c["F"] = [](Desk &d) {
        d.press(SDLK_f);
        EXPECT_TRUE(d.view.curve_whole);
    };
    c["Ctrl+Left/Right"] = [](Desk &d) {
        d.press(SDLK_RIGHT, KMOD_LCTRL);
        EXPECT_EQ(d.editor.column, CLEAR_R);
        EXPECT_EQ(d.row(), 40); // the playhead stays
        d.press(SDLK_LEFT, KMOD_RCTRL);
        d.press(SDLK_LEFT, KMOD_RCTRL);
        EXPECT_EQ(d.editor.column, TIMELINE_TRACK_COUNT - 1);
    };
    c["G"] = [](Desk &d) {
        d.press(SDLK_g);
        EXPECT_EQ(editor_rows_per_line(d.editor), 2);
        d.at_row(41);
        EXPECT_EQ(editor_cursor_row(d.editor, d.seconds), 40);
    };
    c["Enter"] = [](Desk &d) {
        d.press(SDLK_RETURN);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 40=1/0 64=2/0 128=3/0 ");
        EXPECT_EQ(d.out.save, SOURCE_EDITED);
        EXPECT_EQ(d.editor.message, "insert scene at 1:1");
        d.press(SDLK_RETURN); // one key a line
        EXPECT_EQ(d.out.save, SOURCE_UNCHANGED);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 40=1/0 64=2/0 128=3/0 ");
    };
    c["0\xe2\x80\x93" "9 and ."] = [](Desk &d) {
        d.type("4.5-");
        EXPECT_EQ(d.editor.typed, "-4.5");
        d.press(SDLK_MINUS);
        d.press(SDLK_BACKSPACE);
        d.press(SDLK_RETURN);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 40=4/0 64=2/0 128=3/0 ");
        EXPECT_EQ(d.editor.message, "set scene at 1:1 to 4");
        d.type("9");
        d.press(SDLK_ESCAPE); // cancels, does not quit
        EXPECT_FALSE(d.out.quit);
        EXPECT_FALSE(d.editor.typing);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 40=4/0 64=2/0 128=3/0 ");
    };
    c["X"] = [](Desk &d) {
        d.editor.column = CLEAR_R;
        d.at_row(32);
        d.press(SDLK_x);
        d.type("2");
        d.press(SDLK_RETURN);
        EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 32=40/0 ");
        d.at_row(0); // a block of both keys, halved
        d.press(SDLK_DOWN, KMOD_LSHIFT);
        select_block(&d.editor, CLEAR_R, 0, CLEAR_R, 32);
        d.press(SDLK_x);
        d.type(".5");
        d.press(SDLK_RETURN);
        EXPECT_EQ(d.keys(CLEAR_R), "0=5/1 32=20/0 ");
    };
    c["Ctrl+Up/Down, with Shift"] = [](Desk &d) {
        d.editor.column = CLEAR_R;
        d.at_row(32);
        d.press(SDLK_UP, KMOD_LCTRL);
        EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 32=21/0 ");
        d.press(SDLK_UP, KMOD_LCTRL | KMOD_LSHIFT);
        d.press(SDLK_DOWN, KMOD_LCTRL);
        EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 32=36/0 ");
        d.at_row(16); // between keys: a new key from the value there, 23
        d.press(SDLK_DOWN, KMOD_LCTRL);
        EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 16=22/1 32=36/0 ");
    };
    c["K"] = [](Desk &d) {
        d.at_row(0);
        d.press(SDLK_k);
        EXPECT_EQ(d.keys(SCENE), "0=1/1 64=2/0 128=3/0 ");
        EXPECT_EQ(d.editor.message, "curve linear for scene at 0:0");
        d.at_row(1);
        d.press(SDLK_k); // no key on the line: said, nothing done
        EXPECT_EQ(d.editor.message, "no key of scene on this line");
    };
    c["Delete or Backspace"] = [](Desk &d) {
        d.at_row(64);
        d.press(SDLK_DELETE);
        d.at_row(0);
        d.press(SDLK_BACKSPACE);
        EXPECT_EQ(d.keys(SCENE), "128=3/0 ");
    };
    c["Alt+Up/Down, with Shift"] = [](Desk &d) {
        d.at_row(64);
        d.press(SDLK_DOWN, KMOD_LALT);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 65=2/0 128=3/0 ");
        EXPECT_NE(d.text().find("\n  65    2   hold   # two\n"), std::string::npos) << d.text(); // its line, rewritten
        EXPECT_EQ(d.row(), 65); // the playhead goes with the key
        d.press(SDLK_UP, KMOD_LALT | KMOD_LSHIFT);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 57=2/0 128=3/0 ");
        d.at_row(0);
        d.press(SDLK_UP, KMOD_LALT); // before row 0: refused
        EXPECT_TRUE(d.editor.message_warn);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 57=2/0 128=3/0 ");
    };
    c["[ and ]"] = [](Desk &d) {
        d.press(SDLK_RIGHTBRACKET);
        EXPECT_EQ(d.row(), 64);
        d.press(SDLK_LEFTBRACKET);
        EXPECT_EQ(d.row(), 0);
    };
    c["Ctrl+C"] = [](Desk &d) {
        d.press(SDLK_c, KMOD_LCTRL); // the bar 1:0-2:0 of all tracks: clear.r's key at 32
        EXPECT_EQ(d.editor.clip_rows, 32);
        d.at_row(100); // pastes at its bar, 3:0
        d.press(SDLK_v, KMOD_LCTRL);
        EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 32=20/0 96=20/0 ");
        EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=3/0 ");
    };
    c["Ctrl+V, Ctrl+Shift+V"] = [](Desk &d) {
        select_block(&d.editor, SCENE, 56, CLEAR_R, 71); // rows 56..71: scene's key at 64
        d.press(SDLK_c, KMOD_LCTRL);
        d.at_row(120); // onto scene's key at 128: refused, nothing changed
        d.press(SDLK_v, KMOD_LCTRL);
        EXPECT_TRUE(d.editor.message_warn);
        EXPECT_NE(d.editor.message.find("row 128"), std::string::npos) << d.editor.message;
        EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=3/0 ");
        d.press(SDLK_v, KMOD_LCTRL | KMOD_LSHIFT); // replacing: 3 at 128 gone, 2 at 128
        EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=2/0 ");
        KeyBlock b; // the pasted rows are the block now
        ASSERT_TRUE(editor_block(d.editor, &b));
        EXPECT_EQ(b.row0, 120);
        EXPECT_EQ(b.row1, 136);
        d.at_row(56);
        d.editor.block_on = false;
        d.press(SDLK_v, KMOD_LCTRL); // onto its own key at 2:0
        EXPECT_TRUE(d.editor.message_warn);
        EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=2/0 ");
        d.at_row(4);
        d.press(SDLK_v, KMOD_LCTRL); // a clip without keys at its start lands between
        EXPECT_EQ(d.keys(SCENE), "0=1/0 12=2/0 64=2/0 128=2/0 ");
    };
    c["Ctrl+Z, Ctrl+Shift+Z (or Ctrl+Y)"] = [](Desk &d) {
        const std::string original = d.text();
        d.press(SDLK_RETURN);
        d.at_row(0);
        d.editor.column = CLEAR_R;
        d.press(SDLK_z, KMOD_LCTRL);
        EXPECT_EQ(d.out.save, SOURCE_UNDONE);
        EXPECT_EQ(d.editor.message, "undo: insert scene at 1:1");
        EXPECT_EQ(d.text(), original);
        EXPECT_EQ(d.editor.column, SCENE); // the selection goes to the changed key
        EXPECT_EQ(d.row(), 40);
        d.press(SDLK_z, KMOD_LCTRL);
        EXPECT_EQ(d.editor.message, "nothing to undo");
        d.press(SDLK_z, KMOD_LCTRL | KMOD_LSHIFT);
        EXPECT_EQ(d.editor.message, "redo: insert scene at 1:1");
        EXPECT_EQ(d.out.save, SOURCE_REDONE);
        d.press(SDLK_z, KMOD_LCTRL);
        d.press(SDLK_y, KMOD_LCTRL);
        EXPECT_EQ(d.editor.message, "redo: insert scene at 1:1");
        EXPECT_EQ(d.keys(SCENE), "0=1/0 40=1/0 64=2/0 128=3/0 ");
    };
    c["+/-, mouse wheel"] = [](Desk &d) {
        d.press(SDLK_EQUALS, KMOD_LSHIFT);
        EXPECT_DOUBLE_EQ(d.view.span.to - d.view.span.from, 50.0);
        d.press(SDLK_MINUS);
        d.press(SDLK_KP_MINUS);
        EXPECT_DOUBLE_EQ(d.view.span.to - d.view.span.from, 200.0);
    };
    c["M, H, F1 or ?"] = [](Desk &d) {
        d.press(SDLK_m);
        EXPECT_TRUE(d.transport.muted);
        EXPECT_TRUE(d.out.set_muted);
        d.press(SDLK_h);
        EXPECT_FALSE(d.view.hud_on);
        d.press(SDLK_F1);
        EXPECT_TRUE(d.view.help_on);
        d.press(SDLK_SLASH, KMOD_LSHIFT);
        EXPECT_FALSE(d.view.help_on);
        d.press(SDLK_SLASH); // a plain slash is no command
        EXPECT_FALSE(d.view.help_on);
    };
    c["P"] = [](Desk &d) {
        d.press(SDLK_p);
        EXPECT_TRUE(d.view.snapshot_asked);
    };
    c["F11"] = [](Desk &d) {
        d.press(SDLK_F11);
        EXPECT_TRUE(d.out.toggle_fullscreen);
    };
    c["Escape, closing the window"] = [](Desk &d) {
        d.press(SDLK_DOWN, KMOD_LSHIFT);
        d.press(SDLK_ESCAPE);
        EXPECT_FALSE(d.out.quit);
        EXPECT_FALSE(d.editor.block_on);
        d.press(SDLK_ESCAPE);
        EXPECT_TRUE(d.out.quit);
    };
    return c;
}

TEST(CommandTable, EveryKeyDoesWhatItsRowSaysInEveryView)
{
    const auto checks = table_checks();
    for (const auto &[keys, help] : command_help_rows()) {
        bool is_key = false;
        for (size_t i = 0; i < STUDIO_COMMAND_COUNT; i++)
            if (STUDIO_COMMANDS[i].keys && keys == STUDIO_COMMANDS[i].keys)
                is_key = STUDIO_COMMANDS[i].input == INPUT_KEY;
        if (!is_key)
            continue; // gestures: tested by surface below
        const auto check = checks.find(keys);
        ASSERT_NE(check, checks.end()) << "no check for the row \"" << keys << "\"";
        for (int view = 0; view < 4; view++) {
            SCOPED_TRACE(keys + " with grid " + std::to_string(view & 1) + ", curve " + std::to_string(view >> 1));
            Desk d((view & 1) != 0, (view & 2) != 0);
            check->second(d);
        }
    }
}

TEST(CommandTable, TheManualsTableIsTheCommandTable)
{
    // The studio's manual beside the sources: __FILE__ is absolute, or relative to
    // the build folder when ccache maps the paths.
    std::filesystem::path file = __FILE__;
    if (file.is_relative())
        file = std::filesystem::path(TEST_BINARY_DIR) / file;
    const auto manual = file.parent_path().parent_path().parent_path() / "docs" / "studio.md";
    std::ifstream in(manual);
    ASSERT_TRUE(in) << manual << " not found";
    std::vector<std::pair<std::string, std::string>> rows;
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.rfind("Keys (also on the HUD", 0) == 0)
            inside = true;
        else if (inside && line == "| keys | action |")
            continue;
        else if (inside && line.rfind("|---", 0) == 0)
            continue;
        else if (inside && line.rfind("| ", 0) == 0) {
            const size_t bar = line.find(" | ");
            ASSERT_NE(bar, std::string::npos) << line;
            rows.push_back({line.substr(2, bar - 2), line.substr(bar + 3, line.size() - bar - 5)});
        } else if (inside && !rows.empty())
            break;
    }
    EXPECT_EQ(rows, command_help_rows());
    // The HUD's list holds every row, within its width (an en dash as "-").
    const auto collapse = [](const std::string &text) {
        std::string out;
        for (char ch : text)
            if (ch != ' ' || (!out.empty() && out.back() != ' '))
                out += ch;
        return out;
    };
    std::string all;
    for (const std::string &l : command_help_lines(60)) {
        EXPECT_LE(l.size(), 60u) << l;
        all += l + " ";
    }
    all = collapse(all);
    for (const auto &[keys, help] : rows) {
        std::string item = keys + ": " + help;
        if (item.find("\xe2\x80\x93") != std::string::npos)
            item.replace(item.find("\xe2\x80\x93"), 3, "-");
        EXPECT_NE(all.find(collapse(item)), std::string::npos) << item;
    }
}

// At 128 BPM a beat is 9.375 rows: beats on rows 0, 9, 19, 28, 38 (1:0,
// 37.5 rounding up), 47, ..., 75 (2:0), 113 (3:0, 112.5).
const char *const SOURCE_128 = "tempo 128\n"
                               "track scene\n"
                               "  0:0   1   hold\n"
                               "  1:0   2   hold\n"
                               "track clear.r\ntrack clear.g\ntrack clear.b\ntrack clear.a\ntrack cam.rot\n"
                               "track cam.dist\ntrack cam.x\ntrack cam.y\ntrack cam.h\ntrack cam.hori\ntrack cam.scaleh\n";

TEST(SourceTempo, StepsGridLinesNamesMovesAndTheLoopFollowIt)
{
    Desk d(true, false, SOURCE_128);
    EXPECT_EQ(d.keys(SCENE), "0=1/0 38=2/0 ");
    d.at_row(0);
    std::vector<int32_t> rows;
    for (int i = 0; i < 5; i++) {
        d.press(SDLK_RIGHT);
        rows.push_back(d.row());
    }
    EXPECT_EQ(rows, (std::vector<int32_t>{9, 19, 28, 38, 47}));
    d.press(SDLK_RIGHT, KMOD_LSHIFT);
    EXPECT_EQ(d.row(), 75);
    d.press(SDLK_RIGHT, KMOD_LSHIFT);
    EXPECT_EQ(d.row(), 113);
    d.press(SDLK_LEFT, KMOD_LSHIFT);
    EXPECT_EQ(d.row(), 75);
    d.press(SDLK_LEFT);
    EXPECT_EQ(d.row(), 66);

    // The grid marks the line that holds a beat's row; 8 rows a line.
    const TimelineTempo &tempo = editor_tempo(d.editor);
    bool bar = false;
    int32_t at = 0;
    EXPECT_TRUE(line_beat(tempo, 19, 1, &bar, &at));
    EXPECT_FALSE(line_beat(tempo, 20, 1, &bar, &at));
    EXPECT_TRUE(line_beat(tempo, 32, 8, &bar, &at));
    EXPECT_EQ(at, 38);
    EXPECT_TRUE(bar);
    EXPECT_TRUE(line_beat(tempo, 24, 8, &bar, &at));
    EXPECT_EQ(at, 28);
    EXPECT_FALSE(bar);
    EXPECT_EQ(row_name(38, tempo), "1:0");
    EXPECT_EQ(row_name(37, tempo), "row 37");
    EXPECT_EQ(bar_beat(37, tempo), "0:3");

    // A key on a beat moved a beat lands on the next beat; an inserted key
    // is named by its beat.
    d.at_row(38);
    d.press(SDLK_DOWN, KMOD_LALT | KMOD_LSHIFT);
    EXPECT_EQ(d.keys(SCENE), "0=1/0 47=2/0 ");
    EXPECT_EQ(d.editor.message, "move scene 1:0 to 1:1");
    d.press(SDLK_UP, KMOD_LALT | KMOD_LSHIFT);
    EXPECT_EQ(d.keys(SCENE), "0=1/0 38=2/0 ");
    d.at_row(19);
    d.press(SDLK_RETURN);
    EXPECT_EQ(d.editor.message, "insert scene at 0:2");
    EXPECT_NE(d.text().find("  0:2   1   hold\n"), std::string::npos) << d.text();

    // The loop over bars, Ctrl+C's bar and the strip's snapping.
    d.at_row(40);
    d.press(SDLK_l);
    d.at_row(80);
    d.press(SDLK_l);
    EXPECT_EQ(d.transport.loop.start_row, 38);
    EXPECT_EQ(d.transport.loop.end_row, 113);
    d.press(SDLK_l);
    d.at_row(50);
    d.press(SDLK_c, KMOD_LCTRL);
    EXPECT_EQ(d.editor.clip_rows, 75 - 38);
    EXPECT_DOUBLE_EQ(snap_to_beat(1.0, tempo), 0.95); // row 20: beat 2 on row 19
    const LoopRange drawn = loop_between(2.0, 0.9, tempo); // rows 40 and 18: beats 38 and 19
    EXPECT_EQ(drawn.stage, 2);
    EXPECT_EQ(drawn.start_row, 19);
    EXPECT_EQ(drawn.end_row, 38);
    EXPECT_EQ(loop_between(1.0, 0.97, tempo).stage, 0); // one beat: a click clears the loop
}

TEST(GoTo, PlacesAsBarBeatRowOrSeconds)
{
    TimelineTempo t128;
    t128.beats_per_minute = 128.0;
    TimelineTempo waltz;
    waltz.beats_per_bar = 3;
    struct Good {
        const char *text;
        const TimelineTempo &tempo;
        double seconds;
    } good[] = {
        {"12:2", TimelineTempo{}, 20.0}, {"1:0", t128, 1.9},   {"1:2", waltz, 2.0},
        {"384", TimelineTempo{}, 19.2},  {"0", t128, 0.0},     {"62.096", t128, 62.096},
        {"1:02.5", t128, 62.5},          {"0.", t128, 0.0},    {"2147483647", t128, 2147483647 / 20.0},
    };
    for (const Good &g : good) {
        double s = -1.0;
        std::string why;
        EXPECT_TRUE(parse_place(g.text, g.tempo, &s, &why)) << g.text << ": " << why;
        EXPECT_DOUBLE_EQ(s, g.seconds) << g.text;
    }
    const std::pair<const char *, const char *> bad[] = {
        {"", "not a place"},        {":", "not a place"},          {"3:", "not a place"},
        {":2", "not a place"},      {"1:2:3", "not a place"},      {"1.2.3", "not a time"},
        {"1:3", "no beat 3 in a bar of 3"}, {"1:60.0", "not a time"}, {"2147483648", "out of range"},
        {"99999999999999999999", "out of range"}, {"-5", "not a place"}, {"1:007", "no beat 7 in a bar of 3"},
        {"9999999999:0", "out of range"},
    };
    for (const auto &[text, said] : bad) {
        double s = -1.0;
        std::string why;
        EXPECT_FALSE(parse_place(text, waltz, &s, &why)) << text;
        EXPECT_EQ(why.rfind(said, 0), 0u) << text << ": " << why;
        EXPECT_EQ(s, -1.0) << text;
    }
}

// Everything a command could change, as text: a key that runs no command
// leaves it as it was.
std::string desk_state(const Desk &d)
{
    std::ostringstream o;
    const ViewState &v = d.view;
    const EditorState &e = d.editor;
    o << d.seconds << " " << d.text() << " view " << v.hud_on << v.help_on << v.grid_on << v.curve_on
      << v.curve_whole << v.snapshot_asked << " " << v.span.from << ".." << v.span.to << " loop " << d.transport.loop.stage
      << " muted " << d.transport.muted << " track " << e.column << " zoom " << e.zoom << " block " << e.block_on << " "
      << e.anchor_row << ":" << e.anchor_track << "-" << e.end_row << ":" << e.end_track << " clip " << e.clip_rows
      << " undo " << e.model.undo.size() << "/" << e.model.redo.size() << " said '" << e.message << "'";
    const CommandOut &out = d.out;
    o << " out " << out.seek << out.save << out.toggle_pause << out.toggle_half_speed << out.set_muted
      << out.toggle_fullscreen << out.poll_now << out.quit;
    return o.str();
}

uint16_t sdl_mods(uint8_t mods)
{
    return static_cast<uint16_t>(((mods & (MOD_SHIFT | MOD_SHIFT_ANY)) ? KMOD_LSHIFT : 0) |
                                 ((mods & MOD_CTRL) ? KMOD_LCTRL : 0) | ((mods & MOD_ALT) ? KMOD_LALT : 0));
}

TEST(Typing, WhileAValueFactorOrPlaceIsTypedNoCommandRuns)
{
    struct Prompt {
        const char *name;
        SDL_Keycode key;
        uint16_t mods;
    } const prompts[] = {{"value", SDLK_5, KMOD_NONE}, {"factor", SDLK_x, KMOD_NONE}, {"place", SDLK_g, KMOD_LCTRL}};
    void (*digit_run)(CommandContext *) = nullptr; // what 0-9 and the point run: they type
    for (size_t i = 0; i < STUDIO_COMMAND_COUNT; i++)
        if (STUDIO_COMMANDS[i].key == SDLK_0)
            digit_run = STUDIO_COMMANDS[i].run;
    for (const Prompt &p : prompts)
        for (size_t i = 0; i < STUDIO_COMMAND_COUNT; i++) {
            const StudioCommand &cmd = STUDIO_COMMANDS[i];
            if (!cmd.run || cmd.input != INPUT_KEY)
                continue;
            SCOPED_TRACE(std::string(p.name) + ", command " + std::to_string(i) + " (key " + std::to_string(cmd.key) +
                         ", mods " + std::to_string(cmd.mods) + ")");
            // On the key at 2:0 of the scene, with a block and a clip that
            // the edit and paste commands would act on.
            Desk d(true, true);
            d.at_row(64);
            select_block(&d.editor, SCENE, 32, CLEAR_R, 64);
            d.press(SDLK_c, KMOD_LCTRL);
            select_block(&d.editor, SCENE, 32, CLEAR_R, 64);
            d.press(p.key, p.mods);
            ASSERT_TRUE(d.editor.typing);
            d.out = CommandOut{};
            const std::string before = desk_state(d), typed = d.editor.typed;
            const TypingFor before_for = d.editor.typing_for;

            EXPECT_TRUE(d.press(cmd.key, sdl_mods(cmd.mods)));
            if (cmd.key == SDLK_RETURN || cmd.key == SDLK_KP_ENTER) {
                EXPECT_FALSE(d.editor.typing); // the prompt is taken
                continue;
            }
            EXPECT_EQ(desk_state(d), before);
            if (cmd.key == SDLK_ESCAPE) {
                EXPECT_FALSE(d.editor.typing); // cancelled; the block and the studio stay
                continue;
            }
            EXPECT_TRUE(d.editor.typing);
            EXPECT_EQ(d.editor.typing_for, before_for);
            const bool edits = cmd.mods == MOD_NONE && (cmd.key == SDLK_BACKSPACE || cmd.key == SDLK_MINUS ||
                                                        cmd.key == SDLK_KP_MINUS || cmd.run == digit_run);
            if (!edits) {
                EXPECT_EQ(d.editor.typed, typed);
            }
        }
}

TEST(Typing, GoToRefusesWhatIsNoPlaceInTheMusicWithTheReason)
{
    Desk d(false, false); // the music: 200 s
    const std::pair<const char *, const char *> refused[] = {
        {"-5", "not a place: '-5' is before the start"},
        {"999999", "past the end: '999999' is at 49999.950 s, the music ends at 200.000 s"},
        {"99999:3", "past the end: '99999:3' is at 159999.600 s, the music ends at 200.000 s"},
        {"3:20.001", "past the end: '3:20.001' is at 200.001 s, the music ends at 200.000 s"},
    };
    for (const auto &[text, said] : refused) {
        d.press(SDLK_g, KMOD_LCTRL);
        d.type(text);
        EXPECT_EQ(d.editor.typed, text);
        d.press(SDLK_RETURN);
        EXPECT_FALSE(d.out.seek) << text;
        EXPECT_DOUBLE_EQ(d.seconds, 2.0) << text;
        EXPECT_TRUE(d.editor.message_warn) << text;
        EXPECT_EQ(d.editor.message.rfind(said, 0), 0u) << d.editor.message;
    }
    // Letters are no part of a place: they are ignored, and the curve view
    // stays as it was.
    d.press(SDLK_g, KMOD_LCTRL);
    for (SDL_Keycode k : {SDLK_a, SDLK_b, SDLK_c, SDLK_k, SDLK_DELETE})
        d.press(k);
    d.type("200");
    EXPECT_EQ(d.editor.typed, "200");
    EXPECT_FALSE(d.view.curve_on);
    d.press(SDLK_RETURN);
    EXPECT_EQ(d.row(), 200);
    EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=3/0 ");
}

TEST(CommandTable, NoTwoCommandsShareAKeyAndModifiers)
{
    for (size_t i = 0; i < STUDIO_COMMAND_COUNT; i++)
        for (size_t j = i + 1; j < STUDIO_COMMAND_COUNT; j++) {
            const StudioCommand &a = STUDIO_COMMANDS[i], &b = STUDIO_COMMANDS[j];
            if (a.run && b.run && a.key == b.key && a.input == b.input && a.surface == b.surface) {
                EXPECT_NE(a.mods & ~MOD_SHIFT_ANY, b.mods & ~MOD_SHIFT_ANY) << a.key << " twice";
            }
        }
}

TEST(CommandTable, EditsAreRefusedWithTheReasonWhileTheSourceCannotBeEdited)
{
    Desk d(false, false);
    d.refusal = "editing is off while the source does not parse (see the box)";
    d.press(SDLK_RETURN);
    EXPECT_EQ(d.editor.message, d.refusal);
    EXPECT_TRUE(d.out.poll_now);
    EXPECT_EQ(d.out.save, SOURCE_UNCHANGED);
    EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=3/0 ");
}

// ---- Values the demo can show ---------------------------------------------------------

TEST(DemoLimits, SceneAndCaptionOutsideTheirTablesAreRefusedWithTheRange)
{
    EXPECT_EQ(value_refusal(TRACK_SCENE, 7.9f), "");
    EXPECT_EQ(value_refusal(TRACK_SCENE, -0.5f), ""); // truncates to scene 0
    EXPECT_EQ(value_refusal(TRACK_SCENE, 8.0f), "scene 8 is not in the scene table (0..7)");
    EXPECT_EQ(value_refusal(TRACK_SCENE, -1.0f), "scene -1 is not in the scene table (0..7)");
    EXPECT_EQ(value_refusal(TRACK_CLEAR_A, 0.0f), "");
    EXPECT_EQ(value_refusal(TRACK_CLEAR_A, 54.5f), "");
    EXPECT_EQ(value_refusal(TRACK_CLEAR_A, 3.0f),
              "caption line 3 is not in the text table (0 for none, 1-2, 16-18, 32-34, 50-54)");
    EXPECT_EQ(value_refusal(TRACK_CAM_DIST, 1e30f), "");

    Desk d(true, false);
    d.type("42");
    d.press(SDLK_RETURN);
    EXPECT_EQ(d.editor.message, "refused: scene 42 is not in the scene table (0..7)");
    d.type("99999999999999999999999999999999999999999"); // 41 digits
    d.press(SDLK_RETURN);
    EXPECT_EQ(d.editor.message, "out of range: '99999999999999999999999999999999999999999'");
    d.at_row(128);
    for (int i = 0; i < 5; i++)
        d.press(SDLK_UP, KMOD_LCTRL); // 3 up to 7, then refused at 8
    EXPECT_EQ(d.keys(SCENE), "0=1/0 64=2/0 128=7/0 ");
    EXPECT_TRUE(d.editor.message_warn);
    EXPECT_EQ(d.out.save, SOURCE_UNCHANGED);
    EXPECT_EQ(d.out.seek, false);
}

// ---- Blocks -------------------------------------------------------------------------

TEST(BlockEdit, MovePasteDeleteKindScaleOnPlainKeys)
{
    const KeyList start = {{0, 1, 0}, {8, 2, 0}, {16, 3, 1}, {40, 4, 0}};
    std::string why;
    KeyList k = start;
    EXPECT_TRUE(move_keys_in(&k, 8, 24, 8, &why)); // 8 -> 16 while 16 -> 24: the block moves as one
    EXPECT_EQ(keys_text(k), "0=1/0 16=2/0 24=3/1 40=4/0 ");
    k = start;
    EXPECT_FALSE(move_keys_in(&k, 8, 24, 24, &why)); // 16 -> 40 lands on a key outside
    EXPECT_EQ(why, "another key sits on row 40");
    EXPECT_EQ(keys_text(k), keys_text(start));
    EXPECT_FALSE(move_keys_in(&k, 0, 8, -1, &why));
    EXPECT_EQ(keys_text(k), keys_text(start));

    const KeyList clip = {{0, 9, 2}, {8, 8, 3}};
    EXPECT_FALSE(paste_keys_at(&k, clip, 32, 16, false, &why)); // 40 taken
    EXPECT_EQ(why, "a key already sits on row 40");
    EXPECT_EQ(keys_text(k), keys_text(start));
    EXPECT_TRUE(paste_keys_at(&k, clip, 28, 16, false, &why)); // between: merged
    EXPECT_EQ(keys_text(k), "0=1/0 8=2/0 16=3/1 28=9/2 36=8/3 40=4/0 ");
    k = start;
    EXPECT_TRUE(paste_keys_at(&k, clip, 32, 16, true, &why)); // replacing rows 32..47
    EXPECT_EQ(keys_text(k), "0=1/0 8=2/0 16=3/1 32=9/2 40=8/3 ");

    k = start;
    EXPECT_EQ(count_keys_in(k, 8, 17), 2);
    EXPECT_EQ(set_kind_in(&k, 8, 17, 3), 2);
    EXPECT_EQ(scale_values_in(&k, 0, 9, 0.5f), 2);
    EXPECT_EQ(offset_values_in(&k, 40, 41, -4.0f), 1);
    EXPECT_EQ(keys_text(k), "0=0.5/0 8=1/3 16=3/3 40=0/0 ");
    EXPECT_EQ(delete_keys_in(&k, 1, 40), 2);
    EXPECT_EQ(keys_text(k), "0=0.5/0 40=0/0 ");
}

TEST(BlockEdit, EachBlockCommandIsOneUndoStepBackToTheOriginalBytes)
{
    Desk d(true, false);
    const std::string original = d.text();
    select_block(&d.editor, SCENE, 0, CLEAR_R, 32); // rows 0..32: three keys
    d.press(SDLK_DOWN, KMOD_LALT | KMOD_LSHIFT); // a beat later, both tracks
    EXPECT_EQ(d.editor.message, "move 3 keys in scene..clear.r 0:0, 33 rows a beat later");
    EXPECT_EQ(d.keys(SCENE), "8=1/0 64=2/0 128=3/0 ");
    EXPECT_EQ(d.keys(CLEAR_R), "8=10/1 40=20/0 ");
    EXPECT_EQ(d.text(), "track scene\n"
                        "  0:1   1   hold\n"
                        "  2:0   2   hold   # two\n"
                        "  4:0   3   hold\n"
                        "track clear.r\n"
                        "  0:1   10  linear\n"
                        "  1:1   20  hold\n"
                        "track clear.g\ntrack clear.b\ntrack clear.a\ntrack cam.rot\ntrack cam.dist\n"
                        "track cam.x\ntrack cam.y\ntrack cam.h\ntrack cam.hori\ntrack cam.scaleh\n"
                        "mark intro 0:2\nmark drop 3:0\nmark end 5:0\n");
    d.press(SDLK_k); // the kind after the first key's (hold): linear, for all
    EXPECT_EQ(d.keys(CLEAR_R), "8=10/1 40=20/1 ");
    d.press(SDLK_DELETE);
    EXPECT_EQ(d.keys(SCENE), "64=2/0 128=3/0 ");
    EXPECT_EQ(d.keys(CLEAR_R), "");
    EXPECT_EQ(d.editor.model.undo.size(), 3u);
    for (int i = 0; i < 3; i++)
        d.press(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(d.text(), original);
    EXPECT_EQ(d.editor.redo_names.size(), 3u);
    EXPECT_EQ(d.editor.message, "undo: move 3 keys in scene..clear.r 0:0, 33 rows a beat later");
}

TEST(BlockEdit, APastedBlockChangesExactlyItsLines)
{
    Desk d(true, false);
    const std::string original = d.text();
    select_block(&d.editor, SCENE, 0, CLEAR_R, 31); // one bar of two tracks
    d.press(SDLK_c, KMOD_LCTRL);
    d.at_row(128 + 8);
    d.press(SDLK_v, KMOD_LCTRL);
    EXPECT_EQ(d.editor.message, "paste 2 keys at scene..clear.r 4:1, 32 rows");
    EXPECT_EQ(d.text(), "track scene\n"
                        "  0:0   1   hold\n"
                        "  2:0   2   hold   # two\n"
                        "  4:0   3   hold\n"
                        "  4:1   1   hold\n"
                        "track clear.r\n"
                        "  0:0   10  linear\n"
                        "  1:0   20  hold\n"
                        "  4:1   10  linear\n"
                        "track clear.g\ntrack clear.b\ntrack clear.a\ntrack cam.rot\ntrack cam.dist\n"
                        "track cam.x\ntrack cam.y\ntrack cam.h\ntrack cam.hori\ntrack cam.scaleh\n"
                        "mark intro 0:2\nmark drop 3:0\nmark end 5:0\n");
    d.press(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(d.text(), original);
}

// ---- The curve view ------------------------------------------------------------------

// ---- The mouse: gestures through the command table -------------------------------------

// The output pixel of a time on the strip, of grid cell (track, row) with
// the grid's middle line at `cursor` (row -1: the column heads), of a key in
// the curve view.
SDL_Point strip_point(const Desk &d, double seconds)
{
    const SDL_Rect r = strip_rect(d.frame.w, d.frame.h);
    return {static_cast<int>(std::lround(strip_x_in(r, seconds, d.view.span))), r.y + r.h / 2};
}

SDL_Point grid_point(const Desk &d, int track, int32_t row, int32_t cursor)
{
    const SDL_Rect g = grid_rect_in(d.frame.w, d.frame.h, d.view.grid_top, d.view.curve_on);
    const int k = row < 0 ? -1 : grid_line_count(g, d.frame.line_h) / 2 + (row - cursor);
    const float col_w = (g.w - GRID_LABEL_W) / static_cast<float>(TIMELINE_TRACK_COUNT);
    return {static_cast<int>(g.x + GRID_LABEL_W + col_w * (track + 0.5f)),
            static_cast<int>(g.y + d.frame.line_h * (k + 1.5f))};
}

SDL_Point key_point(const Desk &d, const SyncKey &k)
{
    const SDL_Rect r = curve_rect_in(d.frame.w, d.frame.h);
    float lo = 0, hi = 1;
    curve_range_now(d.editor, d.view, d.gesture, &lo, &hi);
    return {static_cast<int>(std::lround(strip_x_in(r, k.row / 20.0, d.view.span))),
            static_cast<int>(std::lround(r.y + r.h - (k.value - lo) / (hi - lo) * r.h))};
}

TEST(Gestures, OnTheStripSeekLoopPanAndZoom)
{
    Desk d(false, false); // the strip shows 0..100 s; a beat is 0.4 s
    EXPECT_TRUE(d.mouse(GESTURE_PRESS, INPUT_LEFT, strip_point(d, 10.3)));
    EXPECT_DOUBLE_EQ(d.seconds, 10.4); // snapped to the beat
    d.mouse(GESTURE_MOVE, INPUT_LEFT, strip_point(d, 20.1), KMOD_LSHIFT); // Shift after the press: still snapped
    EXPECT_DOUBLE_EQ(d.seconds, 20.0);
    d.mouse(GESTURE_RELEASE, INPUT_LEFT, strip_point(d, 20.1));
    EXPECT_EQ(d.gesture.drag, HOLD_NONE);
    EXPECT_FALSE(d.mouse(GESTURE_MOVE, INPUT_LEFT, strip_point(d, 30.0))); // nothing held
    EXPECT_DOUBLE_EQ(d.seconds, 20.0);
    d.mouse(GESTURE_PRESS, INPUT_LEFT, strip_point(d, 30.0), KMOD_RSHIFT); // Shift at the press: not snapped
    EXPECT_NEAR(d.seconds, 30.0, 0.11);
    EXPECT_GT(std::fabs(d.seconds / 0.4 - std::round(d.seconds / 0.4)), 1e-6);
    EXPECT_FALSE(d.mouse(GESTURE_PRESS, INPUT_RIGHT, strip_point(d, 2.0))); // one drag at a time
    d.mouse(GESTURE_RELEASE, INPUT_LEFT, strip_point(d, 30.0));

    d.mouse(GESTURE_PRESS, INPUT_RIGHT, strip_point(d, 2.0)); // a loop, drawn right to left
    d.mouse(GESTURE_MOVE, INPUT_RIGHT, strip_point(d, 0.9));
    EXPECT_TRUE(gesture_holds_strip(d.gesture));
    d.mouse(GESTURE_RELEASE, INPUT_RIGHT, strip_point(d, 0.9));
    EXPECT_EQ(d.transport.loop.stage, 2);
    EXPECT_EQ(d.transport.loop.start_row, 16);
    EXPECT_EQ(d.transport.loop.end_row, 40);

    const SDL_Point at = strip_point(d, 50.0);
    d.mouse(GESTURE_PRESS, INPUT_MIDDLE, at); // pan: the view follows the pointer
    d.mouse(GESTURE_MOVE, INPUT_MIDDLE, SDL_Point{at.x - 94, at.y});
    d.mouse(GESTURE_RELEASE, INPUT_MIDDLE, SDL_Point{at.x - 94, at.y});
    const double per_pixel = 100.0 / strip_rect(d.frame.w, d.frame.h).w;
    EXPECT_DOUBLE_EQ(d.view.span.from, 94 * per_pixel);
    EXPECT_DOUBLE_EQ(d.view.span.to - d.view.span.from, 100.0);

    d.view.span = StripSpan{0.0, 100.0};
    d.mouse(GESTURE_TURN, INPUT_WHEEL, strip_point(d, 60.0), KMOD_NONE, 1); // zoom in around the pointer
    EXPECT_DOUBLE_EQ(d.view.span.to - d.view.span.from, 50.0);
    EXPECT_NEAR(strip_time_in(strip_rect(d.frame.w, d.frame.h), strip_point(d, 60.0).x, d.view.span), 60.0, 0.06);
    d.mouse(GESTURE_TURN, INPUT_WHEEL, SDL_Point{5, 5}, KMOD_LCTRL, -1); // off the strip: around the playhead
    EXPECT_DOUBLE_EQ(d.view.span.to - d.view.span.from, 100.0);
    const StripSpan zoomed = d.view.span;
    d.mouse(GESTURE_TURN, INPUT_WHEEL, SDL_Point{5, 5}, KMOD_LSHIFT, 1); // Shift: pan back a tenth
    EXPECT_DOUBLE_EQ(d.view.span.from, std::max(0.0, zoomed.from - 10.0));
    d.mouse(GESTURE_TURN, INPUT_WHEEL_SIDEWAYS, SDL_Point{5, 5}, KMOD_NONE, -1); // and on a tenth
    EXPECT_DOUBLE_EQ(d.view.span.from, std::max(0.0, zoomed.from - 10.0) + 10.0);

    d.view.hud_on = false; // no HUD: no strip to press on
    EXPECT_FALSE(d.mouse(GESTURE_PRESS, INPUT_LEFT, strip_point(d, 80.0)));
    EXPECT_EQ(d.gesture.drag, HOLD_NONE);
}

TEST(Gestures, OnTheGridSelectATrackALineAndABlock)
{
    Desk d(true, false); // the playhead at row 40
    d.view.grid_top = 40;
    d.mouse(GESTURE_PRESS, INPUT_LEFT, grid_point(d, CLEAR_R, -1, 40)); // a column head: the track only
    EXPECT_EQ(d.editor.column, CLEAR_R);
    EXPECT_EQ(d.row(), 40);
    EXPECT_EQ(d.gesture.drag, HOLD_NONE);
    d.mouse(GESTURE_PRESS, INPUT_LEFT, grid_point(d, SCENE, 42, 40)); // a line: its row
    EXPECT_EQ(d.editor.column, SCENE);
    EXPECT_EQ(d.row(), 42);
    d.mouse(GESTURE_MOVE, INPUT_LEFT, grid_point(d, CLEAR_R, 44, 42)); // a drag: the block
    d.mouse(GESTURE_RELEASE, INPUT_LEFT, grid_point(d, CLEAR_R, 44, 42));
    KeyBlock b;
    ASSERT_TRUE(editor_block(d.editor, &b));
    EXPECT_EQ(b.row0, 42);
    EXPECT_EQ(b.row1, 45);
    EXPECT_EQ(b.track0, SCENE);
    EXPECT_EQ(b.track1, CLEAR_R);
    EXPECT_EQ(d.row(), 42); // the playhead stays on the press's line
    EXPECT_EQ(d.gesture.drag, HOLD_NONE);
    d.press(SDLK_DELETE); // the block drawn is the block the keys edit
    EXPECT_EQ(d.editor.message, "no keys in the block scene..clear.r row 42, 3 rows");

    d.mouse(GESTURE_TURN, INPUT_WHEEL, grid_point(d, SCENE, 50, 42), KMOD_NONE, 1); // the strip zooms around the playhead
    EXPECT_DOUBLE_EQ(d.view.span.to - d.view.span.from, 50.0);
    d.press(SDLK_5); // a prompt open: the grid takes no click
    EXPECT_FALSE(d.mouse(GESTURE_PRESS, INPUT_LEFT, grid_point(d, CLEAR_R, 40, 42)));
    EXPECT_EQ(d.editor.column, SCENE);
}

TEST(Gestures, InTheCurveViewAKeyIsDraggedAsOneUndoStep)
{
    Desk d(false, true); // clear.r: 10 at row 0, 20 at row 32; the view 0..4 s
    d.view.span = StripSpan{0.0, 4.0};
    d.editor.column = CLEAR_R;
    const SyncKey key = d.editor.model.keys[CLEAR_R][1];
    const SDL_Point at = key_point(d, key);
    EXPECT_TRUE(d.mouse(GESTURE_PRESS, INPUT_LEFT, SDL_Point{at.x + 20, at.y})); // beside it: nothing
    EXPECT_EQ(d.gesture.drag, HOLD_NONE);
    d.mouse(GESTURE_PRESS, INPUT_LEFT, at);
    EXPECT_EQ(d.gesture.drag, HOLD_KEY);
    d.mouse(GESTURE_MOVE, INPUT_LEFT, SDL_Point{at.x + 100, at.y + 3}); // 0.43 s later: along time, to 1:1
    EXPECT_EQ(d.out.preview_track, CLEAR_R);
    EXPECT_EQ(keys_text(d.out.preview), "0=10/1 40=20/0 ");
    EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 32=20/0 "); // the editor's keys wait for the release
    d.mouse(GESTURE_RELEASE, INPUT_LEFT, SDL_Point{at.x + 100, at.y + 3});
    EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 40=20/0 ");
    EXPECT_EQ(d.out.save, SOURCE_EDITED);
    EXPECT_EQ(d.out.restore_track, CLEAR_R);
    EXPECT_EQ(d.editor.message, "drag clear.r 1:0 to 1:1");
    d.press(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(d.keys(CLEAR_R), "0=10/1 32=20/0 ");

    d.mouse(GESTURE_PRESS, INPUT_LEFT, at); // onto the key at row 0: refused
    d.mouse(GESTURE_MOVE, INPUT_LEFT, key_point(d, d.editor.model.keys[CLEAR_R][0]));
    d.mouse(GESTURE_RELEASE, INPUT_LEFT, at);
    EXPECT_EQ(d.editor.message, "refused: another key sits on row 0");
    EXPECT_EQ(d.out.save, SOURCE_UNCHANGED);
    EXPECT_EQ(d.out.restore_track, CLEAR_R);

    d.mouse(GESTURE_TURN, INPUT_WHEEL, at, KMOD_NONE, -1); // the wheel: the strip zooms out
    EXPECT_DOUBLE_EQ(d.view.span.to - d.view.span.from, 8.0);
    d.view.span = StripSpan{0.0, 4.0};
    d.refusal = "no source loaded"; // a key is not taken while the source cannot be edited
    d.mouse(GESTURE_PRESS, INPUT_LEFT, at);
    EXPECT_EQ(d.gesture.drag, HOLD_NONE);
    EXPECT_EQ(d.editor.message, "no source loaded");
}

TEST(CurveView, TheFirstPixelsChooseTheDragAxisCtrlFreesBoth)
{
    EXPECT_EQ(choose_drag_axis(DRAG_UNDECIDED, 3, -3, false), DRAG_UNDECIDED); // not yet 4 pixels
    EXPECT_EQ(choose_drag_axis(DRAG_UNDECIDED, -4, 3, false), DRAG_TIME);
    EXPECT_EQ(choose_drag_axis(DRAG_UNDECIDED, 3, -4, false), DRAG_VALUE);
    EXPECT_EQ(choose_drag_axis(DRAG_UNDECIDED, 5, 5, false), DRAG_TIME); // a tie goes to time
    EXPECT_EQ(choose_drag_axis(DRAG_TIME, 0, 80, false), DRAG_TIME);     // chosen once
    EXPECT_EQ(choose_drag_axis(DRAG_VALUE, 80, 0, false), DRAG_VALUE);
    EXPECT_EQ(choose_drag_axis(DRAG_TIME, 0, 0, true), DRAG_FREE);

    // A dragged value is rounded to about a hundredth of the range shown.
    EXPECT_EQ(round_to_range(412.34567, 0.0f, 500.0f), 412.0f);
    EXPECT_EQ(round_to_range(412.34567, 0.0f, 5000.0f), 410.0f);
    EXPECT_EQ(round_to_range(0.3456, 0.0f, 1.0f), 0.35f);
}

TEST(CurveView, TheValueRangeFitsTheKeysInViewOrTheWholeTrack)
{
    const KeyList keys = {{0, 0.0f, INTERP_LINEAR}, {100, 10.0f, INTERP_HOLD}, {400, 1000.0f, INTERP_HOLD}};
    float lo = 0, hi = 0;
    curve_value_range_in(keys, 0, 150, false, &lo, &hi); // 0..10 and 10 held at 150
    EXPECT_EQ(lo, -1.0f);
    EXPECT_EQ(hi, 11.0f);
    curve_value_range_in(keys, 50, 60, false, &lo, &hi); // no key: the values at the ends, 5 and 6
    EXPECT_EQ(lo, 4.9f);
    EXPECT_EQ(hi, 6.1f);
    curve_value_range_in(keys, 0, 150, true, &lo, &hi);
    EXPECT_EQ(lo, -100.0f);
    EXPECT_EQ(hi, 1100.0f);
    curve_value_range_in(KeyList{}, 0, 10, false, &lo, &hi);
    EXPECT_EQ(lo, -0.1f);
    EXPECT_EQ(hi, 1.1f);
}

// ---- The grid's cells ------------------------------------------------------------------

TEST(GridLayout, PointsMapToTracksAndLinesAroundTheCursor)
{
    // 14 lines of 20 pixels under the heads, the cursor's the 8th (index 7);
    // 12 columns of (944 - 64) / 12 = 73.3 pixels after the labels.
    const SDL_Rect grid{8, 100, 944, 300};
    int track = -1;
    int32_t row = 0;
    ASSERT_TRUE(grid_cell_at(grid, 20.0f, 12, 640, 4, 8 + 64 + 110, 100 + 20 + 7 * 20 + 5, &track, &row));
    EXPECT_EQ(track, 1);
    EXPECT_EQ(row, 640);
    ASSERT_TRUE(grid_cell_at(grid, 20.0f, 12, 640, 4, 951, 100 + 20 + 9 * 20, &track, &row));
    EXPECT_EQ(track, 11);
    EXPECT_EQ(row, 648); // two lines of 4 rows below
    ASSERT_TRUE(grid_cell_at(grid, 20.0f, 12, 4, 4, 100, 105, &track, &row));
    EXPECT_EQ(row, -1); // the heads
    ASSERT_TRUE(grid_cell_at(grid, 20.0f, 12, 4, 4, 100, 125, &track, &row));
    EXPECT_EQ(row, -1); // a line before row 0
    EXPECT_FALSE(grid_cell_at(grid, 20.0f, 12, 640, 4, 50, 265, &track, &row)); // the row labels
    EXPECT_FALSE(grid_cell_at(grid, 20.0f, 12, 640, 4, 500, 401, &track, &row)); // below

    const KeyBlock b = block_between(40, 32, 5, 3, 4); // either order; the later line included
    EXPECT_EQ(b.row0, 32);
    EXPECT_EQ(b.row1, 44);
    EXPECT_EQ(b.track0, 3);
    EXPECT_EQ(b.track1, 5);
}

// ---- The strip ---------------------------------------------------------------------

TEST(StripView, FollowsThePlayheadOnlyWhenItLeavesTheView)
{
    const StripSpan view{100.0, 110.0};
    // Zoomed away from the playhead at 20 s: the view stays, frame after frame.
    StripSpan s = follow_playhead(view, 20.0, 20.02, 175.0);
    EXPECT_EQ(s.from, 100.0);
    EXPECT_EQ(s.to, 110.0);
    // Playing past the right edge: the view pages on, the playhead a tenth in.
    s = follow_playhead(view, 109.99, 110.01, 175.0);
    EXPECT_DOUBLE_EQ(s.from, 109.01);
    EXPECT_DOUBLE_EQ(s.to, 119.01);
    // Inside, nothing moves; near the end the view stops at the end.
    s = follow_playhead(view, 105.0, 105.02, 175.0);
    EXPECT_EQ(s.from, 100.0);
    s = follow_playhead(StripSpan{160.0, 170.0}, 169.0, 174.0, 175.0);
    EXPECT_EQ(s.to, 175.0);
    EXPECT_EQ(s.from, 165.0);
    // Panning 70 s on stops at the end.
    s = pan_strip(view, 70.0, 175.0);
    EXPECT_EQ(s.from, 165.0);
    EXPECT_EQ(s.to, 175.0);
}

// ---- Snapshot names --------------------------------------------------------------------

TEST(SnapshotName, CarriesTheExactTimeCaptureNeeds)
{
    EXPECT_EQ(snapshot_name(20.0), "snapshot_00-20.000.png");
    EXPECT_EQ(snapshot_name(75.5), "snapshot_01-15.500.png");
    EXPECT_EQ(snapshot_name(-1.0), "snapshot_00-00.000.png");
    EXPECT_EQ(snapshot_name(19.9999999), "snapshot_00-19.9999999.png");
    // A time the player gives mid-play: MM * 60 + SS.fff reads back as it.
    const double t = 2738.0 / 44.1;
    const std::string name = snapshot_name(t);
    ASSERT_EQ(name.rfind("snapshot_01-02.", 0), 0u) << name;
    const std::string seconds = "62" + name.substr(14, name.size() - 14 - 4);
    EXPECT_EQ(std::stod(seconds), t) << name;
}

} // namespace
