// command_frame.cpp - the frame's side of the key editor's commands: whether
// the source may be edited, a save request for every edit (files/save.h
// writes the source; an edit it refuses at once is taken back), the tracks
// the frame reads kept to a key held in the curve view, and the HUD's line.
#include "studio/command_frame.h"

#include <SDL.h>

#include "state/state.h"
#include "studio/editor/edit_steps.h"
#include "studio/editor/play_keys.h"
#include "studio/files/save.h"
#include "studio/studio_state.h"
#include "sync/track.h"

constexpr uint64_t MESSAGE_MS = 4000;

void show_message(Studio *s, const std::string &text, bool warn)
{
    s->editor.message = text;
    s->editor.message_warn = warn;
    s->editor.message_until_ms = SDL_GetTicks64() + MESSAGE_MS;
}

const char *edit_refusal(const Studio &s)
{
    if (!s.live)
        return "no timeline source: start the studio with TIMELINE to edit keys";
    if (!s.watch.errors.empty())
        return "editing is off while the source does not parse (see the box)";
    if (s.watch.unreadable)
        return "editing is off while the file cannot be read";
    if (timeline_changed_outside(s.watch))
        return "the file changed on disk: taking that version first";
    if (!s.editor.model.loaded)
        return "no source loaded";
    return nullptr;
}

// A context for an edit made outside a command.
static CommandContext edit_context(Studio *s)
{
    CommandContext c{};
    c.transport = &s->transport;
    c.view = &s->view;
    c.editor = &s->editor;
    c.length = c.strip_length = 1.0;
    c.tracks = Tracks;
    c.edit_refusal = edit_refusal(*s);
    c.gesture = &s->gesture;
    return c;
}

bool finish_command(Studio *s, const CommandOut &out)
{
    EditorState *e = &s->editor;
    if (out.preview_track >= 0)
        play_version(track_version(e->model, out.preview_track, out.preview));
    if (out.poll_now)
        s->next_poll_ms = 0;
    bool saved = true;
    if (out.save != SOURCE_UNCHANGED) {
        std::string why;
        if (!request_source_save(&s->saver, &s->watch, e->model, &why)) {
            // Refused at once (a failure of the save itself is said when
            // it comes): the model goes back to where it was before.
            take_back_step(e, out.save);
            show_message(s, "not saved: " + why, true);
            saved = false;
        } else {
            play_version(editor_version(e->model)); // the edit plays from the next frame
        }
    }
    if (out.restore_track >= 0)
        play_version(track_version(e->model, out.restore_track, e->model.keys[out.restore_track]));
    if (saved && out.said)
        show_message(s, e->message, e->message_warn);
    return saved;
}

bool commit_edit(Studio *s, const std::vector<std::pair<int, KeyList>> &changes, const std::string &name)
{
    CommandContext c = edit_context(s);
    const bool done = edit_keys(&c, changes, name);
    return finish_command(s, c.out) && done;
}
