// The studio's interface drawn headless (dummy video, the software renderer
// into a surface): the HUD, the key grid and the curve view on timelines the
// compiler accepts with many marks or keys; and which marks the strip shows.
#include <gtest/gtest.h>

#include <imgui.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scene_window.h"
#include "state/state.h"
#include "studio/studio_state.h"
#include "studio/view/grid.h"
#include "studio/view/hud.h"
#include "studio/view/ui_render.h"
#include "sync/track.h"

namespace {

// A source with every track, `keys` keys on cam.x (one a row) and `marks`
// marks with names of `name_length` characters, one a row from row 0.
std::string source_with(int marks, size_t name_length, int keys)
{
    std::string t;
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        t += std::string("track ") + TimelineTrackNames[i] + "\n";
        if (i == TRACK_SCENE)
            t += "  0 1 hold\n";
        if (std::string(TimelineTrackNames[i]) == "cam.x")
            for (int k = 0; k < keys; k++)
                t += "  " + std::to_string(k) + " " + std::to_string(k % 7) + " linear\n";
    }
    for (int m = 0; m < marks; m++)
        t += "mark " + std::string(name_length - 1, 'm') + static_cast<char>('a' + m % 26) + " " + std::to_string(m) +
             "\n";
    return t;
}

// Draws one interface frame of a studio on `text`: the panel and the strip
// showing the whole timeline, the grid and the curve view of cam.x.
void draw_frame_on(const std::string &text)
{
    SceneWindow window;
    ASSERT_TRUE(window.ok) << SDL_GetError();
    std::string error;
    ASSERT_TRUE(open_ui(renderer, &error)) << error;

    Studio s;
    s.live = true;
    ASSERT_TRUE(parse_timeline(text, "big.txt", &s.watch.timeline, &error)) << error;
    load_key_editor(&s.editor.model, text, s.watch.timeline);
    std::vector<SyncTrack> tracks(TRACK_COUNT);
    for (int t = 0; t < TRACK_COUNT; t++) {
        KeyList &keys = s.editor.model.keys[t];
        tracks[t] = SyncTrack{nullptr, keys.data(), static_cast<int32_t>(keys.size())};
        Tracks[t] = &tracks[t];
        if (std::string(TimelineTrackNames[t]) == "cam.x")
            s.editor.column = t;
    }
    int32_t last = 0;
    for (const TimelineMark &m : s.watch.timeline.marks)
        last = std::max(last, m.row);
    for (const KeyList &keys : s.editor.model.keys)
        last = keys.empty() ? last : std::max(last, keys.back().row);
    const double length = last / STUDIO_ROWS_PER_SECOND + 10.0; // the strip shows it all
    s.view.span = StripSpan{0.0, length};
    s.view.grid_on = s.view.curve_on = true;

    begin_ui_frame(renderer);
    const HudState hs{.seconds = 1.0, .time = {20.0f, 1600u}, .length = length, .span = s.view.span, .fps = 60.0,
                      .compact = true, .marks = &s.watch.timeline.marks};
    s.view.grid_top = static_cast<int>(draw_hud(hs)) + 4;
    // What the HUD drew is a run of quads (rectangles, and one a glyph). The
    // text inside the strip, scene names and mark names, is what its width
    // can show without overlaps: at most one line of each across it.
    const ImDrawList *dl = ImGui::GetBackgroundDrawList();
    const ImVec2 white = ImGui::GetIO().Fonts->TexUvWhitePixel;
    const SDL_Rect strip = strip_rect(WINDOW_W, WINDOW_H);
    int glyphs = 0;
    for (int i = 0; i + 3 < dl->VtxBuffer.Size; i += 4) {
        const ImDrawVert &v = dl->VtxBuffer[i];
        const float y = (v.pos.y + dl->VtxBuffer[i + 2].pos.y) / 2;
        glyphs += (v.uv.x != white.x || v.uv.y != white.y) && y > strip.y && y < strip.y + strip.h;
    }
    EXPECT_LE(glyphs * ImGui::CalcTextSize("M").x, 2.0f * strip.w) << glyphs << " glyphs in the strip";
    draw_grid(s, 1.0);
    draw_curve(s, 1.0);
    end_ui_frame(renderer); // ImGui checks its draw lists here
    EXPECT_GT(ImGui::GetDrawData()->TotalVtxCount, 0);

    for (SyncTrack *&t : Tracks)
        t = nullptr;
    close_ui();
}

