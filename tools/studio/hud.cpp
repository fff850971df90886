// hud.cpp - the HUD's panel of values, the timeline strip and the error box,
// drawn as batches of quads.
#include "hud.h"

#include <SDL_ttf.h>

#include <cmath>
#include <cstdio>

#include "base/convert.h"
#include "app/frame.h"
#include "state/state.h"
#include "scenes/scene_table.h"
#include "strip.h"
#include "text/overlay.h"

enum {
    FIRST_GLYPH = 32, // space
    LAST_GLYPH = 126, // tilde
    GLYPH_COUNT = LAST_GLYPH - FIRST_GLYPH + 1,
    PANEL_X = 8,
    PANEL_Y = 8,
    PANEL_PAD = 4,
    ERROR_LINES_SHOWN = 10,
};

// ---- Font atlas -------------------------------------------------------------

bool open_hud_font(HudFont *font, const char *path, int pixel_size, std::string *error)
{
    *font = HudFont{};
    if (!TTF_WasInit() && TTF_Init() != 0) {
        *error = std::string("SDL_ttf: ") + TTF_GetError();
        return false;
    }
    TTF_Font *ttf = TTF_OpenFont(path, pixel_size);
    if (!ttf) {
        *error = std::string(path) + ": " + TTF_GetError();
        TTF_Quit();
        return false;
    }
    int advance = 0;
    TTF_GlyphMetrics32(ttf, 'M', nullptr, nullptr, nullptr, nullptr, &advance);
    font->cell_w = advance > 0 ? advance : pixel_size / 2;
    font->cell_h = TTF_FontHeight(ttf);
    SDL_Surface *atlas = SDL_CreateRGBSurfaceWithFormat(0, font->cell_w * GLYPH_COUNT, font->cell_h,
                                                        32, SDL_PIXELFORMAT_ARGB8888);
    if (atlas) {
        SDL_FillRect(atlas, nullptr, 0); // transparent
        const SDL_Color white = {255, 255, 255, 255};
        for (int c = FIRST_GLYPH; c <= LAST_GLYPH; c++) {
            SDL_Surface *g = TTF_RenderGlyph32_Blended(ttf, static_cast<Uint32>(c), white);
            if (!g)
                continue;
            SDL_SetSurfaceBlendMode(g, SDL_BLENDMODE_NONE); // copy alpha as it is
            SDL_Rect src = {0, 0, g->w < font->cell_w ? g->w : font->cell_w,
                            g->h < font->cell_h ? g->h : font->cell_h};
            SDL_Rect dst = {(c - FIRST_GLYPH) * font->cell_w, 0, src.w, src.h};
            SDL_BlitSurface(g, &src, atlas, &dst);
            SDL_FreeSurface(g);
        }
        font->atlas = SDL_CreateTextureFromSurface(renderer, atlas);
        SDL_FreeSurface(atlas);
    }
    TTF_CloseFont(ttf);
    TTF_Quit();
    if (!font->atlas) {
        *error = std::string("HUD font atlas: ") + SDL_GetError();
        return false;
    }
    SDL_SetTextureBlendMode(font->atlas, SDL_BLENDMODE_BLEND);
    return true;
}

void close_hud_font(HudFont *font)
{
    if (font->atlas)
        SDL_DestroyTexture(font->atlas);
    *font = HudFont{};
}

// ---- Quad batches -----------------------------------------------------------

struct Batch {
    std::vector<SDL_Vertex> vertices;
    std::vector<int> indices;
};

static void add_quad(Batch &b, float x0, float y0, float x1, float y1, SDL_Color c,
                     float u0 = 0, float v0 = 0, float u1 = 0, float v1 = 0)
{
    const int n = static_cast<int>(b.vertices.size());
    b.vertices.push_back(SDL_Vertex{{x0, y0}, c, {u0, v0}});
    b.vertices.push_back(SDL_Vertex{{x1, y0}, c, {u1, v0}});
    b.vertices.push_back(SDL_Vertex{{x1, y1}, c, {u1, v1}});
    b.vertices.push_back(SDL_Vertex{{x0, y1}, c, {u0, v1}});
    for (int k : {0, 1, 2, 0, 2, 3})
        b.indices.push_back(n + k);
}

static void add_rect(Batch &b, const SDL_Rect &r, SDL_Color c)
{
    add_quad(b, static_cast<float>(r.x), static_cast<float>(r.y), static_cast<float>(r.x + r.w),
             static_cast<float>(r.y + r.h), c);
}

