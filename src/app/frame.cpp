// frame.cpp - the work of one frame between reading the music position and
// presenting: Row, Tick and the track values, the cleared buffers, the scene
// with the loop's own steps around it, and the text overlay.
#include "app/frame.h"

#include <cstring>

#include "base/convert.h"
#include "state/state.h"
#include "scenes/scene_table.h"
#include "sync/track.h"
#include "text/overlay.h"

static float value_of(TrackId id)
{
    return static_cast<float>(track_value_at(Tracks[id], static_cast<double>(Row)));
}

void update_frame_values(double seconds)
{
    Row = static_cast<float>(seconds * ROWS_PER_SECOND);
#define DEMO_READ_TRACK(ID, FIELD, NAME) TrackValues.FIELD = value_of(TRACK_##ID);
    DEMO_VALUE_TRACKS(DEMO_READ_TRACK)
#undef DEMO_READ_TRACK
    // Only the low 32 bits are kept.
    Tick = low32_of_trunc(static_cast<double>(Row) * TICKS_PER_ROW);
}

void clear_frame_buffers()
{
    std::memset(Canvas, 0, CANVAS_PIXEL_BYTES);
    std::memset(ByteBuffer, 0, BYTEBUFFER_BYTES);
}

int current_scene_index()
{
    return to_int32(track_value_at(Tracks[TRACK_SCENE], static_cast<double>(Row)));
}

void draw_scene(int index)
{
    const SceneInfo *scene = find_scene(index);
    if (!scene)
        return; // no scene: nothing is cleared or copied
    scene->draw();
    if (scene->copies_target)
        SDL_RenderCopy(renderer, TargetTexture, nullptr, nullptr);
}

void finish_frame(const CaptionTable *captions)
{
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_BLEND);
    if (const OverlayLine *line = find_caption(captions ? *captions : DemoCaptions, to_int32(TrackValues.clear_a)))
        draw_text_overlay(line->text, line->y);
}

void render_frame(double seconds)
{
    update_frame_values(seconds);
    clear_frame_buffers();
    draw_scene(current_scene_index());
    finish_frame();
}
