// grid.cpp - the key grid (one column per track, one line per grid step
// around the playhead) and the curve view of the selected track.
#include "studio/studio.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/convert.h"
#include "state/state.h"
#include "sync/track.h"
#include "text/overlay.h"

constexpr int GRID_MARGIN = 8;
constexpr float LABEL_W = 64.0f; // the row labels
constexpr int CURVE_H = 120;

static const char KIND_LETTERS[] = "hlsq"; // hold, linear, smooth, quadratic

SDL_Rect curve_rect(const Studio &s, int w, int h)
{
    (void)s;
    const SDL_Rect strip = strip_rect(w, h);
    return SDL_Rect{strip.x, strip.y - 24 - CURVE_H, strip.w, CURVE_H};
}

SDL_Rect grid_rect(const Studio &s, int w, int h)
{
    const SDL_Rect strip = strip_rect(w, h);
    int bottom = strip.y - 24;
    if (s.curve_on)
        bottom -= CURVE_H + 4;
    const int gh = bottom - s.grid_top;
    return SDL_Rect{GRID_MARGIN, s.grid_top, w - 2 * GRID_MARGIN, gh > 0 ? gh : 0};
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
        const OverlayLine *line = find_overlay_line(to_int32(value));
        if (line) {
            out += " ";
            out += line->text;
        }
    }
    return out;
}

// The number of lines the grid shows in `r`, the playhead's in the middle.
static int grid_lines(const SDL_Rect &r, float lh)
{
    return static_cast<int>((r.h - lh) / lh);
}

bool grid_hit(const Studio &s, int x, int y, double seconds, int *column, int32_t *row)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    const SDL_Rect r = grid_rect(s, w, h);
    const SDL_Point p = {x, y};
    const float lh = ImGui::GetTextLineHeight();
    const int lines = grid_lines(r, lh);
    if (lines < 3 || !SDL_PointInRect(&p, &r) || x < r.x + LABEL_W)
        return false;
    const float col_w = (r.w - LABEL_W) / static_cast<float>(TIMELINE_TRACK_COUNT);
    *column = std::min(TIMELINE_TRACK_COUNT - 1, static_cast<int>((x - r.x - LABEL_W) / col_w));
    const int k = static_cast<int>(std::floor((y - r.y - lh) / lh));
    *row = k < 0 || k >= lines ? -1 : cursor_row(s, seconds) + (k - lines / 2) * grid_rows(s);
    return true;
}