// One line of text at (x, y); characters outside printable ASCII show as '?'.
static void add_text(Batch &b, const HudFont &font, int x, int y, const std::string &text,
                     SDL_Color c)
{
    if (!font.atlas)
        return;
    const float aw = static_cast<float>(font.cell_w * GLYPH_COUNT);
    for (size_t k = 0; k < text.size(); k++) {
        int g = static_cast<unsigned char>(text[k]);
        if (g < FIRST_GLYPH || g > LAST_GLYPH)
            g = '?';
        if (g == ' ')
            continue;
        const float u0 = static_cast<float>((g - FIRST_GLYPH) * font.cell_w) / aw;
        const float u1 = static_cast<float>((g - FIRST_GLYPH + 1) * font.cell_w) / aw;
        const float x0 = static_cast<float>(x + static_cast<int>(k) * font.cell_w);
        add_quad(b, x0, static_cast<float>(y), x0 + font.cell_w, static_cast<float>(y + font.cell_h),
                 c, u0, 0.0f, u1, 1.0f);
    }
}

static void draw_batch(Batch &b, SDL_Texture *texture)
{
    if (!b.indices.empty())
        SDL_RenderGeometry(renderer, texture, b.vertices.data(), static_cast<int>(b.vertices.size()),
                           b.indices.data(), static_cast<int>(b.indices.size()));
    b.vertices.clear();
    b.indices.clear();
}

// The HUD draws every frame: its batches keep their memory between frames.
static Batch Shapes, Glyphs;

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

static std::string bar_beat(int32_t row)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d:%d", row / ROWS_PER_BAR, row / ROWS_PER_BEAT % BEATS_PER_BAR);
    return text;
}

static const char *scene_name(int index)
{
    const SceneInfo *scene = find_scene(index);
    return scene ? scene->name : "no scene";
}

// ---- Panel ------------------------------------------------------------------

static const SDL_Color TEXT = {235, 235, 235, 255};
static const SDL_Color DIM = {160, 170, 190, 255};
static const SDL_Color WARN = {255, 210, 80, 255};
static const SDL_Color PANEL_BG = {0, 0, 0, 170};

// Scene colours, one per scene; grey for no scene.
static const SDL_Color SCENE_COLOURS[SCENE_COUNT] = {
    {70, 140, 70, 255},  {190, 80, 160, 255}, {200, 170, 60, 255}, {60, 160, 190, 255},
    {110, 90, 210, 255}, {220, 90, 40, 255},  {40, 190, 130, 255}, {150, 150, 60, 255},
};
static const SDL_Color NO_SCENE = {70, 70, 70, 255};

static void panel_lines(const HudState &s, std::vector<std::pair<std::string, SDL_Color>> *lines)
{
    char text[128];
    const double row = static_cast<double>(Row);
    const int32_t whole_row = row > 0.0 ? to_int32(std::floor(row)) : 0;
    std::snprintf(text, sizeof text, "%s  row %.2f  bar %s", format_clock(s.seconds).c_str(), row,
                  bar_beat(whole_row).c_str());
    lines->push_back({text, TEXT});

    const int scene = current_scene_index();
    std::snprintf(text, sizeof text, "scene %d %s", scene, scene_name(scene));
    lines->push_back({text, TEXT});

    const int line = to_int32(TrackValues.clear_a);
    std::snprintf(text, sizeof text, "line %d%s", line, find_overlay_line(line) ? "" : " (none)");
    lines->push_back({text, TEXT});

    std::string status;
    std::snprintf(text, sizeof text, "%5.1f fps", s.fps);
    status = text;
    if (s.paused)
        status += "  PAUSED";
    if (s.muted)
        status += "  MUTED";
    if (s.loop.stage == 1)
        status += "  loop from " + bar_beat(s.loop.start_row);
    else if (s.loop.stage == 2)
        status += "  loop " + bar_beat(s.loop.start_row) + " - " + bar_beat(s.loop.end_row);
    lines->push_back({status, TEXT});

#define HUD_VALUE_OF(ID, FIELD, NAME) {NAME, TrackValues.FIELD},
    const std::pair<const char *, float> values[] = {DEMO_VALUE_TRACKS(HUD_VALUE_OF)};
#undef HUD_VALUE_OF
    for (const auto &[name, value] : values) {
        std::snprintf(text, sizeof text, "%-11s %12.4f", name, static_cast<double>(value));
        lines->push_back({text, DIM});
    }
    if (s.notice)
        lines->push_back({*s.notice, WARN});
}

