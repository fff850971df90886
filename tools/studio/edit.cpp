// edit.cpp - the key editor's commands: keys at the playhead on the selected
// track, undo and redo, copy and paste of bars, the curve view's drag, and
// the save of every edit into the timeline source.
#include "studio/studio.h"

#include <sys/stat.h>

#include <charconv>
#include <cstring>
#include <cmath>

#include "common/safe_write.h"
#include "studio/music.h"
#include "state/state.h"
#include "sync/device.h"
#include "sync/track.h"

constexpr uint64_t MESSAGE_MS = 4000;

// The nudge step of a track (small or large): whole steps for the
// selectors, colour steps of 1 and 16, camera steps that show on the
// picture; 1 and 10 for a track not listed.
static float nudge_step(int track, bool large)
{
    switch (track) {
    case TRACK_SCENE: return 1.0f;
    case TRACK_CLEAR_R:
    case TRACK_CLEAR_G:
    case TRACK_CLEAR_B: return large ? 16.0f : 1.0f;
    case TRACK_CAM_ROT: return large ? 0.5f : 0.05f;
    case TRACK_CAM_DIST: return large ? 50.0f : 5.0f;
    case TRACK_CAM_HORI: return large ? 5.0f : 1.0f;
    default: return large ? 10.0f : 1.0f;
    }
}

void show_message(Studio *s, const std::string &text, bool warn)
{
    s->message = text;
    s->message_warn = warn;
    s->message_until_ms = SDL_GetTicks64() + MESSAGE_MS;
}

int grid_rows(const Studio &s)
{
    return 1 << s.zoom;
}

int32_t cursor_row(const Studio &s, double seconds)
{
    const double row = std::floor(seconds * STUDIO_ROWS_PER_SECOND + 1e-6);
    const int32_t r = row > 0.0 ? static_cast<int32_t>(row) : 0;
    return r - r % grid_rows(s);
}

int key_on_line(const Studio &s, int track, int32_t row)
{
    const KeyList &keys = s.editor.keys[track];
    const int i = key_at_or_before(keys, row + grid_rows(s) - 1);
    return i >= 0 && keys[i].row >= row ? i : -1;
}

// ---- Saving -------------------------------------------------------------------

static bool same_keys(const KeyList &a, const std::vector<SyncKey> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].row != b[i].row || a[i].kind != b[i].kind ||
            std::memcmp(&a[i].value, &b[i].value, sizeof(float)) != 0)
            return false;
    return true;
}

// Writes the editor's source over the file (temporary file, then rename,
// with the old file's permissions) and tells the watch it was us. The text
// is parsed first and must give exactly the editor's keys.
static bool save_source(Studio *s, std::string *why)
{
    const std::string text = key_editor_text(s->editor);
    Timeline parsed;
    std::string errors;
    if (!parse_timeline(text, s->watch.path, &parsed, &errors)) {
        *why = "the rewritten source does not parse: " + errors.substr(0, errors.find('\n'));
        return false;
    }
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        std::vector<SyncKey> keys;
        for (const auto &k : parsed.tracks[t].keys)
            keys.push_back(SyncKey{k.row, k.value, k.kind});
        if (!same_keys(s->editor.keys[t], keys)) {
            *why = std::string("the rewritten source reads back differently in track ") + TimelineTrackNames[t];
            return false;
        }
    }
    struct stat st;
    const bool had_mode = stat(s->watch.path.c_str(), &st) == 0;
    if (!write_temporary_file(s->watch.path, text.data(), text.size(), why))
        return false;
    const std::string tmp = temporary_path_for(s->watch.path);
    if (had_mode)
        chmod(tmp.c_str(), st.st_mode & 07777);
    struct stat written;
    const bool have_written = stat(tmp.c_str(), &written) == 0;
    if (!replace_with_temporary_file(s->watch.path, why))
        return false;
    note_own_save(&s->watch, text, parsed, have_written ? &written : nullptr);
    if (!apply_timeline(parsed, Tracks, TRACK_COUNT))
        *why = "out of memory while replacing the tracks";
    request_track_export(&s->track_export, parsed);
    return true;
}

static bool can_edit(Studio *s)
{
    if (!s->live) {
        show_message(s, "no timeline source: start the studio with TIMELINE to edit keys", true);
        return false;
    }
    if (!s->watch.errors.empty()) {
        show_message(s, "editing is off while the source does not parse (see the box)", true);
        return false;
    }
    if (timeline_changed_outside(s->watch)) {
        show_message(s, "the file changed on disk: taking that version first", true);
        s->next_poll_ms = 0;
        return false;
    }
    if (!s->editor.loaded) {
        show_message(s, "no source loaded", true);
        return false;
    }
    return true;
}

