// overlays.cpp - the studio's interface over its picture: the HUD's state
// gathered from the studio's, the editor's grid and curve, the error box.
#include "studio/overlays.h"

#include <SDL.h>

#include <string>

#include "studio/editor/commands.h"
#include "studio/editor/key_edit.h"
#include "studio/live/guarded_scenes.h"
#include "studio/live/live_code.h"
#include "studio/music.h"
#include "studio/studio_state.h"
#include "studio/view/grid.h"
#include "studio/view/hud.h"
#include "studio/view/strip.h"
#include "studio/view/ui_render.h"

// The HUD's line on the editor: the selected track, the line, the block.
static std::string editor_line(const Studio &s, double t)
{
    const EditorState &e = s.editor;
    const int32_t row = editor_cursor_row(e, t);
    std::string line = std::string("track ") + key_editor_track_name(e.model, e.column) + "  line " + row_name(row, editor_tempo(e)) +
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

// The strip's span for this frame.
static void follow_strip_span(ViewState *v, bool panning, double t, double previous, double length)
{
    if (!v->span_set || v->span.to > length + 1e-9) {
        v->span = StripSpan{0.0, length};
        v->span_set = true;
    }
    // The view pages along only when the playhead leaves it (playing past
    // its end, a seek out of it); a view zoomed or panned away from the
    // playhead stays where it is.
    if (!panning)
        v->span = follow_playhead(v->span, previous, t, length);
}

// The lines under the HUD's values: the source's state, the live code, the
// editor's message and line, the followers served.
static void add_hud_notices(const Studio &s, double t, HudState *hs)
{
    if (s.watch.unreadable)
        hs->notices.push_back({s.watch.read_error + " (keeping the last version; editing is off)", true});
    if (s.live && !s.watch.errors.empty())
        hs->notices.push_back({"editing is off until the source parses again", true});
    if (s.code) {
        const std::string notice = live_code_notice(*s.code, SDL_GetTicks64());
        if (!notice.empty())
            hs->notices.push_back({notice, !s.code->errors.empty()});
    }
    if (!s.editor.message.empty() && SDL_GetTicks64() < s.editor.message_until_ms)
        hs->notices.push_back({s.editor.message, s.editor.message_warn});
    if (s.live)
        hs->notices.push_back({editor_line(s, t), false});
    if (const auto serving = serve_notice(s.serve); !serving.first.empty())
        hs->notices.push_back(serving);
    if (s.music_changed)
        hs->notices.push_back({std::string("restart needed: ") + MUSIC_FILE +
                                   " changed (the studio plays the music it started with)",
                               true});
}

// What the HUD shows of the frame at music time t, drawn at `time`.
static HudState hud_state(Studio *s, double t, const FrameTime &time, double length)
{
    const ViewState &v = s->view;
    const TransportState &tr = s->transport;
    HudState hs{
        .seconds = t,
        .time = time,
        .length = length,
        .span = v.span,
        .fps = v.fps,
        .paused = music_paused() || tr.grain_on,
        .muted = tr.muted,
        .loop = tr.loop,
        .help = v.help_on,
        .compact = v.grid_on,
        .notices = {},
        .waveform = &s->waveform,
        .strip_held = gesture_holds_strip(s->gesture),
        .half_speed = tr.half_speed,
        .tempo = editor_tempo(s->editor),
        .marks = s->live ? &s->watch.timeline.marks : nullptr,
        .declared = &s->declared,
    };
    add_hud_notices(*s, t, &hs);
    return hs;
}

void draw_studio_overlays(Studio *s, double t, const FrameTime &time, double previous, double length)
{
    ViewState &v = s->view;
    follow_strip_span(&v, s->gesture.drag == HOLD_PAN, t, previous, length);
    begin_ui_frame(renderer);
    if (v.hud_on) {
        v.grid_top = static_cast<int>(draw_hud(hud_state(s, t, time, length))) + 4;
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

