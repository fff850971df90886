// grid.cpp - the key grid (one column per track, one line per grid step
// around the playhead) and the curve view of the selected track.
#include "studio/view/grid.h"

#include <imgui.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "base/convert.h"
#include "state/state.h"
#include "sync/device.h"
#include "sync/track.h"
#include "text/overlay.h"
#include "studio/view/view.h"
#include "studio/command_frame.h"
#include "studio/editor/play_keys.h"
#include "studio/studio_state.h"
#include "studio/view/grid_layout.h"
#include "studio/view/hud.h"

static const char KIND_LETTERS[] = "hlsq"; // hold, linear, smooth, quadratic

SDL_Rect grid_rect(const Studio &s, int w, int h)
{
    return grid_rect_in(w, h, s.view.grid_top, s.view.curve_on);
}

// Text that fits `width` pixels, cut with "~".
static std::string fit(std::string text, float width)
{
    while (!text.empty() && ImGui::CalcTextSize(text.c_str()).x > width)
        text.pop_back();
    return text;
}

static std::string value_text(int track, float value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
    std::string out = text;
    if (track == TRACK_SCENE) {
        out += " ";
        out += scene_name(to_int32(value));
    } else if (track == TRACK_CLEAR_A) {
        const OverlayLine *line = find_caption(shown_captions(), to_int32(value));
        if (line) {
            out += " ";
            out += line->text;
        }
    }
    return out;
}

// Colours of the grid: the selected cell and the playhead's line stand out
// on any picture; values between keys are dimmer but still read on the
// grid's dark backing.
static const ImU32 GRID_BG = IM_COL32(0, 0, 0, 210);
static const ImU32 COLUMN_BG = IM_COL32(40, 70, 150, 120);
static const ImU32 PLAYHEAD_BG = IM_COL32(255, 255, 255, 70);
static const ImU32 PLAYHEAD_EDGE = IM_COL32(255, 255, 255, 255);
static const ImU32 CELL_BG = IM_COL32(255, 214, 0, 255);
static const ImU32 CELL_TEXT = IM_COL32(0, 0, 0, 255);
static const ImU32 BLOCK_BG = IM_COL32(70, 150, 255, 90);
static const ImU32 BLOCK_EDGE = IM_COL32(120, 190, 255, 255);
static const ImU32 KEY_TEXT = IM_COL32(255, 255, 255, 255);
static const ImU32 KIND_TEXT = IM_COL32(255, 200, 80, 255);
static const ImU32 BETWEEN_TEXT = IM_COL32(175, 175, 175, 255);
static const ImU32 UNREAD_TEXT = IM_COL32(255, 210, 80, 255);

namespace {

// The grid's frame: its rectangle, the width of a track's column, the height
// of a line and the rows one line spans.
struct GridLayout {
    SDL_Rect r;
    float col_w, lh;
    int step;
};

// One line of the grid: its row, where it is drawn and what falls on it.
struct GridLine {
    int32_t row;
    float y;
    bool centre;         // the playhead's line
    bool on_beat, on_bar;
    int32_t beat_row;    // the beat's row, when on_beat
};

} // namespace

// Column heads; the selected one highlighted. The heads of the tracks the
// scenes declare follow, marked "+", and one that no code reads says so in
// the warning colour.
static void add_column_heads(ImDrawList *dl, const GridLayout &g, int column,
                             const std::vector<TrackDeclaration> &declared)
{
    const SDL_Rect &r = g.r;
    for (int t = 0; t < TIMELINE_TRACK_COUNT + static_cast<int>(declared.size()); t++) {
        const float x = r.x + GRID_LABEL_W + t * g.col_w;
        if (t == column)
            dl->AddRectFilled(ImVec2(x, r.y), ImVec2(x + g.col_w, r.y + r.h), COLUMN_BG);
        std::string head = TimelineTrackNames[std::min(t, TIMELINE_TRACK_COUNT - 1)];
        ImU32 colour = t == column ? KEY_TEXT : IM_COL32(170, 180, 200, 255);
        if (t >= TIMELINE_TRACK_COUNT) {
            const TrackDeclaration &d = declared[static_cast<size_t>(t - TIMELINE_TRACK_COUNT)];
            head = "+" + d.name + (d.read ? "" : " (unread)");
            colour = d.read ? colour : UNREAD_TEXT;
        }
        dl->AddText(ImVec2(x + 3, r.y), colour, fit(head, g.col_w - 4).c_str());
    }
}

