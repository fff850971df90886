// frame.cpp - the work of one frame between reading the music position and
// presenting: Row, Tick and the track values, the cleared buffers, the scene
// with the loop's own steps around it, and the text overlay.
#include "app/frame.h"

#include <cstring>

#include "app/convert.h"
#include "app/state.h"
#include "scenes/scenes.h"
#include "sync/track.h"
#include "text/overlay.h"

static float value_of(TrackId id)
{
    return static_cast<float>(track_value_at(Tracks[id], static_cast<double>(Row)));
}

void update_frame_values(double seconds)
{
    Row = static_cast<float>(seconds * 20.0);
    TrackValues.clear_r = value_of(TRACK_CLEAR_R);
    TrackValues.clear_g = value_of(TRACK_CLEAR_G);
    TrackValues.clear_b = value_of(TRACK_CLEAR_B);
    TrackValues.clear_a = value_of(TRACK_CLEAR_A);
    TrackValues.cam_x = value_of(TRACK_CAM_X);
    TrackValues.cam_y = value_of(TRACK_CAM_Y);
    TrackValues.cam_h = value_of(TRACK_CAM_H);
    TrackValues.cam_hori = value_of(TRACK_CAM_HORI);
    TrackValues.cam_scaleh = value_of(TRACK_CAM_SCALEH);
    TrackValues.cam_rot = value_of(TRACK_CAM_ROT);
    TrackValues.cam_dist = value_of(TRACK_CAM_DIST);
    // 80 ticks per row; only the low 32 bits are kept.
    Tick = low32_of_trunc(static_cast<double>(Row) * 20.0 * 4.0);
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

static void copy_target_to_window()
{
    SDL_RenderCopy(renderer, TargetTexture, nullptr, nullptr);
}

void draw_scene(int index)
{
    switch (index) {
    case 0:
        SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_NONE);
        SDL_SetRenderDrawColor(renderer, channel_from_value(TrackValues.clear_r),
                               channel_from_value(TrackValues.clear_g),
                               channel_from_value(TrackValues.clear_b), 255);
        SDL_RenderClear(renderer);
        draw_landscape();
        SDL_UpdateTexture(CanvasTexture, nullptr, Canvas, CANVAS_PITCH);
        SDL_RenderCopy(renderer, CanvasTexture, nullptr, nullptr);
        break;
    case 1: draw_sprite_drip(); copy_target_to_window(); break;
    case 2: draw_house_reflection(); break;
    case 3: draw_streak_window(); break;
    case 4: draw_ray_sphere(); copy_target_to_window(); break;
    case 5: draw_fire(); copy_target_to_window(); break;
    case 6: draw_glyph_field(); break;
    case 7: draw_image_sequence(); copy_target_to_window(); break;
    default: break; // no scene: nothing is cleared or copied
    }
}

void finish_frame()
{
    SDL_SetTextureBlendMode(CanvasTexture, SDL_BLENDMODE_BLEND);
    if (const OverlayLine *line = find_overlay_line(to_int32(TrackValues.clear_a)))
        draw_text_overlay(line->text, line->y);
}

void render_frame(double seconds)
{
    update_frame_values(seconds);
    clear_frame_buffers();
    draw_scene(current_scene_index());
    finish_frame();
}
