// studio.cpp - the studio's frame: events and the transport, the timeline
// poll, the picture and what is drawn over it.
#include "studio/studio.h"

#include <imgui.h>

#include <cstdio>

#include "state/state.h"
#include "studio/live_code.h"
#include "studio/music.h"
#include "studio/ui_render.h"
#include "studio/strip.h"
#include "sync/track.h"
#include "studio/view.h"

double studio_strip_length()
{
    const double length = music_length();
    if (length > 0.0)
        return length;
    int32_t last = 0;
    for (SyncTrack *t : Tracks)
        if (t && t->key_count > 0 && t->keys[t->key_count - 1].row > last)
            last = t->keys[t->key_count - 1].row;
    return last > 0 ? last / STUDIO_ROWS_PER_SECOND : 1.0;
}

void take_save_outcome(Studio *s, SaveOutcome outcome, const std::string &message)
{
    if (outcome == SAVE_DONE)
        request_track_export(&s->track_export, s->watch.timeline);
    if (outcome == SAVE_FAILED || outcome == SAVE_CONFLICT) {
        show_message(s, message, true);
        s->next_poll_ms = 0; // a conflict's outside version is read at once
    }
}

void take_watch_result(Studio *s, WatchResult result)
{
    std::string export_error;
    if (take_track_export_error(&s->track_export, &export_error)) {
        std::fprintf(stderr, "studio: %s\n", export_error.c_str());
        show_message(s, export_error, true);
    }
    if (result == WATCH_NEW_TIMELINE) {
        if (!apply_timeline(s->watch.timeline, Tracks, TRACK_COUNT))
            std::fputs("studio: out of memory while replacing the tracks\n", stderr);
        request_track_export(&s->track_export, s->watch.timeline);
        // A version from outside starts a new history: the old steps name
        // lines of a text that is gone.
        if (!s->editor.undo.empty() || !s->editor.redo.empty())
            show_message(s, "the source changed outside the studio: undo history cleared", true);
        s->key_drag = false;
        load_key_editor(&s->editor, s->watch.taken, s->watch.timeline);
    } else if (result == WATCH_NEW_ERRORS) {
        s->typing = false;
        std::fputs(s->watch.errors.c_str(), stderr);
        std::fflush(stderr);
    } else if (result == WATCH_READ_ERROR) {
        std::fprintf(stderr, "studio: %s (keeping the last version)\n", s->watch.read_error.c_str());
        std::fflush(stderr);
    }
}

// Seeks now and starts the loop's watch from there.
static void seek(Studio *s, double seconds)
{
    music_seek(clamp_time(seconds, music_length()));
    s->previous = music_position();
}

