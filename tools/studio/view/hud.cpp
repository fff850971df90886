// hud.cpp - the HUD's panel of values, the help line, the timeline strip and
// the error box, as shapes and text on ImGui's background draw list.
#include "studio/view/hud.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/frame.h"
#include "base/convert.h"
#include "scenes/scene_table.h"
#include "state/state.h"
#include "sync/device.h"
#include "sync/track.h"
#include "text/overlay.h"
#include "studio/editor/commands.h"
#include "studio/view/view.h"
#include "studio/view/waveform.h"

constexpr float PANEL_X = 8.0f, PANEL_Y = 8.0f, PANEL_PAD = 4.0f;
constexpr size_t ERROR_LINES_SHOWN = 10;

static ImU32 rgba(int r, int g, int b, int a = 255)
{
    return IM_COL32(r, g, b, a);
}

static const ImU32 TEXT = rgba(235, 235, 235);
static const ImU32 DIM = rgba(160, 170, 190);
static const ImU32 WARN = rgba(255, 210, 80);
static const ImU32 MARK = rgba(120, 230, 255);
static const ImU32 PANEL_BG = rgba(0, 0, 0, 170);

// Scene colours, one per scene (a ninth takes the first again); grey for no
// scene.
static const ImU32 SCENE_COLOURS[] = {
    rgba(70, 140, 70),  rgba(190, 80, 160), rgba(200, 170, 60), rgba(60, 160, 190),
    rgba(110, 90, 210), rgba(220, 90, 40),  rgba(40, 190, 130), rgba(150, 150, 60),
};
static const ImU32 NO_SCENE = rgba(70, 70, 70);

// ---- Text helpers -----------------------------------------------------------