bool commit_edit(Studio *s, const std::vector<std::pair<int, KeyList>> &changes)
{
    if (!can_edit(s))
        return false;
    if (!apply_key_edit(&s->editor, changes))
        return false; // nothing changed
    std::string why;
    if (!save_source(s, &why)) {
        std::vector<int> tracks;
        undo_key_edit(&s->editor, &tracks);
        s->editor.redo.clear();
        show_message(s, "not saved: " + why, true);
        return false;
    }
    return true;
}

static void replay_step(Studio *s, bool redo)
{
    if (!can_edit(s))
        return;
    std::vector<int> tracks;
    if (!(redo ? redo_key_edit(&s->editor, &tracks) : undo_key_edit(&s->editor, &tracks))) {
        show_message(s, redo ? "nothing to redo" : "nothing to undo", false);
        return;
    }
    std::string why;
    if (!save_source(s, &why)) {
        // Put the step back where it came from.
        redo ? undo_key_edit(&s->editor, &tracks) : redo_key_edit(&s->editor, &tracks);
        show_message(s, "not saved: " + why, true);
    }
}

// ---- Commands at the playhead ------------------------------------------------------

static void seek_row(int32_t row)
{
    music_seek(row / STUDIO_ROWS_PER_SECOND);
}

static int32_t kind_before(const KeyList &keys, int32_t row)
{
    const int i = key_at_or_before(keys, row);
    return i >= 0 ? keys[i].kind : INTERP_HOLD;
}

static void insert_here(Studio *s)
{
    const int t = s->column;
    const int32_t row = cursor_row(*s, music_position());
    if (key_on_line(*s, t, row) >= 0) {
        show_message(s, "a key is already on this line", false);
        return;
    }
    KeyList keys = s->editor.keys[t];
    const float value = static_cast<float>(track_value_at(Tracks[t], row));
    insert_key(&keys, SyncKey{row, value, kind_before(keys, row)});
    commit_edit(s, {{t, keys}});
}

static void set_value_here(Studio *s, float value)
{
    const int t = s->column;
    const int32_t row = cursor_row(*s, music_position());
    KeyList keys = s->editor.keys[t];
    const int i = key_on_line(*s, t, row);
    if (i >= 0)
        keys[i].value = value;
    else
        insert_key(&keys, SyncKey{row, value, kind_before(keys, row)});
    commit_edit(s, {{t, keys}});
}

static void take_typed(Studio *s)
{
    s->typing = false;
    float v = 0.0f;
    const char *b = s->typed.data(), *e = b + s->typed.size();
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) {
        show_message(s, "not a number: '" + s->typed + "'", true);
        return;
    }
    set_value_here(s, v);
}

static void nudge_here(Studio *s, int direction, bool large)
{
    const int t = s->column;
    const int32_t row = cursor_row(*s, music_position());
    const int i = key_on_line(*s, t, row);
    const float base = i >= 0 ? s->editor.keys[t][i].value : static_cast<float>(track_value_at(Tracks[t], row));
    set_value_here(s, base + direction * nudge_step(t, large));
}

// The index of the selected track's key on the playhead's line, or -1 after
// saying on the HUD that there is none.
static int key_here_or_say(Studio *s)
{
    const int i = key_on_line(*s, s->column, cursor_row(*s, music_position()));
    if (i < 0)
        show_message(s, "no key on this line", false);
    return i;
}

static void cycle_kind_here(Studio *s)
{
    const int t = s->column;
    const int i = key_here_or_say(s);
    if (i < 0)
        return;
    KeyList keys = s->editor.keys[t];
    keys[i].kind = (keys[i].kind + 1) % 4;
    commit_edit(s, {{t, keys}});
}

static void delete_here(Studio *s)
{
    const int t = s->column;
    const int i = key_here_or_say(s);
    if (i < 0)
        return;
    KeyList keys = s->editor.keys[t];
    keys.erase(keys.begin() + i);
    commit_edit(s, {{t, keys}});
}

static void move_here(Studio *s, int32_t delta)
{
    const int t = s->column;
    const int i = key_here_or_say(s);
    if (i < 0)
        return;
    KeyList keys = s->editor.keys[t];
    const int32_t from = keys[i].row;
    if (static_cast<int64_t>(from) + delta > INT32_MAX) {
        show_message(s, "not moved: past the last row", true);
        return;
    }
    std::string why;
    if (!move_key(&keys, from, from + delta, &why)) {
        show_message(s, "not moved: " + why, true);
        return;
    }
    if (commit_edit(s, {{t, keys}}))
        seek_row(from + delta); // the cursor goes with the key
}