// A declared track's cell: its key's value and kind, or the value the
// device's track gives between keys, once a beat.
static void add_declared_cell(ImDrawList *dl, const GridLayout &g, const GridLine &l, int column,
                              const TimelineTrack *keys, const SyncTrack *track)
{
    const float x = g.r.x + GRID_LABEL_W + column * g.col_w;
    const int i = keys ? key_on_line_of(keys->keys, l.row, g.step) : -1;
    if (i >= 0) {
        const SyncKey &key = keys->keys[static_cast<size_t>(i)];
        const char kind = key.kind >= 0 && key.kind < 4 ? KIND_LETTERS[key.kind] : '?';
        const float kw = ImGui::CalcTextSize("h").x;
        dl->AddRectFilled(ImVec2(x + 1, l.y), ImVec2(x + g.col_w - 1, l.y + g.lh), IM_COL32(255, 255, 255, 40));
        dl->AddText(ImVec2(x + 3, l.y), KEY_TEXT, fit(value_text(-1, key.value), g.col_w - kw - 8).c_str());
        const char kt[2] = {kind, 0};
        dl->AddText(ImVec2(x + g.col_w - kw - 3, l.y), KIND_TEXT, kt);
    } else if (track && l.on_beat) {
        const double v = track_value_at(track, l.row);
        dl->AddText(ImVec2(x + 3, l.y), BETWEEN_TEXT, fit(value_text(-1, static_cast<float>(v)), g.col_w - 6).c_str());
    }
}

// The declared tracks' cells of a line, from the timeline's sections for
// them and the device's tracks of their names.
static void add_declared_cells(ImDrawList *dl, const Studio &s, const GridLayout &g, const GridLine &l, size_t from)
{
    for (size_t d = from; d < s.declared.size(); d++) {
        const std::string &name = s.declared[d].name;
        const TimelineTrack *keys = nullptr;
        for (const TimelineTrack &t : s.watch.timeline.declared)
            if (t.name == name)
                keys = &t;
        const int at = Sync ? find_track(Sync, name.c_str()) : -1;
        add_declared_cell(dl, g, l, TIMELINE_TRACK_COUNT + static_cast<int>(d), keys,
                          at >= 0 ? Sync->tracks[at] : nullptr);
    }
}

// The part of the marked block on a line: its band, its sides, and its top
// and bottom edges on its first and last lines.
static void add_block_part(ImDrawList *dl, const GridLayout &g, const KeyBlock &block, const GridLine &l)
{
    const float x0 = g.r.x + GRID_LABEL_W + block.track0 * g.col_w;
    const float x1 = g.r.x + GRID_LABEL_W + (block.track1 + 1) * g.col_w;
    const float y = l.y, lh = g.lh;
    dl->AddRectFilled(ImVec2(x0, y), ImVec2(x1, y + lh), BLOCK_BG);
    dl->AddRectFilled(ImVec2(x0, y), ImVec2(x0 + 2, y + lh), BLOCK_EDGE);
    dl->AddRectFilled(ImVec2(x1 - 2, y), ImVec2(x1, y + lh), BLOCK_EDGE);
    if (l.row <= block.row0)
        dl->AddRectFilled(ImVec2(x0, y), ImVec2(x1, y + 2), BLOCK_EDGE);
    if (l.row + g.step >= block.row1)
        dl->AddRectFilled(ImVec2(x0, y + lh - 2), ImVec2(x1, y + lh), BLOCK_EDGE);
}

// The playhead's band, or a bar's or a beat's rule, and the line's label:
// bar and beat on a beat's row, the row number elsewhere.
static void add_line_rule(ImDrawList *dl, const GridLayout &g, const GridLine &l, const TimelineTempo &tempo)
{
    const SDL_Rect &r = g.r;
    const float y = l.y, lh = g.lh;
    if (l.centre) {
        dl->AddRectFilled(ImVec2(r.x, y), ImVec2(r.x + r.w, y + lh), PLAYHEAD_BG);
        dl->AddRectFilled(ImVec2(r.x, y - 1), ImVec2(r.x + r.w, y + 1), PLAYHEAD_EDGE);
        dl->AddRectFilled(ImVec2(r.x, y + lh - 1), ImVec2(r.x + r.w, y + lh + 1), PLAYHEAD_EDGE);
    } else if (l.on_bar) {
        dl->AddRectFilled(ImVec2(r.x, y), ImVec2(r.x + r.w, y + 1), IM_COL32(255, 255, 255, 110));
    } else if (l.on_beat) {
        dl->AddRectFilled(ImVec2(r.x + GRID_LABEL_W, y), ImVec2(r.x + r.w, y + 1), IM_COL32(255, 255, 255, 40));
    }
    char label[32];
    if (l.on_beat && l.beat_row == l.row)
        std::snprintf(label, sizeof label, "%s", bar_beat(l.row, tempo).c_str());
    else
        std::snprintf(label, sizeof label, "  %d", l.row);
    dl->AddText(ImVec2(r.x + 3, y), l.on_bar || l.centre ? KEY_TEXT : IM_COL32(150, 150, 150, 255), label);
}

