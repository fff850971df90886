// studio.cpp - the studio's frame: events and the transport, the timeline
// poll, the picture and what is drawn over it.
#include "studio/studio.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "state/state.h"
#include "studio/live/guarded_scenes.h"
#include "studio/live/live_code.h"
#include "studio/music.h"
#include "studio/view/ui_render.h"
#include "studio/view/strip.h"
#include "sync/track.h"
#include "timeline/declared_tracks.h"
#include "studio/view/view.h"

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

// The tracks the scene sources declare, read again at start and after each
// swap of the scene library (a new declaration draws from then on): the
// timeline's sections for them parse, and their keys reach the device.
static void read_declared_tracks(Studio *s)
{
    std::vector<TrackDeclaration> declared;
    std::string errors;
    if (!read_track_declarations(s->code->build.source_dir + "/src/scenes", &declared, &errors)) {
        std::fprintf(stderr, "studio: the declared tracks stay as they were:\n%s", errors.c_str());
        std::fflush(stderr);
        return;
    }
    // A declared track no scene reads is marked: on standard error, and its
    // first one in the message line.
    const std::string unread = unread_track_warnings(declared);
    std::fputs(unread.c_str(), stderr);
    std::fflush(stderr);
    if (!unread.empty())
        show_message(s, unread.substr(0, unread.find('\n')), true);
    set_declared_tracks(&s->watch, declared_track_names(declared));
    s->declared = std::move(declared);
}

void take_watch_result(Studio *s, WatchResult result)
{
    std::string export_error;
    if (take_track_export_error(&s->track_export, &export_error)) {
        std::fprintf(stderr, "studio: %s\n", export_error.c_str());
        show_message(s, export_error, true);
    }
    if (result == WATCH_NEW_TIMELINE) {
        if (!apply_timeline(s->watch.timeline, Tracks, TRACK_COUNT) ||
            !apply_declared_tracks(s->watch.timeline, Sync))
            std::fputs("studio: out of memory while replacing the tracks\n", stderr);
        request_track_export(&s->track_export, s->watch.timeline);
        // A version from outside starts a new history: the old steps name
        // lines of a text that is gone.
        if (!s->editor.model.undo.empty() || !s->editor.model.redo.empty())
            show_message(s, "the source changed outside the studio: undo history cleared", true);
        s->editor.key_drag = false;
        s->editor.undo_names.clear();
        s->editor.redo_names.clear();
        load_key_editor(&s->editor.model, s->watch.taken, s->watch.timeline);
    } else if (result == WATCH_NEW_ERRORS) {
        s->editor.typing = false;
        std::fputs(s->watch.errors.c_str(), stderr);
        std::fflush(stderr);
    } else if (result == WATCH_READ_ERROR) {
        std::fprintf(stderr, "studio: %s (keeping the last version)\n", s->watch.read_error.c_str());
        std::fflush(stderr);
    }
}

CommandContext command_context(Studio *s, double seconds)
{
    CommandContext c{};
    c.transport = &s->transport;
    c.view = &s->view;
    c.editor = &s->editor;
    c.seconds = seconds;
    c.length = music_length();
    c.strip_length = studio_strip_length();
    c.tracks = Tracks;
    c.edit_refusal = edit_refusal(*s);
    c.marks = s->live ? &s->watch.timeline.marks : nullptr;
    return c;
}

// How long a scrub grain sounds.
constexpr uint64_t GRAIN_MS = 90;

// The playhead: the music's position, or where a grain started.
static double playhead(const Studio &s)
{
    return s.transport.grain_on ? s.transport.grain_at : music_position();
}

// Ends a grain: the music paused again, back where the grain started.
static void end_grain(Studio *s)
{
    TransportState &tr = s->transport;
    if (!tr.grain_on)
        return;
    tr.grain_on = false;
    music_pause();
    music_seek(tr.grain_at);
    tr.previous = music_position();
}

