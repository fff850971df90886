// frame.cpp - the work of one frame between reading the music position and
// presenting: Row, Tick and the track values, the cleared buffers, the scene
// of the given table with the loop's own steps around it, and the text
// overlay.
#include "app/frame.h"

#include <cstring>

#include "base/convert.h"
#include "state/state.h"
#include "sync/track.h"
#include "text/overlay.h"

static float value_of(TrackId id, float row)
{
    return static_cast<float>(track_value_at(Tracks[id], static_cast<double>(row)));
}

FrameTime update_frame_values(double seconds)
{
    FrameTime time;
    time.row = static_cast<float>(seconds * ROWS_PER_SECOND);
    // Only the low 32 bits are kept.
    time.tick = low32_of_trunc(static_cast<double>(time.row) * TICKS_PER_ROW);
    Row = time.row;
    Tick = time.tick;
#define DEMO_READ_TRACK(ID, FIELD, NAME) TrackValues.FIELD = value_of(TRACK_##ID, time.row);
    DEMO_VALUE_TRACKS(DEMO_READ_TRACK)
#undef DEMO_READ_TRACK
    return time;
}

void clear_frame_buffers()
{
    std::memset(Canvas, 0, CANVAS_PIXEL_BYTES);
    std::memset(ByteBuffer, 0, BYTEBUFFER_BYTES);
}

int scene_index_at(const FrameTime &time)
{
    return to_int32(track_value_at(Tracks[TRACK_SCENE], static_cast<double>(time.row)));
}

void draw_scene(std::span<const SceneInfo> scenes, int index, const FrameTime &time)
{
    if (index < 0 || static_cast<size_t>(index) >= scenes.size())
        return; // no scene: nothing is cleared or copied
    const SceneInfo &scene = scenes[static_cast<size_t>(index)];
    scene.draw(time);
    if (scene.copies_target)
        SDL_RenderCopy(renderer, TargetTexture, nullptr, nullptr);
}

void finish_frame(const CaptionTable *captions)
{
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_BLEND);
    if (const OverlayLine *line = find_caption(captions ? *captions : DemoCaptions, to_int32(TrackValues.clear_a)))
        draw_text_overlay(line->text, line->y);
}

FrameTime render_frame(double seconds, std::span<const SceneInfo> scenes,
                       const CaptionTable *captions)
{
    const FrameTime time = update_frame_values(seconds);
    clear_frame_buffers();
    draw_scene(scenes, scene_index_at(time), time);
    finish_frame(captions);
    return time;
}