// Track t's cell on a line: the text being typed into the selected cell, a
// key's value and curve kind, or the value between keys once a beat.
static void add_cell(ImDrawList *dl, const EditorState &e, const GridLayout &g, const GridLine &l, int t)
{
    const float x = g.r.x + GRID_LABEL_W + t * g.col_w;
    const float y = l.y, lh = g.lh, col_w = g.col_w;
    const bool selected = l.centre && t == e.column;
    if (selected && e.typing) {
        dl->AddRectFilled(ImVec2(x, y), ImVec2(x + col_w, y + lh), IM_COL32(250, 250, 250, 255));
        const std::string shown = (e.typing_for == TYPING_SCALE ? "x " : e.typing_for == TYPING_PLACE ? "go to " : "") +
                                  e.typed + "_";
        dl->AddText(ImVec2(x + 3, y), CELL_TEXT, fit(shown, col_w - 4).c_str());
        return;
    }
    if (selected)
        dl->AddRectFilled(ImVec2(x, y), ImVec2(x + col_w, y + lh), CELL_BG);
    const int i = key_on_line_of(e.model.keys[t], l.row, g.step);
    if (i >= 0) {
        const SyncKey &key = e.model.keys[t][static_cast<size_t>(i)];
        const char kind = key.kind >= 0 && key.kind < 4 ? KIND_LETTERS[key.kind] : '?';
        const float kw = ImGui::CalcTextSize("h").x;
        if (!selected)
            dl->AddRectFilled(ImVec2(x + 1, y), ImVec2(x + col_w - 1, y + lh), IM_COL32(255, 255, 255, 40));
        dl->AddText(ImVec2(x + 3, y), selected ? CELL_TEXT : KEY_TEXT,
                    fit(value_text(t, key.value), col_w - kw - 8).c_str());
        const char kt[2] = {kind, 0};
        dl->AddText(ImVec2(x + col_w - kw - 3, y), selected ? CELL_TEXT : KIND_TEXT, kt);
    } else if (const SyncTrack *live = playing_track(e.model, t); live && (l.on_beat || selected)) { // between keys, once a beat
        const double v = track_value_at(live, l.row);
        dl->AddText(ImVec2(x + 3, y), selected ? CELL_TEXT : BETWEEN_TEXT,
                    fit(value_text(t, static_cast<float>(v)), col_w - 6).c_str());
    }
}

void draw_grid(const Studio &s, double seconds)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    const SDL_Rect r = grid_rect(s, w, h);
    const float lh = ImGui::GetTextLineHeight();
    const int lines = grid_line_count(r, lh);
    if (lines < 3)
        return;
    const EditorState &e = s.editor;
    ImDrawList *dl = ImGui::GetBackgroundDrawList();
    const int first_vertex = dl->VtxBuffer.Size;
    const int columns = TIMELINE_TRACK_COUNT + static_cast<int>(s.declared.size());
    // The declared tracks the editor holds draw as its own; those it does
    // not hold yet (names read, the file not yet parsed with them) from the
    // last parse.
    const bool held = std::ranges::equal(s.declared, e.model.declared, {}, &TrackDeclaration::name);
    const int edited = held ? static_cast<int>(e.model.keys.size()) : TIMELINE_TRACK_COUNT;
    const GridLayout g{r, (r.w - GRID_LABEL_W) / static_cast<float>(columns), lh, editor_rows_per_line(e)};
    dl->AddRectFilled(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), GRID_BG);
    add_column_heads(dl, g, e.column, s.declared);

    const TimelineTempo &tempo = editor_tempo(e);
    const int32_t here = editor_cursor_row(e, seconds);
    const int centre = lines / 2;
    KeyBlock block;
    const bool has_block = editor_block(e, &block);
    for (int k = 0; k < lines; k++) {
        const int64_t row64 = static_cast<int64_t>(here) + static_cast<int64_t>(k - centre) * g.step;
        if (row64 < 0 || row64 > INT32_MAX)
            continue;
        GridLine l{static_cast<int32_t>(row64), r.y + lh + k * lh, k == centre, false, false, 0};
        // A beat's line is the one holding the beat's row (the nearest row
        // to the beat's true time when a beat is not a whole number of rows).
        l.on_beat = line_beat(tempo, l.row, g.step, &l.on_bar, &l.beat_row);
        if (has_block && l.row < block.row1 && l.row + g.step > block.row0)
            add_block_part(dl, g, block, l);
        add_line_rule(dl, g, l, tempo);
        for (int t = 0; t < edited; t++)
            add_cell(dl, e, g, l, t);
        add_declared_cells(dl, s, g, l, static_cast<size_t>(edited - TIMELINE_TRACK_COUNT));
    }
    float y0 = 0, y1 = 0;
    if (caption_band(w, h, &y0, &y1))
        fade_in_band(dl, first_vertex, y0, y1);
}