// Seeks now and starts the loop's watch from there; while paused (and not
// muted) a short grain of the music at the new place is heard.
static void seek(Studio *s, double seconds)
{
    TransportState &tr = s->transport;
    end_grain(s);
    music_seek(clamp_time(seconds, music_length()));
    tr.previous = music_position();
    if (music_paused() && !tr.muted) {
        tr.grain_on = true;
        tr.grain_at = tr.previous;
        tr.grain_end_ms = SDL_GetTicks64() + GRAIN_MS;
        music_resume();
    }
}

// Half speed ends at full speed, the position going on from where it is.
static void stop_half_speed(Studio *s)
{
    s->transport.half_speed = false;
    music_set_half_speed(false);
}

// Half speed on (playing from where the playhead is, the music an octave
// down) or off (the music playing on from there at full speed).
static void toggle_half_speed(Studio *s)
{
    TransportState &tr = s->transport;
    if (tr.half_speed) {
        stop_half_speed(s);
        music_resume();
        return;
    }
    end_grain(s);
    music_set_half_speed(true);
    music_resume();
    tr.half_speed = true;
}

static void toggle_fullscreen(Studio *s)
{
    s->view.fullscreen = !s->view.fullscreen;
    SDL_SetWindowFullscreen(window, s->view.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

// Hands a command's requests to the music, the window and the source.
static void carry_out(Studio *s, const CommandOut &out)
{
    if (out.seek)
        seek(s, out.seek_to);
    if (out.toggle_half_speed)
        toggle_half_speed(s);
    if (out.toggle_pause && s->transport.half_speed) {
        stop_half_speed(s); // paused where it was
        music_pause();
        s->transport.previous = music_position();
    } else if (out.toggle_pause) {
        end_grain(s);
        if (music_paused())
            music_resume();
        else
            music_pause();
        s->transport.previous = music_position();
    }
    if (out.set_muted)
        music_set_muted(s->transport.muted);
    if (out.toggle_fullscreen)
        toggle_fullscreen(s);
    if (out.quit)
        s->quit = true;
    finish_command(s, out);
}

static void press_key(Studio *s, const SDL_KeyboardEvent &key)
{
    CommandContext c = command_context(s, playhead(*s));
    if (press_command_key(&c, key.keysym.sym, key.keysym.mod, key.repeat != 0))
        carry_out(s, c.out);
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

static SDL_Keymod mods_held()
{
    return SDL_GetModState();
}

static SDL_Rect strip_now()
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    return strip_rect(w, h);
}

// The grid cell under a point (track, line row; row -1 over the heads).
static bool grid_cell(const Studio &s, int x, int y, int *track, int32_t *row)
{
    if (!s.view.hud_on || !s.view.grid_on || s.editor.typing)
        return false;
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    return grid_cell_at(grid_rect(s, w, h), ImGui::GetTextLineHeight(), TIMELINE_TRACK_COUNT,
                        editor_cursor_row(s.editor, playhead(s)), editor_rows_per_line(s.editor), x, y, track,
                        row);
}

static void left_press(Studio *s, int x, int y)
{
    if (curve_press(s, x, y))
        return;
    EditorState *e = &s->editor;
    int track = 0;
    int32_t row = 0;
    if (grid_cell(*s, x, y, &track, &row)) {
        // A click selects the track, and on a line its row; a drag from
        // there draws a block.
        e->column = track;
        e->block_on = false;
        if (row >= 0) {
            e->grid_drag = true;
            e->anchor_track = e->end_track = track;
            e->anchor_row = e->end_row = row;
            s->transport.seek_pending = true;
            s->transport.seek_to = row / STUDIO_ROWS_PER_SECOND;
        }
        return;
    }
    const SDL_Rect strip = strip_now();
    const SDL_Point p = {x, y};
    if (!s->view.hud_on || !SDL_PointInRect(&p, &strip))
        return;
    s->view.strip_drag = true;
    s->view.drag_snaps = (mods_held() & KMOD_SHIFT) == 0;
    const double t = strip_time_in(strip, x, s->view.span);
    s->transport.seek_pending = true;
    s->transport.seek_to = s->view.drag_snaps ? snap_to_beat(t, editor_tempo(s->editor)) : t;
}

static void motion(Studio *s, int x, int y)
{
    EditorState *e = &s->editor;
    if (e->key_drag) {
        curve_motion(s, x, y, (mods_held() & KMOD_SHIFT) == 0, (mods_held() & KMOD_CTRL) != 0);
        return;
    }
    if (e->grid_drag) {
        // The grid scrolls with the playhead, which stays on the press's
        // line while the block is drawn (the seek of the press).
        int w = 0, h = 0;
        SDL_GetRendererOutputSize(renderer, &w, &h);
        int32_t row = 0;
        int track = 0;
        if (grid_cell_at(grid_rect(*s, w, h), ImGui::GetTextLineHeight(), TIMELINE_TRACK_COUNT, e->anchor_row,
                         editor_rows_per_line(*e), x, y, &track, &row) &&
            row >= 0 && (row != e->end_row || track != e->end_track))
            select_block(e, e->anchor_track, e->anchor_row, track, row);
        return;
    }
    const SDL_Rect strip = strip_now();
    if (s->view.loop_drag) {
        s->transport.loop = loop_between(s->view.loop_from, strip_time_in(strip, x, s->view.span), editor_tempo(s->editor));
        return;
    }
    if (s->view.pan_drag) {
        const double per_pixel = (s->view.pan_span.to - s->view.pan_span.from) / strip.w;
        s->view.span = pan_strip(s->view.pan_span, (s->view.pan_x - x) * per_pixel, studio_strip_length());
        return;
    }
    if (s->view.strip_drag) {
        const double t = strip_time_in(strip, x, s->view.span);
        s->transport.seek_pending = true;
        s->transport.seek_to = s->view.drag_snaps ? snap_to_beat(t, editor_tempo(s->editor)) : t;
    }
}

// A drag with the right button on the strip sets the loop between beats.
static void right_press(Studio *s, int x, int y)
{
    const SDL_Rect strip = strip_now();
    const SDL_Point p = {x, y};
    if (!s->view.hud_on || !SDL_PointInRect(&p, &strip))
        return;
    s->view.loop_drag = true;
    s->view.loop_from = strip_time_in(strip, x, s->view.span);
    s->transport.loop = loop_between(s->view.loop_from, s->view.loop_from, editor_tempo(s->editor));
}

static void middle_press(Studio *s, int x, int y)
{
    const SDL_Rect strip = strip_now();
    const SDL_Point p = {x, y};
    if (!s->view.hud_on || !SDL_PointInRect(&p, &strip))
        return;
    s->view.pan_drag = true;
    s->view.pan_x = x;
    s->view.pan_span = s->view.span;
}

static void wheel(Studio *s, int dy, bool pan)
{
    int mx = 0, my = 0;
    SDL_GetMouseState(&mx, &my);
    to_output(&mx, &my);
    const SDL_Rect strip = strip_now();
    const double length = studio_strip_length();
    if (pan) { // a tenth of the view a notch
        const double width = s->view.span.to - s->view.span.from;
        s->view.span = pan_strip(s->view.span, (dy > 0 ? -0.1 : 0.1) * width, length);
        return;
    }
    const SDL_Point p = {mx, my};
    const double around = SDL_PointInRect(&p, &strip) ? strip_time_in(strip, mx, s->view.span) : playhead(*s);
    s->view.span = zoom_strip(s->view.span, dy > 0 ? 0.5 : 2.0, around, length);
}

static void handle_events(Studio *s)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: s->quit = true; break;
        case SDL_KEYDOWN: press_key(s, e.key); break;
        case SDL_MOUSEBUTTONDOWN: {
            int x = e.button.x, y = e.button.y;
            to_output(&x, &y);
            if (e.button.button == SDL_BUTTON_LEFT)
                left_press(s, x, y);
            else if (e.button.button == SDL_BUTTON_MIDDLE)
                middle_press(s, x, y);
            else if (e.button.button == SDL_BUTTON_RIGHT)
                right_press(s, x, y);
            break;
        }
        case SDL_MOUSEMOTION: {
            int x = e.motion.x, y = e.motion.y;
            to_output(&x, &y);
            motion(s, x, y);
            break;
        }
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT) {
                s->view.strip_drag = false;
                s->editor.grid_drag = false;
                curve_release(s);
            } else if (e.button.button == SDL_BUTTON_MIDDLE) {
                s->view.pan_drag = false;
            } else if (e.button.button == SDL_BUTTON_RIGHT) {
                s->view.loop_drag = false;
            }
            break;
        case SDL_MOUSEWHEEL:
            if (e.wheel.y != 0)
                wheel(s, e.wheel.y, (mods_held() & KMOD_SHIFT) != 0);
            else if (e.wheel.x != 0) // a sideways wheel pans as Shift+wheel
                wheel(s, -e.wheel.x, true);
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

static void count_frame(ViewState *v)
{
    const uint64_t now = SDL_GetPerformanceCounter();
    if (v->last_counter != 0) {
        const double dt = static_cast<double>(now - v->last_counter) /
                          static_cast<double>(SDL_GetPerformanceFrequency());
        if (dt > 0.0)
            v->fps = v->fps > 0.0 ? v->fps * 0.9 + (1.0 / dt) * 0.1 : 1.0 / dt;
        v->frame_ms[v->frames++ % ViewState::FRAME_TIMES] = dt * 1000.0;
    }
    v->last_counter = now;
}

void print_frame_times(const ViewState &v)
{
    const int n = std::min(v.frames, ViewState::FRAME_TIMES);
    if (n == 0)
        return;
    std::vector<double> ms(v.frame_ms, v.frame_ms + n), ui(v.ui_ms, v.ui_ms + n);
    std::sort(ms.begin(), ms.end());
    std::sort(ui.begin(), ui.end());
    const size_t mid = static_cast<size_t>(n / 2), p90 = static_cast<size_t>(n * 9 / 10);
    std::printf("studio: last %d frames: median %.2f ms, 90th percentile %.2f ms, max %.2f ms; "
                "the interface: median %.2f ms, 90th percentile %.2f ms\n",
                n, ms[mid], ms[p90], ms.back(), ui[mid], ui[p90]);
    std::fflush(stdout);
}

// The HUD's line on the editor: the selected track, the line, the block.
static std::string editor_line(const Studio &s, double t)
{
    const EditorState &e = s.editor;
    const int32_t row = editor_cursor_row(e, t);
    std::string line = std::string("track ") + TimelineTrackNames[e.column] + "  line " + row_name(row, editor_tempo(e)) +
                       (key_on_line_of(e.model.keys[e.column], row, editor_rows_per_line(e)) >= 0 ? "  key" : "") + "  " +
                       std::to_string(editor_rows_per_line(e)) + " row(s) a line";
    if (e.typing)
        line += std::string(e.typing_for == TYPING_PLACE ? "  go to " : e.typing_for == TYPING_SCALE ? "  scale by " : "  value ") +
                e.typed + "_";
    KeyBlock b;
    if (editor_block(e, &b))
        line += "  block " + std::string(TimelineTrackNames[b.track0]) + ".." + TimelineTrackNames[b.track1] + " " +
                row_name(b.row0, editor_tempo(e)) + ", " + std::to_string(b.row1 - b.row0) + " rows (Escape clears)";
    return line;
}

static void draw_overlays(Studio *s, double t, double previous)
{
    ViewState &v = s->view;
    const double length = studio_strip_length();
    if (!v.span_set || v.span.to > length + 1e-9) {
        v.span = StripSpan{0.0, length};
        v.span_set = true;
    }
    // The view pages along only when the playhead leaves it (playing past
    // its end, a seek out of it); a view zoomed or panned away from the
    // playhead stays where it is.
    if (!v.pan_drag)
        v.span = follow_playhead(v.span, previous, t, length);
    begin_ui_frame(renderer);
    if (v.hud_on) {
        HudState hs{t, length, v.span, v.fps,
                    music_paused() || s->transport.grain_on, s->transport.muted, s->transport.loop, v.help_on,
                    v.grid_on, {}, &s->waveform, v.strip_drag || v.pan_drag || v.loop_drag, s->transport.half_speed,
                    editor_tempo(s->editor), s->live ? &s->watch.timeline.marks : nullptr, &s->declared};
        if (s->watch.unreadable)
            hs.notices.push_back({s->watch.read_error + " (keeping the last version; editing is off)", true});
        if (s->live && !s->watch.errors.empty())
            hs.notices.push_back({"editing is off until the source parses again", true});
        if (s->code) {
            const std::string notice = live_code_notice(*s->code, SDL_GetTicks64());
            if (!notice.empty())
                hs.notices.push_back({notice, !s->code->errors.empty()});
        }
        if (!s->editor.message.empty() && SDL_GetTicks64() < s->editor.message_until_ms)
            hs.notices.push_back({s->editor.message, s->editor.message_warn});
        if (s->live)
            hs.notices.push_back({editor_line(*s, t), false});
        if (const auto serving = serve_notice(s->serve); !serving.first.empty())
            hs.notices.push_back(serving);
        v.grid_top = static_cast<int>(draw_hud(hs)) + 4;
        if (v.grid_on)
            draw_grid(*s, t);
        if (v.curve_on)
            draw_curve(*s, t);
    }
    const std::string errors = s->watch.errors + (s->code ? s->code->errors : "") + (s->guard ? s->guard->errors : "");
    if (!errors.empty())
        draw_error_box(errors);
    end_ui_frame(renderer);
}

void run_studio_frame(Studio *s)
{
    const double before = s->transport.previous; // the playhead the strip last showed
    handle_events(s);
    if (s->transport.seek_pending) {
        s->transport.seek_pending = false;
        seek(s, s->transport.seek_to);
    }
    std::string said;
    const SaveOutcome save = s->live ? poll_source_save(&s->saver, &s->watch, &said) : SAVE_NONE;
    take_save_outcome(s, save, said);
    if (s->live && SDL_GetTicks64() >= s->next_poll_ms) {
        s->next_poll_ms = SDL_GetTicks64() + STUDIO_POLL_MS;
        take_watch_result(s, poll_timeline_watch(&s->watch));
    }

    if (s->code) {
        poll_live_code(s->code, SDL_GetTicks64()); // a new library swaps in here, between frames
        if (s->guard)
            follow_live_code(s->guard, *s->code);
        if (s->live && s->code->swaps != s->declared_at_swaps) {
            s->declared_at_swaps = s->code->swaps;
            read_declared_tracks(s);
        }
    }

    if (s->transport.grain_on && SDL_GetTicks64() >= s->transport.grain_end_ms)
        end_grain(s);
    double t = playhead(*s);
    const double wrapped = wrap_loop(s->transport.loop, s->transport.previous, t, music_length());
    if (wrapped != t) {
        music_seek(wrapped);
        t = wrapped;
    }
    s->transport.previous = t;
    serve_studio_frame(s, t);

    const SceneLibraryTable *library = s->guard ? guarded_table(*s->guard) : s->code ? live_scenes(*s->code) : nullptr;
    set_shown_captions(library ? library->captions : nullptr);
    if (s->guard) {
        s->guard->escape_quits = !s->editor.typing && !s->editor.block_on; // as cmd_escape
        draw_guarded_picture(s->guard, t);
    }
    else
        draw_picture(t, s->code ? live_scenes(*s->code) : nullptr);
    if (s->view.snapshot_asked) {
        s->view.snapshot_asked = false;
        take_snapshot(t);
    }

    const DrawState saved = save_draw_state();
    show_picture();
    // Measuring, the interface's own drawing is flushed out of the queue so
    // its time counts here, not at the present.
    if (s->view.timing)
        SDL_RenderFlush(renderer);
    const uint64_t ui_start = SDL_GetPerformanceCounter();
    draw_overlays(s, t, before);
    if (s->view.timing)
        SDL_RenderFlush(renderer);
    s->view.ui_ms[s->view.frames % ViewState::FRAME_TIMES] =
        static_cast<double>(SDL_GetPerformanceCounter() - ui_start) * 1000.0 /
        static_cast<double>(SDL_GetPerformanceFrequency());
    restore_draw_state(saved);

    SDL_RenderPresent(renderer);
    music_update();
    count_frame(&s->view);
}