std::string format_clock(double seconds)
{
    if (!(seconds > 0.0))
        seconds = 0.0;
    const long long ms = std::llround(seconds * 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

const char *scene_name(int index)
{
    const SceneInfo *scene = find_shown_scene(index);
    return scene ? scene->name : "no scene";
}

static void rect(ImDrawList *dl, float x0, float y0, float x1, float y1, ImU32 c)
{
    dl->AddRectFilled(ImVec2(x0, y0), ImVec2(x1, y1), c);
}

// ---- Panel ------------------------------------------------------------------

static void panel_lines(const HudState &s, std::vector<std::pair<std::string, ImU32>> *lines)
{
    char text[160];
    const double row = static_cast<double>(s.time.row);
    const int32_t whole_row = row > 0.0 ? to_int32(std::floor(row)) : 0;
    std::snprintf(text, sizeof text, "%s  row %.2f  bar %s", format_clock(s.seconds).c_str(), row,
                  bar_beat(whole_row, s.tempo).c_str());
    lines->push_back({text, TEXT});

    const int scene = scene_index_at(s.time);
    std::snprintf(text, sizeof text, "scene %d %s", scene, scene_name(scene));
    lines->push_back({text, TEXT});

    const int line = to_int32(TrackValues.clear_a);
    const OverlayLine *overlay = find_caption(shown_captions(), line);
    std::snprintf(text, sizeof text, "line %d %s", line, overlay ? overlay->text : "(none)");
    lines->push_back({text, TEXT});

    std::snprintf(text, sizeof text, "%5.1f fps", s.fps);
    std::string status = text;
    if (s.paused)
        status += "  PAUSED";
    if (s.muted)
        status += "  MUTED";
    if (s.half_speed)
        status += "  HALF SPEED";
    if (s.loop.stage == 1)
        status += "  loop from " + bar_beat(s.loop.start_row, s.tempo);
    else if (s.loop.stage == 2)
        status += "  loop " + bar_beat(s.loop.start_row, s.tempo) + " - " + bar_beat(s.loop.end_row, s.tempo);
    lines->push_back({status + "   F1: keys", TEXT});

#define HUD_VALUE_OF(ID, FIELD, NAME) {NAME, TrackValues.FIELD},
    const std::pair<const char *, float> values[] = {DEMO_VALUE_TRACKS(HUD_VALUE_OF)};
#undef HUD_VALUE_OF
    for (const auto &[name, value] : values) {
        if (s.compact)
            break;
        std::snprintf(text, sizeof text, "%-11s %12.4f", name, static_cast<double>(value));
        lines->push_back({text, DIM});
    }
    static const std::vector<TrackDeclaration> none;
    for (const TrackDeclaration &d : s.declared ? *s.declared : none) {
        const int i = Sync ? find_track(Sync, d.name.c_str()) : -1;
        const double value = i >= 0 ? track_value_at(Sync->tracks[i], row) : 0.0;
        if (d.read)
            std::snprintf(text, sizeof text, "%-11s %12.4f", d.name.c_str(), value);
        else
            std::snprintf(text, sizeof text, "%-11s %12.4f  no code reads it", d.name.c_str(), value);
        lines->push_back({text, d.read ? DIM : WARN});
    }
    for (const auto &[notice, warn] : s.notices)
        lines->push_back({notice, warn ? WARN : TEXT});
}

static float add_panel(ImDrawList *dl, const HudState &s)
{
    static std::vector<std::pair<std::string, ImU32>> lines;
    lines.clear();
    panel_lines(s, &lines);
    const float lh = ImGui::GetTextLineHeight();
    float widest = 0.0f;
    for (const auto &l : lines)
        widest = std::max(widest, ImGui::CalcTextSize(l.first.c_str()).x);
    const float bottom = PANEL_Y + lines.size() * lh + 2 * PANEL_PAD;
    rect(dl, PANEL_X, PANEL_Y, PANEL_X + widest + 2 * PANEL_PAD, bottom, PANEL_BG);
    for (size_t k = 0; k < lines.size(); k++)
        dl->AddText(ImVec2(PANEL_X + PANEL_PAD, PANEL_Y + PANEL_PAD + k * lh), lines[k].second,
                    lines[k].first.c_str());
    return bottom;
}

static void add_help(int w, const SDL_Rect &strip)
{
    ImDrawList *dl = ImGui::GetForegroundDrawList(); // over the grid
    const float lh = ImGui::GetTextLineHeight(), cw = ImGui::CalcTextSize("M").x;
    const float width = static_cast<float>(w) - 2 * (PANEL_X + PANEL_PAD);
    static std::vector<std::string> lines;
    lines = command_help_lines(cw > 0.0f && width > 20 * cw ? static_cast<size_t>(width / cw) : 20);
    const float count = static_cast<float>(lines.size());
    const float y0 = std::max(0.0f, strip.y - 22 - count * lh - 2 * PANEL_PAD);
    rect(dl, PANEL_X, y0, static_cast<float>(w - PANEL_X), y0 + count * lh + 2 * PANEL_PAD, rgba(20, 20, 30, 240));
    for (size_t k = 0; k < lines.size(); k++)
        dl->AddText(ImVec2(PANEL_X + PANEL_PAD, y0 + PANEL_PAD + k * lh), TEXT, lines[k].c_str());
}

bool caption_band(int w, int h, float *y0, float *y1)
{
    const OverlayLine *line = find_caption(shown_captions(), to_int32(TrackValues.clear_a));
    if (!line)
        return false;
    // The text starts 4 pixels above the pen and the shadow ends 64 below.
    const SDL_Rect picture = letterbox_rect(w, h);
    *y0 = picture.y + static_cast<float>(line->y - 4) * picture.h / WINDOW_H;
    *y1 = picture.y + static_cast<float>(line->y + 64) * picture.h / WINDOW_H;
    return true;
}

void fade_in_band(ImDrawList *dl, int first, float y0, float y1)
{
    for (int i = first; i < dl->VtxBuffer.Size; i++) {
        ImDrawVert &v = dl->VtxBuffer[i];
        if (v.pos.y >= y0 && v.pos.y <= y1) {
            const ImU32 a = (v.col >> IM_COL32_A_SHIFT) & 0xFF;
            v.col = (v.col & ~IM_COL32_A_MASK) | ((a * 2 / 5) << IM_COL32_A_SHIFT);
        }
    }
}

// ---- Strip ------------------------------------------------------------------

// A label step in seconds that leaves at least `min_px` pixels between labels.
static double label_step(double span_seconds, int width, double min_px)
{
    static const double steps[] = {0.4, 0.8, 1.6, 3.2, 6.4, 12.8, 25.6, 51.2, 102.4};
    for (double s : steps)
        if (s / span_seconds * width >= min_px)
            return s;
    return 204.8;
}

static float mark_label_width(const std::string &name)
{
    return ImGui::CalcTextSize(name.c_str()).x;
}

// The scenes in their colours, the waveform and the scenes' names over them,
// then the overlay lines below, two shades so neighbouring lines part.
static void add_strip_bands(ImDrawList *dl, const HudState &s, const SDL_Rect &strip)
{
    static std::vector<StripRun> runs;
    const float top = static_cast<float>(strip.y), bottom = static_cast<float>(strip.y + strip.h);
    const int scene_h = strip.h * 2 / 3;
    sample_strip_runs_in(Tracks[TRACK_SCENE], strip, s.span, &runs);
    for (const StripRun &r : runs)
        rect(dl, r.x0, top, r.x1, top + scene_h, find_shown_scene(r.value) ? SCENE_COLOURS[r.value % std::size(SCENE_COLOURS)] : NO_SCENE);
    if (s.waveform)
        add_waveform(dl, s.waveform, strip, s.span);
    for (const StripRun &r : runs) { // names over the envelope
        const char *name = scene_name(r.value);
        if (ImGui::CalcTextSize(name).x + 6 < r.x1 - r.x0) {
            dl->AddText(ImVec2(r.x0 + 4.0f, top + 2.0f), rgba(0, 0, 0, 220), name);
            dl->AddText(ImVec2(r.x0 + 3.0f, top + 1.0f), rgba(255, 255, 255, 235), name);
        }
    }

    sample_strip_runs_in(Tracks[TRACK_CLEAR_A], strip, s.span, &runs);
    for (const StripRun &r : runs)
        if (find_caption(shown_captions(), r.value))
            rect(dl, r.x0, top + scene_h + 2, r.x1, bottom,
                 (r.value & 1) ? rgba(230, 230, 230) : rgba(160, 160, 160));
}

// The grid: beats when they are 6 pixels apart or more, bars, labels; each
// on its beat's row, as the tempo puts it.
static void add_strip_grid(ImDrawList *dl, const HudState &s, const SDL_Rect &strip)
{
    const float top = static_cast<float>(strip.y);
    const double span = s.span.to - s.span.from;
    const double beat = tempo_rows_per_beat(s.tempo) / STUDIO_ROWS_PER_SECOND;
    const int per_bar = s.tempo.beats_per_bar;
    const bool beats = beat / span * strip.w >= 6.0;
    const bool bars = beat * per_bar / span * strip.w >= 3.0;
    const int64_t every = beats ? 1 : per_bar;
    if (beats || bars) {
        const int64_t first = static_cast<int64_t>(std::floor(s.span.from / beat)) / every * every;
        for (int64_t n = first;; n += every) {
            const double t = tempo_beat_row(s.tempo, n) / STUDIO_ROWS_PER_SECOND;
            if (t > s.span.to || n > INT32_MAX)
                break;
            if (t < s.span.from)
                continue;
            const float x = strip_x_in(strip, t, s.span);
            const bool on_bar = n % per_bar == 0;
            rect(dl, x, top, x + 1, top + (on_bar ? (n / per_bar % 4 == 0 ? 8 : 6) : 3), rgba(0, 0, 0));
        }
    }
    const double labels = label_step(span, strip.w, 70.0);
    for (double t = std::ceil(s.span.from / labels) * labels; t <= s.span.to; t += labels) {
        const float x = strip_x_in(strip, t, s.span);
        char text[48];
        const int32_t row = to_int32(std::round(t * STUDIO_ROWS_PER_SECOND));
        std::snprintf(text, sizeof text, "%s %s", format_clock(t).c_str() + 1, bar_beat(row, s.tempo).c_str());
        rect(dl, x, top - 4, x + 1, top, TEXT);
        dl->AddText(ImVec2(x + 2, top - 16), DIM, text);
    }
}

// The loop: its bar above the strip, and its range shaded once it has an end.
static void add_strip_loop(ImDrawList *dl, const HudState &s, const SDL_Rect &strip)
{
    if (s.loop.stage < 1)
        return;
    const float top = static_cast<float>(strip.y), bottom = static_cast<float>(strip.y + strip.h);
    const float x0 = strip_x_in(strip, s.loop.start_row / STUDIO_ROWS_PER_SECOND, s.span);
    const float x1 = s.loop.stage == 2
                         ? strip_x_in(strip, s.loop.end_row / STUDIO_ROWS_PER_SECOND, s.span)
                         : x0 + 2;
    rect(dl, x0, top - 6, std::max(x1, x0 + 2), top - 2, WARN);
    if (s.loop.stage == 2)
        rect(dl, x0, top, x1, bottom, rgba(255, 255, 255, 60));
}

// Marks: flags, then the names that fit over them, at the strip's foot.
static void add_strip_marks(ImDrawList *dl, const HudState &s, const SDL_Rect &strip)
{
    if (!s.marks)
        return;
    static std::vector<StripMarkShown> shown;
    const float top = static_cast<float>(strip.y), bottom = static_cast<float>(strip.y + strip.h);
    place_strip_marks(strip, s.span, *s.marks, mark_label_width, &shown);
    for (const StripMarkShown &m : shown)
        rect(dl, m.x, top, m.x + 1, bottom, MARK);
    for (const StripMarkShown &m : shown) {
        if (!m.label)
            continue;
        const char *name = (*s.marks)[m.mark].name.c_str();
        const ImVec2 size = ImGui::CalcTextSize(name);
        rect(dl, m.x + 1, bottom - size.y, m.x + STRIP_MARK_LABEL_ROOM - 1 + size.x, bottom, rgba(0, 0, 0, 200));
        dl->AddText(ImVec2(m.x + 3, bottom - size.y), MARK, name);
    }
}

static void add_strip(ImDrawList *dl, const HudState &s, int w, int h)
{
    const SDL_Rect strip = strip_rect(w, h);
    const float top = static_cast<float>(strip.y), bottom = static_cast<float>(strip.y + strip.h);
    rect(dl, strip.x, top - 16, strip.x + strip.w, bottom, PANEL_BG);
    add_strip_bands(dl, s, strip);
    add_strip_grid(dl, s, strip);
    add_strip_loop(dl, s, strip);
    add_strip_marks(dl, s, strip);

    const float px = strip_x_in(strip, s.seconds, s.span);
    if (px >= strip.x && px <= strip.x + strip.w)
        rect(dl, px - 1, top - 4, px + 1, bottom + 4, rgba(255, 255, 255));
    // Where the strip sits in the whole length, when zoomed.
    const double span = s.span.to - s.span.from;
    if (span < s.length) {
        const float x0 = strip.x + static_cast<float>(s.span.from / s.length * strip.w);
        const float x1 = strip.x + static_cast<float>(s.span.to / s.length * strip.w);
        rect(dl, x0, bottom + 1, std::max(x1, x0 + 2), bottom + 4, rgba(255, 255, 255, 150));
    }
}

float draw_hud(const HudState &state)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    ImDrawList *dl = ImGui::GetBackgroundDrawList();
    const float bottom = add_panel(dl, state);
    const int strip_first = dl->VtxBuffer.Size;
    add_strip(dl, state, w, h);
    float y0 = 0, y1 = 0;
    if (!state.strip_held && caption_band(w, h, &y0, &y1))
        fade_in_band(dl, strip_first, y0, y1);
    if (state.help)
        add_help(w, strip_rect(w, h));
    return bottom;
}

void draw_error_box(const std::string &errors)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    static std::vector<std::string> lines;
    lines.clear();
    size_t start = 0, total = 0;
    while (start < errors.size()) {
        size_t end = errors.find('\n', start);
        if (end == std::string::npos)
            end = errors.size();
        if (end > start) {
            if (lines.size() < ERROR_LINES_SHOWN)
                lines.push_back(errors.substr(start, end - start));
            total++;
        }
        start = end + 1;
    }
    if (total > lines.size())
        lines.push_back("... and " + std::to_string(total - lines.size()) + " more");

    const float cw = ImGui::CalcTextSize("M").x, lh = ImGui::GetTextLineHeight();
    const int max_chars = static_cast<int>((w - 48) / cw) > 8 ? static_cast<int>((w - 48) / cw) : 8;
    size_t widest = 0;
    for (std::string &l : lines) {
        if (static_cast<int>(l.size()) > max_chars)
            l = l.substr(0, static_cast<size_t>(max_chars - 3)) + "...";
        widest = l.size() > widest ? l.size() : widest;
    }
    const float bw = widest * cw + 16, bh = lines.size() * lh + 16;
    const float x = (w - bw) / 2, y = h / 6.0f;
    ImDrawList *dl = ImGui::GetForegroundDrawList();
    rect(dl, x - 2, y - 2, x + bw + 2, y + bh + 2, rgba(230, 40, 40));
    rect(dl, x, y, x + bw, y + bh, rgba(40, 0, 0, 235));
    for (size_t k = 0; k < lines.size(); k++)
        dl->AddText(ImVec2(x + 8, y + 8 + k * lh), TEXT, lines[k].c_str());
}