void draw_curve(const Studio &s, double seconds)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    const SDL_Rect r = curve_rect_in(w, h);
    const EditorState &e = s.editor;
    const StripSpan span = s.view.span;
    ImDrawList *dl = ImGui::GetBackgroundDrawList();
    const int first_vertex = dl->VtxBuffer.Size;
    dl->AddRectFilled(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), GRID_BG);
    const int t = e.column;
    const SyncTrack *const live = playing_track(e.model, t);
    float lo = 0, hi = 1;
    curve_range_now(s.editor, s.view, s.gesture, &lo, &hi);
    const auto y_of = [&](double v) { return static_cast<float>(r.y + r.h - (v - lo) / (hi - lo) * r.h); };
    dl->PushClipRect(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h));
    const float px = strip_x_in(r, seconds, span);
    dl->AddRectFilled(ImVec2(px - 1, r.y), ImVec2(px + 1, r.y + r.h), IM_COL32(255, 255, 255, 160));
    // The value as the frame reads it, two pixels a step.
    ImVec2 prev;
    for (int c = 0; c <= r.w; c += 2) {
        const double sec = span.from + (span.to - span.from) * c / r.w;
        const double v = live ? track_value_at(live, static_cast<double>(static_cast<float>(sec * STUDIO_ROWS_PER_SECOND))) : 0.0;
        const ImVec2 p(static_cast<float>(r.x + c), y_of(v));
        if (c > 0)
            dl->AddLine(prev, p, IM_COL32(120, 220, 255, 255));
        prev = p;
    }
    // The keys in view, from the first one there; keys on the same pixel
    // draw as one square, so a dense track costs what the view can show.
    if (live) {
        const double margin = 4.0 * (span.to - span.from) / std::max(r.w, 1);
        const double first_row = std::floor((span.from - margin) * STUDIO_ROWS_PER_SECOND);
        const SyncKey *k = std::lower_bound(live->keys, live->keys + live->key_count, first_row,
                                            [](const SyncKey &key, double row) { return key.row < row; });
        int last_x = INT_MIN, last_y = INT_MIN;
        for (; k != live->keys + live->key_count; ++k) {
            const float x = strip_x_in(r, k->row / STUDIO_ROWS_PER_SECOND, span);
            if (x > r.x + r.w + 4)
                break;
            const float y = y_of(k->value);
            if (x < r.x - 4 || !(std::fabs(y) < 1e6f) ||
                (static_cast<int>(x) == last_x && static_cast<int>(y) == last_y))
                continue;
            last_x = static_cast<int>(x);
            last_y = static_cast<int>(y);
            dl->AddRectFilled(ImVec2(x - 3, y - 3), ImVec2(x + 3, y + 3), IM_COL32(255, 200, 80, 255));
        }
    }
    dl->PopClipRect();
    char label[128];
    std::snprintf(label, sizeof label, "%s  %.4g .. %.4g  (%s)", TimelineTrackNames[t], static_cast<double>(lo),
                  static_cast<double>(hi), s.view.curve_whole ? "whole track, F: in view" : "in view, F: whole track");
    dl->AddText(ImVec2(r.x + 4, r.y + 2), IM_COL32(220, 220, 220, 255), label);
    if (s.gesture.drag == HOLD_KEY) { // where the held key is: BAR:BEAT, row and value
        const SyncKey &k = s.gesture.now;
        const DragAxis a = s.gesture.axis;
        const char *axis = a == DRAG_TIME ? "time" : a == DRAG_VALUE ? "value" : a == DRAG_FREE ? "free" : "";
        std::snprintf(label, sizeof label, "%s  row %d  value %.6g  %s", bar_beat(k.row, editor_tempo(s.editor)).c_str(), k.row,
                      static_cast<double>(k.value), axis);
        const float x = std::clamp(strip_x_in(r, k.row / STUDIO_ROWS_PER_SECOND, span) + 8.0f, static_cast<float>(r.x),
                                   static_cast<float>(r.x + r.w) - ImGui::CalcTextSize(label).x - 4);
        const float y = std::clamp(y_of(k.value) - 20.0f, static_cast<float>(r.y), static_cast<float>(r.y + r.h - 16));
        const ImVec2 size = ImGui::CalcTextSize(label);
        dl->AddRectFilled(ImVec2(x - 2, y), ImVec2(x + size.x + 2, y + size.y), IM_COL32(0, 0, 0, 230));
        dl->AddText(ImVec2(x, y), IM_COL32(255, 230, 120, 255), label);
        return; // a held key is drawn in full
    }
    float y0 = 0, y1 = 0;
    if (caption_band(w, h, &y0, &y1))
        fade_in_band(dl, first_vertex, y0, y1);
}