static void jump_key(Studio *s, int direction)
{
    const KeyList &keys = s->editor.keys[s->column];
    const int32_t row = cursor_row(*s, music_position());
    if (direction > 0) {
        const int i = key_at_or_before(keys, row + grid_rows(*s) - 1) + 1;
        if (i < static_cast<int>(keys.size()))
            seek_row(keys[i].row);
    } else {
        const int i = key_at_or_before(keys, row - 1);
        if (i >= 0)
            seek_row(keys[i].row);
    }
}

// The bars copy and paste act on: the loop's bars when a loop is set, else
// the bar of the playhead.
static void bar_range(const Studio &s, int32_t *from, int32_t *length)
{
    if (s.loop.stage == 2) {
        *from = s.loop.start_row;
        *length = s.loop.end_row - s.loop.start_row;
        return;
    }
    const int32_t row = cursor_row(s, music_position());
    *from = row - row % ROWS_PER_BAR;
    *length = ROWS_PER_BAR;
}

static void copy_bars(Studio *s)
{
    int32_t from = 0, length = 0;
    bar_range(*s, &from, &length);
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
        s->clip[t] = copy_keys(s->editor.keys[t], from, length);
    s->clip_rows = length;
    show_message(s, "copied " + std::to_string(length / ROWS_PER_BAR) + " bar(s) from " + bar_beat(from), false);
}

static void paste_bars(Studio *s)
{
    if (s->clip_rows <= 0) {
        show_message(s, "nothing copied (Ctrl+C copies the bar or the loop's bars)", false);
        return;
    }
    const int32_t row = cursor_row(*s, music_position());
    const int32_t at = row - row % ROWS_PER_BAR;
    std::vector<std::pair<int, KeyList>> changes;
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        KeyList keys = s->editor.keys[t];
        paste_keys(&keys, s->clip[t], at, s->clip_rows);
        changes.push_back({t, keys});
    }
    if (commit_edit(s, changes))
        show_message(s, "pasted at " + bar_beat(at), false);
}

// ---- Keys ------------------------------------------------------------------------

static int typed_digit(SDL_Keycode k)
{
    if (k >= SDLK_0 && k <= SDLK_9)
        return '0' + (k - SDLK_0);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return '1' + (k - SDLK_KP_1);
    if (k == SDLK_KP_0)
        return '0';
    if (k == SDLK_PERIOD || k == SDLK_KP_PERIOD)
        return '.';
    return 0;
}

static bool press_typing_key(Studio *s, SDL_Keycode k)
{
    if (const int c = typed_digit(k)) {
        s->typed += static_cast<char>(c);
        return true;
    }
    switch (k) {
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        if (!s->typed.empty() && s->typed[0] == '-')
            s->typed.erase(0, 1);
        else
            s->typed.insert(0, "-");
        return true;
    case SDLK_BACKSPACE:
        if (!s->typed.empty())
            s->typed.pop_back();
        return true;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        take_typed(s);
        return true;
    case SDLK_ESCAPE:
        s->typing = false;
        return true;
    default:
        return false;
    }
}

bool press_edit_key(Studio *s, const SDL_KeyboardEvent &key)
{
    const SDL_Keycode k = key.keysym.sym;
    const Uint16 mod = key.keysym.mod;
    const bool shift = (mod & KMOD_SHIFT) != 0, ctrl = (mod & KMOD_CTRL) != 0, alt = (mod & KMOD_ALT) != 0;
    if (s->typing)
        return press_typing_key(s, k);
    if (ctrl && k == SDLK_z) {
        replay_step(s, shift);
        return true;
    }
    if (ctrl && k == SDLK_y) {
        replay_step(s, true);
        return true;
    }
    if (!s->grid_on && !s->curve_on)
        return false;
    if (ctrl && (k == SDLK_LEFT || k == SDLK_RIGHT)) {
        s->column = (s->column + (k == SDLK_RIGHT ? 1 : TIMELINE_TRACK_COUNT - 1)) % TIMELINE_TRACK_COUNT;
        return true;
    }
    if (ctrl && (k == SDLK_UP || k == SDLK_DOWN)) {
        nudge_here(s, k == SDLK_UP ? 1 : -1, shift);
        return true;
    }
    if (alt && (k == SDLK_UP || k == SDLK_DOWN)) {
        move_here(s, (k == SDLK_DOWN ? 1 : -1) * (shift ? ROWS_PER_BEAT : 1));
        return true;
    }
    if (ctrl && k == SDLK_c) {
        copy_bars(s);
        return true;
    }
    if (ctrl && k == SDLK_v) {
        paste_bars(s);
        return true;
    }
    if (ctrl || alt)
        return false;
    if (typed_digit(k) && !shift) {
        s->typing = true;
        s->typed = std::string(1, static_cast<char>(typed_digit(k)));
        return true;
    }
    switch (k) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: insert_here(s); return true;
    case SDLK_DELETE:
    case SDLK_BACKSPACE: delete_here(s); return true;
    case SDLK_k: cycle_kind_here(s); return true;
    case SDLK_LEFTBRACKET: jump_key(s, -1); return true;
    case SDLK_RIGHTBRACKET: jump_key(s, 1); return true;
    case SDLK_UP:
    case SDLK_DOWN: {
        const int32_t row = cursor_row(*s, music_position()) + (k == SDLK_DOWN ? grid_rows(*s) : -grid_rows(*s));
        seek_row(row > 0 ? row : 0);
        return true;
    }
    case SDLK_g: s->zoom = (s->zoom + 1) % 4; return true;
    default: return false;
    }
}

