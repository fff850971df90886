// studio.cpp - the studio's frame: events and the transport, the timeline
// poll, the picture, and the interface over it (overlays.cpp) timed.
#include "studio/studio.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "state/state.h"
#include "studio/command_frame.h"
#include "studio/editor/play_keys.h"
#include "studio/live/guarded_scenes.h"
#include "studio/live/live_code.h"
#include "studio/music.h"
#include "studio/overlays.h"
#include "studio/view/grid.h"
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
    s->view.grid_columns = TIMELINE_TRACK_COUNT + static_cast<int>(s->declared.size());
}

void take_watch_result(Studio *s, WatchResult result)
{
    std::string export_error;
    if (take_track_export_error(&s->track_export, &export_error)) {
        std::fprintf(stderr, "studio: %s\n", export_error.c_str());
        show_message(s, export_error, true);
    }
    if (result == WATCH_NEW_TIMELINE) {
        play_version(timeline_version(s->watch.timeline)); // the declared tracks' too
        request_track_export(&s->track_export, s->watch.timeline);
        // A version from outside starts a new history: the old steps name
        // lines of a text that is gone.
        if (!s->editor.model.undo.empty() || !s->editor.model.redo.empty())
            show_message(s, "the source changed outside the studio: undo history cleared", true);
        drop_key_drag(&s->gesture);
        s->editor.undo_names.clear();
        s->editor.redo_names.clear();
        load_key_editor(&s->editor.model, s->watch.taken, s->watch.timeline);
        if (s->editor.column >= static_cast<int>(s->editor.model.keys.size()))
            s->editor.column = 0; // a declared track that went
    } else if (result == WATCH_NEW_ERRORS) {
        s->editor.typing = false;
        std::fputs(s->watch.errors.c_str(), stderr);
        std::fflush(stderr);
    } else if (result == WATCH_READ_ERROR) {
        std::fprintf(stderr, "studio: %s (keeping the last version)\n", s->watch.read_error.c_str());
        std::fflush(stderr);
    }
}