static void add_panel(const HudFont &font, const HudState &s)
{
    static std::vector<std::pair<std::string, SDL_Color>> lines;
    lines.clear();
    panel_lines(s, &lines);
    size_t widest = 0;
    for (const auto &l : lines)
        widest = l.first.size() > widest ? l.first.size() : widest;
    const int cw = font.atlas ? font.cell_w : 0, ch = font.atlas ? font.cell_h : 0;
    add_rect(Shapes, SDL_Rect{PANEL_X, PANEL_Y, static_cast<int>(widest) * cw + 2 * PANEL_PAD,
                              static_cast<int>(lines.size()) * ch + 2 * PANEL_PAD},
             PANEL_BG);
    for (size_t k = 0; k < lines.size(); k++)
        add_text(Glyphs, font, PANEL_X + PANEL_PAD, PANEL_Y + PANEL_PAD + static_cast<int>(k) * ch,
                 lines[k].first, lines[k].second);
}

// ---- Strip ------------------------------------------------------------------

static void add_strip(const HudState &s, int w, int h)
{
    static std::vector<StripRun> runs;
    const SDL_Rect strip = strip_rect(w, h);
    const int scene_h = strip.h * 2 / 3;
    add_rect(Shapes, strip, PANEL_BG);

    sample_strip_runs(Tracks[TRACK_SCENE], strip, s.length, &runs);
    for (const StripRun &r : runs)
        add_rect(Shapes, SDL_Rect{r.x0, strip.y, r.x1 - r.x0, scene_h},
                 find_scene(r.value) ? SCENE_COLOURS[r.value] : NO_SCENE);

    // Overlay lines below the scenes, two shades so neighbouring lines part.
    sample_strip_runs(Tracks[TRACK_CLEAR_A], strip, s.length, &runs);
    for (const StripRun &r : runs)
        if (find_overlay_line(r.value))
            add_rect(Shapes, SDL_Rect{r.x0, strip.y + scene_h + 2, r.x1 - r.x0, strip.h - scene_h - 2},
                     (r.value & 1) ? SDL_Color{230, 230, 230, 255} : SDL_Color{160, 160, 160, 255});

    // Bar ticks; every fourth bar taller.
    const double bar_seconds = ROWS_PER_BAR / STUDIO_ROWS_PER_SECOND;
    for (int bar = 0; bar * bar_seconds <= s.length; bar++) {
        const int x = strip_x_of(strip, bar * bar_seconds, s.length);
        add_rect(Shapes, SDL_Rect{x, strip.y, 1, bar % 4 == 0 ? 8 : 4}, SDL_Color{0, 0, 0, 255});
    }

    if (s.loop.stage >= 1) {
        const int x0 = strip_x_of(strip, s.loop.start_row / STUDIO_ROWS_PER_SECOND, s.length);
        const int x1 = s.loop.stage == 2
                           ? strip_x_of(strip, s.loop.end_row / STUDIO_ROWS_PER_SECOND, s.length)
                           : x0 + 2;
        add_rect(Shapes, SDL_Rect{x0, strip.y - 6, x1 - x0 > 2 ? x1 - x0 : 2, 4},
                 SDL_Color{255, 210, 80, 255});
        if (s.loop.stage == 2)
            add_rect(Shapes, SDL_Rect{x0, strip.y, x1 - x0, strip.h}, SDL_Color{255, 255, 255, 60});
    }

    const int px = strip_x_of(strip, s.seconds, s.length);
    add_rect(Shapes, SDL_Rect{px - 1, strip.y - 4, 2, strip.h + 8}, SDL_Color{255, 255, 255, 255});
}

void draw_hud(const HudFont &font, const HudState &state)
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    add_panel(font, state);
    add_strip(state, w, h);
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    draw_batch(Shapes, nullptr);
    draw_batch(Glyphs, font.atlas);
}

void draw_error_box(const HudFont &font, const std::string &errors)
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

    const int cw = font.atlas ? font.cell_w : 8, ch = font.atlas ? font.cell_h : 14;
    const int max_chars = (w - 48) / cw > 8 ? (w - 48) / cw : 8;
    size_t widest = 0;
    for (std::string &l : lines) {
        if (static_cast<int>(l.size()) > max_chars)
            l = l.substr(0, static_cast<size_t>(max_chars - 3)) + "...";
        widest = l.size() > widest ? l.size() : widest;
    }
    const int bw = static_cast<int>(widest) * cw + 16;
    const int bh = static_cast<int>(lines.size()) * ch + 16;
    const SDL_Rect box = {(w - bw) / 2, h / 6, bw, bh};
    add_rect(Shapes, SDL_Rect{box.x - 2, box.y - 2, box.w + 4, box.h + 4}, SDL_Color{230, 40, 40, 255});
    add_rect(Shapes, box, SDL_Color{40, 0, 0, 235});
    for (size_t k = 0; k < lines.size(); k++)
        add_text(Glyphs, font, box.x + 8, box.y + 8 + static_cast<int>(k) * ch, lines[k], TEXT);
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    draw_batch(Shapes, nullptr);
    draw_batch(Glyphs, font.atlas);
}