static void toggle_fullscreen(Studio *s)
{
    s->fullscreen = !s->fullscreen;
    SDL_SetWindowFullscreen(window, s->fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

static void press_key(Studio *s, const SDL_KeyboardEvent &key)
{
    if (press_edit_key(s, key))
        return;
    const bool shift = (key.keysym.mod & KMOD_SHIFT) != 0;
    const double now = music_position();
    const double length = music_length();
    switch (key.keysym.sym) {
    case SDLK_LEFT:
    case SDLK_RIGHT:
        seek(s, grid_step(now, key.keysym.sym == SDLK_RIGHT ? 1 : -1,
                          shift ? ROWS_PER_BAR : ROWS_PER_BEAT, length));
        return;
    case SDLK_PAGEUP:
    case SDLK_PAGEDOWN:
        seek(s, scene_change_step(now, key.keysym.sym == SDLK_PAGEDOWN ? 1 : -1,
                                  Tracks[TRACK_SCENE], length));
        return;
    case SDLK_HOME:
        seek(s, 0.0);
        return;
    case SDLK_END:
        seek(s, length >= 0.0 ? length : studio_strip_length());
        return;
    case SDLK_EQUALS:
    case SDLK_PLUS:
    case SDLK_KP_PLUS:
        s->span = zoom_strip(s->span, 0.5, now, studio_strip_length());
        return;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        s->span = zoom_strip(s->span, 2.0, now, studio_strip_length());
        return;
    default:
        break;
    }
    if (key.repeat)
        return; // held toggles act once
    switch (key.keysym.sym) {
    case SDLK_ESCAPE: s->quit = true; break;
    case SDLK_TAB: s->grid_on = !s->grid_on; break;
    case SDLK_c: s->curve_on = !s->curve_on; break;
    case SDLK_F1:
    case SDLK_QUESTION: s->help_on = !s->help_on; break;
    case SDLK_SLASH:
        if (shift)
            s->help_on = !s->help_on;
        break;
    case SDLK_SPACE:
        if (music_paused())
            music_resume();
        else
            music_pause();
        s->previous = music_position();
        break;
    case SDLK_l: press_loop(&s->loop, now); break;
    case SDLK_m:
        s->muted = !s->muted;
        music_set_muted(s->muted);
        break;
    case SDLK_h: s->hud_on = !s->hud_on; break;
    case SDLK_p: s->snapshot_asked = true; break;
    case SDLK_F11: toggle_fullscreen(s); break;
    default: break;
    }
}

// Mouse positions in renderer pixels (they differ from window points on
// scaled displays).
static void to_output(int *x, int *y)
{
    int ww = 0, wh = 0, ow = 0, oh = 0;
    SDL_GetWindowSize(window, &ww, &wh);
    SDL_GetRendererOutputSize(renderer, &ow, &oh);
    if (ww > 0 && wh > 0) {
        *x = static_cast<int>(static_cast<int64_t>(*x) * ow / ww);
        *y = static_cast<int>(static_cast<int64_t>(*y) * oh / wh);
    }
}

static bool shift_held()
{
    return (SDL_GetModState() & KMOD_SHIFT) != 0;
}

static void mouse_at(Studio *s, int x, int y, bool press)
{
    to_output(&x, &y);
    if (press && curve_press(s, x, y))
        return;
    int column = 0;
    int32_t row = 0;
    if (press && s->hud_on && s->grid_on && !s->typing && grid_hit(*s, x, y, music_position(), &column, &row)) {
        s->column = column; // a click selects the track, and on a line its row
        if (row >= 0) {
            s->seek_pending = true;
            s->seek_to = row / STUDIO_ROWS_PER_SECOND;
        }
        return;
    }
    if (s->key_drag) {
        curve_motion(s, x, y, !shift_held());
        return;
    }
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    const SDL_Rect strip = strip_rect(w, h);
    if (press) {
        const SDL_Point p = {x, y};
        if (!s->hud_on || !SDL_PointInRect(&p, &strip))
            return;
        s->dragging = true;
        s->drag_snaps = !shift_held();
    }
    if (!s->dragging)
        return;
    const double t = strip_time_in(strip, x, s->span);
    s->seek_pending = true;
    s->seek_to = s->drag_snaps ? snap_to_beat(t) : t;
}

static void wheel(Studio *s, int dy)
{
    int mx = 0, my = 0;
    SDL_GetMouseState(&mx, &my);
    to_output(&mx, &my);
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    const SDL_Rect strip = strip_rect(w, h);
    const SDL_Point p = {mx, my};
    const double around = SDL_PointInRect(&p, &strip) ? strip_time_in(strip, mx, s->span) : music_position();
    s->span = zoom_strip(s->span, dy > 0 ? 0.5 : 2.0, around, studio_strip_length());
}

static void handle_events(Studio *s)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: s->quit = true; break;
        case SDL_KEYDOWN: press_key(s, e.key); break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button == SDL_BUTTON_LEFT)
                mouse_at(s, e.button.x, e.button.y, true);
            break;
        case SDL_MOUSEMOTION:
            if (s->dragging || s->key_drag)
                mouse_at(s, e.motion.x, e.motion.y, false);
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT) {
                s->dragging = false;
                curve_release(s);
            }
            break;
        case SDL_MOUSEWHEEL:
            if (e.wheel.y != 0)
                wheel(s, e.wheel.y);
            break;
        default: break;
        }
    }
}

static void take_snapshot(double seconds)
{
    const std::string name = snapshot_name(seconds);
    std::string error;
    if (write_snapshot(name, &error))
        std::printf("studio: wrote %s\n", name.c_str());
    else
        std::fprintf(stderr, "studio: %s: %s\n", name.c_str(), error.c_str());
    std::fflush(stdout);
}

// The studio's drawing over the picture must leave the renderer's draw
// colour and blend mode as the scenes left them: they carry over from frame
// to frame in the demo.
struct DrawState {
    Uint8 r, g, b, a;
    SDL_BlendMode blend;
};