// The scene library drawing the picture: the guarded one, else the live
// code's; null: the studio's own scenes.
static const SceneLibraryTable *drawing_library(const Studio &s)
{
    return s.guard ? guarded_table(*s.guard) : s.code ? live_scenes(*s.code) : nullptr;
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
    c.gesture = &s->gesture;
    c.shown = drawing_library(*s);
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

// The frame's inputs, read once for all of its events.
struct EventInputs {
    FrameInputs frame;
    int window_w = 0, window_h = 0; // in window points
};

static EventInputs read_event_inputs()
{
    SDL_PumpEvents(); // the modifiers as of the events about to be taken
    EventInputs in;
    SDL_GetRendererOutputSize(renderer, &in.frame.w, &in.frame.h);
    SDL_GetWindowSize(window, &in.window_w, &in.window_h);
    in.frame.line_h = ImGui::GetTextLineHeight();
    in.frame.mods = static_cast<uint16_t>(SDL_GetModState());
    return in;
}

static void press_key(Studio *s, const EventInputs &in, const SDL_KeyboardEvent &key)
{
    CommandContext c = command_context(s, playhead(*s));
    c.frame = in.frame;
    if (press_command_key(&c, key.keysym.sym, key.keysym.mod, key.repeat != 0))
        carry_out(s, c.out);
}

// A mouse gesture at window point (x, y), in renderer pixels (they differ
// from window points on scaled displays).
static void gesture(Studio *s, const EventInputs &in, GesturePhase phase, GestureInput input, int x, int y,
                    int notches = 0)
{
    if (phase != GESTURE_PRESS && phase != GESTURE_TURN && s->gesture.drag == HOLD_NONE)
        return; // a pointer moved or a button let go with nothing held
    GestureEvent event;
    event.phase = phase;
    event.input = input;
    event.notches = notches;
    event.x = x;
    event.y = y;
    if (in.window_w > 0 && in.window_h > 0) {
        event.x = static_cast<int>(static_cast<int64_t>(x) * in.frame.w / in.window_w);
        event.y = static_cast<int>(static_cast<int64_t>(y) * in.frame.h / in.window_h);
    }
    CommandContext c = command_context(s, playhead(*s));
    c.frame = in.frame;
    if (run_gesture(&c, event))
        carry_out(s, c.out);
}

static GestureInput button_input(uint8_t button)
{
    return button == SDL_BUTTON_LEFT ? INPUT_LEFT : button == SDL_BUTTON_MIDDLE ? INPUT_MIDDLE
           : button == SDL_BUTTON_RIGHT ? INPUT_RIGHT : INPUT_KEY;
}

static void handle_events(Studio *s)
{
    const EventInputs in = read_event_inputs();
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: s->quit = true; break;
        case SDL_KEYDOWN: press_key(s, in, e.key); break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (button_input(e.button.button) != INPUT_KEY)
                gesture(s, in, e.type == SDL_MOUSEBUTTONDOWN ? GESTURE_PRESS : GESTURE_RELEASE,
                        button_input(e.button.button), e.button.x, e.button.y);
            break;
        case SDL_MOUSEMOTION: gesture(s, in, GESTURE_MOVE, INPUT_LEFT, e.motion.x, e.motion.y); break;
        case SDL_MOUSEWHEEL: {
            int mx = 0, my = 0;
            SDL_GetMouseState(&mx, &my);
            if (e.wheel.y != 0)
                gesture(s, in, GESTURE_TURN, INPUT_WHEEL, mx, my, e.wheel.y);
            else if (e.wheel.x != 0) // a sideways wheel pans as Shift+wheel
                gesture(s, in, GESTURE_TURN, INPUT_WHEEL_SIDEWAYS, mx, my, -e.wheel.x);
            break;
        }
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

// Whether the music file changed since the first look (its identity).
static void look_at_music(Studio *s)
{
    const FileIdentity id = identity_of_path(MUSIC_FILE);
    if (!s->music_seen.valid)
        s->music_seen = id;
    else if (id.valid && !same_identity(id, s->music_seen))
        s->music_changed = true;
}

// Between frames: a finished save, the timeline source and the music file
// when due, and the live scene code (a new library swaps in here).
static void poll_sources(Studio *s)
{
    std::string said;
    const SaveOutcome save = s->live ? poll_source_save(&s->saver, &s->watch, &said) : SAVE_NONE;
    take_save_outcome(s, save, said);
    if (SDL_GetTicks64() >= s->next_poll_ms) {
        s->next_poll_ms = SDL_GetTicks64() + STUDIO_POLL_MS;
        if (s->live)
            take_watch_result(s, poll_timeline_watch(&s->watch));
        look_at_music(s);
    }
    if (s->code) {
        poll_live_code(s->code, SDL_GetTicks64());
        if (s->guard)
            follow_live_code(s->guard, *s->code);
        if (s->live && s->code->swaps != s->declared_at_swaps) {
            s->declared_at_swaps = s->code->swaps;
            read_declared_tracks(s);
        }
    }
}

// The frame's music time: a grain ended when due, the loop wrapped; the
// followers are told.
static double advance_playhead(Studio *s)
{
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
    return t;
}

// The picture of music time t (the live scenes under the guard when there
// is one), and the snapshot asked for; returns the frame's Row and Tick.
static FrameTime draw_studio_picture(Studio *s, double t)
{
    FrameTime time;
    set_shown_library(drawing_library(*s));
    if (s->guard) {
        s->guard->escape_quits = !s->editor.typing && !s->editor.block_on; // as cmd_escape
        time = draw_guarded_picture(s->guard, t);
    } else {
        time = draw_picture(t, s->code ? live_scenes(*s->code) : nullptr);
    }
    if (s->view.snapshot_asked) {
        s->view.snapshot_asked = false;
        take_snapshot(t);
    }
    return time;
}

// The picture letterboxed into the window with the interface over it; the
// interface's time is kept for print_frame_times.
static void show_studio_window(Studio *s, double t, const FrameTime &time, double previous)
{
    const DrawState saved = save_draw_state();
    show_picture();
    // Measuring, the interface's own drawing is flushed out of the queue so
    // its time counts here, not at the present.
    if (s->view.timing)
        SDL_RenderFlush(renderer);
    const uint64_t ui_start = SDL_GetPerformanceCounter();
    draw_studio_overlays(s, t, time, previous, studio_strip_length());
    if (s->view.timing)
        SDL_RenderFlush(renderer);
    s->view.ui_ms[s->view.frames % ViewState::FRAME_TIMES] =
        static_cast<double>(SDL_GetPerformanceCounter() - ui_start) * 1000.0 /
        static_cast<double>(SDL_GetPerformanceFrequency());
    restore_draw_state(saved);
}

void run_studio_frame(Studio *s)
{
    const double before = s->transport.previous; // the playhead the strip last showed
    handle_events(s);
    if (s->transport.seek_pending) {
        s->transport.seek_pending = false;
        seek(s, s->transport.seek_to);
    }
    poll_sources(s);
    const double t = advance_playhead(s);
    const FrameTime time = draw_studio_picture(s, t);
    show_studio_window(s, t, time, before);
    SDL_RenderPresent(renderer);
    music_update();
    count_frame(&s->view);
}