// ---- The curve view's drag -------------------------------------------------------

// The value range the curve view shows for a track: its keys' values, with
// a margin; at least one unit high.
void curve_value_range(const KeyList &keys, float *lo, float *hi)
{
    float a = 0.0f, b = 1.0f;
    if (!keys.empty()) {
        a = b = keys[0].value;
        for (const SyncKey &k : keys) {
            a = std::min(a, k.value);
            b = std::max(b, k.value);
        }
    }
    if (b - a < 1.0f) {
        const float mid = (a + b) * 0.5f;
        a = mid - 0.5f;
        b = mid + 0.5f;
    }
    const float margin = (b - a) * 0.1f;
    *lo = a - margin;
    *hi = b + margin;
}

static int window_w()
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    return w;
}

static int window_h()
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    return h;
}

bool curve_press(Studio *s, int x, int y)
{
    if (!s->curve_on || !s->hud_on)
        return false;
    const SDL_Rect r = curve_rect(*s, window_w(), window_h());
    const SDL_Point p = {x, y};
    if (!SDL_PointInRect(&p, &r))
        return false;
    const KeyList &keys = s->editor.keys[s->column];
    float lo = 0, hi = 1;
    curve_value_range(keys, &lo, &hi);
    for (const SyncKey &k : keys) {
        const float kx = strip_x_in(r, k.row / STUDIO_ROWS_PER_SECOND, s->span);
        const float ky = r.y + r.h - (k.value - lo) / (hi - lo) * r.h;
        if (std::fabs(kx - x) <= 6 && std::fabs(ky - y) <= 6) {
            if (!can_edit(s))
                return true;
            s->key_drag = true;
            s->drag_before = keys;
            s->drag_from = k.row;
            s->drag_now = k;
            return true;
        }
    }
    return true; // a press on the view itself does nothing else
}

// The keys with the dragged key where it is now, or false when it would
// land on another key.
static bool dragged_keys(const Studio &s, KeyList *keys)
{
    *keys = s.drag_before;
    remove_key(keys, s.drag_from);
    return insert_key(keys, s.drag_now);
}

void curve_motion(Studio *s, int x, int y, bool snap)
{
    if (!s->key_drag)
        return;
    const SDL_Rect r = curve_rect(*s, window_w(), window_h());
    float lo = 0, hi = 1;
    curve_value_range(s->drag_before, &lo, &hi);
    double t = strip_time_in(r, x, s->span);
    if (snap)
        t = snap_to_beat(t);
    const double row = std::round(t * STUDIO_ROWS_PER_SECOND);
    s->drag_now.row = row > 0.0 ? static_cast<int32_t>(row) : 0;
    // The value to a round step of about a hundredth of the view's range,
    // so a dragged key is written as 412 or 0.35, not 412.34567.
    const double raw = lo + (hi - lo) * static_cast<double>(r.y + r.h - y) / r.h;
    const double step = std::pow(10.0, std::floor(std::log10((hi - lo) / 100.0)));
    s->drag_now.value = static_cast<float>(std::round(raw / step) * step);
    KeyList keys;
    if (dragged_keys(*s, &keys)) // shown while held, saved on release
        set_track_keys(Tracks[s->column], keys.data(), static_cast<int32_t>(keys.size()));
}

void curve_release(Studio *s)
{
    if (!s->key_drag)
        return;
    s->key_drag = false;
    KeyList keys;
    if (!dragged_keys(*s, &keys)) {
        show_message(s, "not moved: another key sits on row " + std::to_string(s->drag_now.row), true);
        keys = s->drag_before;
    } else if (commit_edit(s, {{s->column, keys}})) {
        return;
    }
    set_track_keys(Tracks[s->column], s->editor.keys[s->column].data(),
                   static_cast<int32_t>(s->editor.keys[s->column].size()));
}
