// ui_render.h - the studio's interface drawing: Dear ImGui's draw lists
// handed to SDL's renderer as triangles (SDL_RenderGeometryRaw), with ImGui's
// font atlas as one texture. ImGui builds the triangles; this layer only
// uploads the atlas, sets the clip rectangles and issues the draws, each
// from its command's vertex offset (so a draw list may pass 65536 vertices
// with ImGui's 16-bit indices). The studio reads the keyboard and mouse
// itself: ImGui gets no input, so no platform layer is needed (and none asks
// the X server anything per frame).
#pragma once

#include <SDL.h>

#include <string>

struct ImDrawData;

// The font the interface looks for (fonts-dejavu-core); ImGui's own font
// when it is missing.
constexpr const char *UI_FONT_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr float UI_FONT_PIXELS = 14.0f;

// Creates the ImGui context (no settings file, no anti-aliased fringes: flat
// shapes cost the software renderer far less), loads the font and uploads
// its atlas. False with the reason in *error.
bool open_ui(SDL_Renderer *renderer, std::string *error);
void close_ui();

// Starts an interface frame sized to the renderer's output in pixels.
void begin_ui_frame(SDL_Renderer *renderer);

// Draws what the frame built, then leaves the clip rectangle off.
void end_ui_frame(SDL_Renderer *renderer);

// Draws one finished ImGui frame with the renderer (the layer itself).
void render_ui_draw_data(SDL_Renderer *renderer, const ImDrawData *data);