// Each of these once stopped the studio at its first frame: ImGui's check
// of a draw list's 16-bit indices failed.
TEST(StudioDraw, AFrameDrawsWithThreeThousandTwoCharacterMarks)
{
    draw_frame_on(source_with(3000, 2, 0));
}

TEST(StudioDraw, AFrameDrawsWithThreeHundredMarksOfHundredCharacterNames)
{
    draw_frame_on(source_with(300, 100, 0));
}

TEST(StudioDraw, AFrameDrawsWithSixtyThousandKeysInTheCurveView)
{
    draw_frame_on(source_with(0, 1, 60000));
}

// 20,000 squares of 3 x 3 pixels, 80,000 vertices in one list: each lands
// where it was put in its own colour, those after the first 65,536 vertices
// too (drawn from their command's vertex offset).
TEST(StudioDraw, AListPastItsSixteenBitIndicesDrawsEveryShape)
{
    SceneWindow window;
    ASSERT_TRUE(window.ok) << SDL_GetError();
    std::string error;
    ASSERT_TRUE(open_ui(renderer, &error)) << error;
    const auto colour = [](int i) { return static_cast<uint32_t>((i & 255) << 16 | (i >> 8) << 8 | 200); };
    const auto corner = [](int i) { return ImVec2(static_cast<float>(i % 600 * 3), static_cast<float>(i / 600 * 3)); };
    begin_ui_frame(renderer);
    ImDrawList *dl = ImGui::GetBackgroundDrawList();
    for (int i = 0; i < 20000; i++) {
        const ImVec2 p = corner(i);
        const uint32_t c = colour(i);
        dl->AddRectFilled(p, ImVec2(p.x + 3, p.y + 3), IM_COL32(c >> 16, (c >> 8) & 255, c & 255, 255));
    }
    end_ui_frame(renderer);
    for (int i : {0, 599, 16383, 16384, 16385, 19999}) {
        const ImVec2 p = corner(i);
        EXPECT_EQ(window.pixel(static_cast<int>(p.x) + 1, static_cast<int>(p.y) + 1), colour(i)) << "square " << i;
    }
    close_ui();
}

TEST(StripMarks, OneFlagAColumnAndOnlyNamesThatClearTheNameBefore)
{
    // 10 pixels a second, 4 pixels a character.
    const SDL_Rect strip{0, 0, 100, 30};
    std::vector<TimelineMark> marks;
    for (const auto &[name, row] : std::vector<std::pair<const char *, int32_t>>{
             {"neg", -20}, {"aa", 0}, {"ab", 1}, {"c", 20}, {"bbbbbbbbbb", 40}, {"end", 200}, {"past", 220}})
        marks.push_back(TimelineMark{name, row, 0});
    std::vector<StripMarkShown> shown;
    place_strip_marks(strip, StripSpan{0.0, 10.0}, marks,
                      [](const std::string &name) { return 4.0f * static_cast<float>(name.size()); }, &shown);
    std::string got;
    for (const StripMarkShown &m : shown)
        got += marks[m.mark].name + "@" + std::to_string(static_cast<int>(m.x)) + (m.label ? "+name " : " ");
    // "ab" shares the column of "aa"; "c" is inside the backing of "aa"
    // (0 + 8 + 6 pixels); "neg" and "past" are outside the span.
    EXPECT_EQ(got, "aa@0+name c@10 bbbbbbbbbb@20+name end@100+name ");
}

} // namespace