static DrawState save_draw_state()
{
    DrawState d{};
    SDL_GetRenderDrawColor(renderer, &d.r, &d.g, &d.b, &d.a);
    SDL_GetRenderDrawBlendMode(renderer, &d.blend);
    return d;
}

static void restore_draw_state(const DrawState &d)
{
    SDL_SetRenderDrawColor(renderer, d.r, d.g, d.b, d.a);
    SDL_SetRenderDrawBlendMode(renderer, d.blend);
}

static void count_frame(Studio *s)
{
    const uint64_t now = SDL_GetPerformanceCounter();
    if (s->last_counter != 0) {
        const double dt = static_cast<double>(now - s->last_counter) /
                          static_cast<double>(SDL_GetPerformanceFrequency());
        if (dt > 0.0)
            s->fps = s->fps > 0.0 ? s->fps * 0.9 + (1.0 / dt) * 0.1 : 1.0 / dt;
    }
    s->last_counter = now;
}

static void draw_overlays(Studio *s, double t)
{
    const double length = studio_strip_length();
    if (!s->span_set || s->span.to > length + 1e-9) {
        s->span = StripSpan{0.0, length};
        s->span_set = true;
    }
    s->span = follow_strip(s->span, t, length);
    begin_ui_frame(renderer);
    if (s->hud_on) {
        HudState hs{t, length, s->span, s->fps, music_paused(), s->muted, s->loop, s->help_on,
                    s->grid_on, {}, &s->waveform};
        if (s->watch.unreadable)
            hs.notices.push_back({s->watch.read_error + " (keeping the last version)", true});
        if (s->live && !s->watch.errors.empty())
            hs.notices.push_back({"editing is off until the source parses again", true});
        if (s->code) {
            const std::string notice = live_code_notice(*s->code, SDL_GetTicks64());
            if (!notice.empty())
                hs.notices.push_back({notice, !s->code->errors.empty()});
        }
        if (!s->message.empty() && SDL_GetTicks64() < s->message_until_ms)
            hs.notices.push_back({s->message, s->message_warn});
        if (s->grid_on || s->curve_on) {
            const int i = key_on_line(*s, s->column, cursor_row(*s, t));
            hs.notices.push_back({std::string("track ") + TimelineTrackNames[s->column] + "  line " +
                                      std::to_string(cursor_row(*s, t)) + (i >= 0 ? "  key" : "") +
                                      "  " + std::to_string(grid_rows(*s)) + " row(s) a line",
                                  false});
        }
        s->grid_top = static_cast<int>(draw_hud(hs)) + 4;
        if (s->grid_on)
            draw_grid(*s, t);
        if (s->curve_on)
            draw_curve(*s);
    }
    const std::string errors = s->watch.errors + (s->code ? s->code->errors : "");
    if (!errors.empty())
        draw_error_box(errors);
    end_ui_frame(renderer);
}

void run_studio_frame(Studio *s)
{
    handle_events(s);
    if (s->seek_pending) {
        s->seek_pending = false;
        seek(s, s->seek_to);
    }
    std::string said;
    const SaveOutcome save = s->live ? poll_source_save(&s->saver, &s->watch, &said) : SAVE_NONE;
    take_save_outcome(s, save, said);
    if (s->live && SDL_GetTicks64() >= s->next_poll_ms) {
        s->next_poll_ms = SDL_GetTicks64() + STUDIO_POLL_MS;
        take_watch_result(s, poll_timeline_watch(&s->watch));
    }

    if (s->code)
        poll_live_code(s->code, SDL_GetTicks64()); // a new library swaps in here, between frames

    double t = music_position();
    const double wrapped = wrap_loop(s->loop, s->previous, t, music_length());
    if (wrapped != t) {
        music_seek(wrapped);
        t = wrapped;
    }
    s->previous = t;

    draw_picture(t, s->code ? live_scenes(*s->code) : nullptr);
    if (s->snapshot_asked) {
        s->snapshot_asked = false;
        take_snapshot(t);
    }

    const DrawState saved = save_draw_state();
    show_picture();
    draw_overlays(s, t);
    restore_draw_state(saved);

    SDL_RenderPresent(renderer);
    music_update();
    count_frame(s);
}