void draw_grid(const Studio &s, double seconds)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    const SDL_Rect r = grid_rect(s, w, h);
    const float lh = ImGui::GetTextLineHeight();
    const int lines = grid_lines(r, lh);
    if (lines < 3)
        return;
    ImDrawList *dl = ImGui::GetBackgroundDrawList();
    const float col_w = (r.w - LABEL_W) / static_cast<float>(TIMELINE_TRACK_COUNT);
    dl->AddRectFilled(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), IM_COL32(0, 0, 0, 185));

    // Column heads; the selected one highlighted.
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        const float x = r.x + LABEL_W + t * col_w;
        if (t == s.column)
            dl->AddRectFilled(ImVec2(x, r.y), ImVec2(x + col_w, r.y + r.h), IM_COL32(60, 80, 140, 110));
        dl->AddText(ImVec2(x + 3, r.y), t == s.column ? IM_COL32(255, 255, 255, 255) : IM_COL32(170, 180, 200, 255),
                    fit(TimelineTrackNames[t], col_w - 4).c_str());
    }

    const int step = grid_rows(s);
    const int32_t here = cursor_row(s, seconds);
    const int centre = lines / 2;
    for (int k = 0; k < lines; k++) {
        const int32_t row = here + (k - centre) * step;
        if (row < 0)
            continue;
        const float y = r.y + lh + k * lh;
        const bool on_beat = row % ROWS_PER_BEAT < step;
        const bool on_bar = row % ROWS_PER_BAR < step;
        if (k == centre)
            dl->AddRectFilled(ImVec2(r.x, y), ImVec2(r.x + r.w, y + lh), IM_COL32(255, 255, 255, 55));
        if (on_bar)
            dl->AddRectFilled(ImVec2(r.x, y), ImVec2(r.x + r.w, y + 1), IM_COL32(255, 255, 255, 110));
        else if (on_beat)
            dl->AddRectFilled(ImVec2(r.x + LABEL_W, y), ImVec2(r.x + r.w, y + 1), IM_COL32(255, 255, 255, 40));
        char label[32];
        if (on_beat && row % ROWS_PER_BEAT == 0)
            std::snprintf(label, sizeof label, "%s", bar_beat(row).c_str());
        else
            std::snprintf(label, sizeof label, "  %d", row);
        dl->AddText(ImVec2(r.x + 3, y), on_bar || k == centre ? IM_COL32(255, 255, 255, 255) : IM_COL32(150, 150, 150, 255),
                    label);

        for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
            const float x = r.x + LABEL_W + t * col_w;
            if (k == centre && t == s.column && s.typing) {
                dl->AddRectFilled(ImVec2(x, y), ImVec2(x + col_w, y + lh), IM_COL32(250, 250, 250, 255));
                dl->AddText(ImVec2(x + 3, y), IM_COL32(0, 0, 0, 255), fit(s.typed + "_", col_w - 4).c_str());
                continue;
            }
            const int i = key_on_line(s, t, row);
            if (i >= 0) {
                const SyncKey &key = s.editor.keys[t][i];
                const char kind = key.kind >= 0 && key.kind < 4 ? KIND_LETTERS[key.kind] : '?';
                const float kw = ImGui::CalcTextSize("h").x;
                dl->AddRectFilled(ImVec2(x + 1, y), ImVec2(x + col_w - 1, y + lh), IM_COL32(255, 255, 255, 40));
                dl->AddText(ImVec2(x + 3, y), IM_COL32(255, 255, 255, 255),
                            fit(value_text(t, key.value), col_w - kw - 8).c_str());
                const char kt[2] = {kind, 0};
                dl->AddText(ImVec2(x + col_w - kw - 3, y), IM_COL32(255, 200, 80, 255), kt);
            } else if (Tracks[t] && on_beat) { // between keys, faintly, once a beat
                const double v = track_value_at(Tracks[t], row);
                dl->AddText(ImVec2(x + 3, y), IM_COL32(200, 200, 200, 70),
                            fit(value_text(t, static_cast<float>(v)), col_w - 6).c_str());
            }
        }
    }
}

void draw_curve(const Studio &s)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    const SDL_Rect r = curve_rect(s, w, h);
    ImDrawList *dl = ImGui::GetBackgroundDrawList();
    dl->AddRectFilled(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), IM_COL32(0, 0, 0, 185));
    const int t = s.column;
    const KeyList &keys = s.editor.keys[t];
    float lo = 0, hi = 1;
    curve_value_range(s.key_drag ? s.drag_before : keys, &lo, &hi);
    const auto y_of = [&](double v) { return static_cast<float>(r.y + r.h - (v - lo) / (hi - lo) * r.h); };
    dl->PushClipRect(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h));
    // The value as the frame reads it, two pixels a step.
    ImVec2 prev;
    for (int c = 0; c <= r.w; c += 2) {
        const double sec = s.span.from + (s.span.to - s.span.from) * c / r.w;
        const double v = Tracks[t] ? track_value_at(Tracks[t], static_cast<double>(static_cast<float>(sec * STUDIO_ROWS_PER_SECOND))) : 0.0;
        const ImVec2 p(static_cast<float>(r.x + c), y_of(v));
        if (c > 0)
            dl->AddLine(prev, p, IM_COL32(120, 220, 255, 255));
        prev = p;
    }
    const SyncTrack *live = Tracks[t];
    if (live)
        for (int32_t i = 0; i < live->key_count; i++) {
            const float x = strip_x_in(r, live->keys[i].row / STUDIO_ROWS_PER_SECOND, s.span);
            if (x < r.x - 4 || x > r.x + r.w + 4)
                continue;
            const float y = y_of(live->keys[i].value);
            dl->AddRectFilled(ImVec2(x - 3, y - 3), ImVec2(x + 3, y + 3), IM_COL32(255, 200, 80, 255));
        }
    dl->PopClipRect();
    char label[96];
    std::snprintf(label, sizeof label, "%s  %.4g .. %.4g", TimelineTrackNames[t], static_cast<double>(lo),
                  static_cast<double>(hi));
    dl->AddText(ImVec2(r.x + 4, r.y + 2), IM_COL32(200, 200, 200, 255), label);
}
