// ui_render.cpp - ImGui's triangles on SDL's renderer.
#include "studio/view/ui_render.h"

#include <imgui.h>

#include <sys/stat.h>

#include <cstddef>

static SDL_Texture *FontTexture = nullptr;

bool open_ui(SDL_Renderer *renderer, std::string *error)
{
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO &io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGuiStyle &style = ImGui::GetStyle();
    style.AntiAliasedLines = false;
    style.AntiAliasedLinesUseTex = false;
    style.AntiAliasedFill = false;

    // Latin-1 and the punctuation of U+2010..U+2027 (dashes, the ellipsis of
    // "building…").
    static const ImWchar UI_GLYPHS[] = {0x0020, 0x00FF, 0x2010, 0x2027, 0};
    struct stat st;
    ImFont *font = nullptr;
    if (stat(UI_FONT_PATH, &st) == 0 && S_ISREG(st.st_mode))
        font = io.Fonts->AddFontFromFileTTF(UI_FONT_PATH, UI_FONT_PIXELS, nullptr, UI_GLYPHS);
    if (!font)
        io.Fonts->AddFontDefault();

    unsigned char *pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    // RGBA bytes in memory: SDL's ABGR8888 on a little-endian machine,
    // RGBA32 names that byte order everywhere.
    FontTexture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STATIC, w, h);
    if (!FontTexture || SDL_UpdateTexture(FontTexture, nullptr, pixels, w * 4) != 0) {
        *error = std::string("interface font texture: ") + SDL_GetError();
        close_ui();
        return false;
    }
    SDL_SetTextureBlendMode(FontTexture, SDL_BLENDMODE_BLEND);
    io.Fonts->SetTexID(static_cast<ImTextureID>(FontTexture));
    io.BackendRendererName = "studio_sdl_geometry";
    // The draws below start each command at its VtxOffset, so ImGui may
    // start a new command whenever a list nears 65536 vertices: its 16-bit
    // indices then never run out, however much a frame draws.
    io.BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
    return true;
}

void close_ui()
{
    if (!ImGui::GetCurrentContext())
        return;
    ImGui::DestroyContext();
    if (FontTexture)
        SDL_DestroyTexture(FontTexture);
    FontTexture = nullptr;
}

void begin_ui_frame(SDL_Renderer *renderer)
{
    // The studio reads its own input and uses ImGui for drawing only, so
    // the frame needs just its size and time step. Everything is laid out
    // in renderer pixels, which can differ from window points on a scaled
    // display.
    static uint64_t last = 0;
    const uint64_t now = SDL_GetPerformanceCounter();
    ImGuiIO &io = ImGui::GetIO();
    io.DeltaTime = last && now > last ? static_cast<float>(static_cast<double>(now - last) /
                                                          static_cast<double>(SDL_GetPerformanceFrequency()))
                                      : 1.0f / 60.0f;
    last = now;
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    io.DisplaySize = ImVec2(static_cast<float>(w), static_cast<float>(h));
    io.DisplayFramebufferScale = ImVec2(1.0f, 1.0f);
    ImGui::NewFrame();
}

void end_ui_frame(SDL_Renderer *renderer)
{
    ImGui::Render();
    render_ui_draw_data(renderer, ImGui::GetDrawData());
}

void render_ui_draw_data(SDL_Renderer *renderer, const ImDrawData *data)
{
    if (!data || data->CmdListsCount == 0)
        return;
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    const ImVec2 origin = data->DisplayPos;
    for (int n = 0; n < data->CmdListsCount; n++) {
        const ImDrawList *list = data->CmdLists[n];
        const ImDrawVert *vertices = list->VtxBuffer.Data;
        const ImDrawIdx *indices = list->IdxBuffer.Data;
        for (const ImDrawCmd &cmd : list->CmdBuffer) {
            if (cmd.UserCallback)
                continue; // the studio adds none
            const float x0 = cmd.ClipRect.x - origin.x, y0 = cmd.ClipRect.y - origin.y;
            const float x1 = cmd.ClipRect.z - origin.x, y1 = cmd.ClipRect.w - origin.y;
            if (x1 <= x0 || y1 <= y0)
                continue;
            const SDL_Rect clip = {static_cast<int>(x0), static_cast<int>(y0),
                                   static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
            SDL_RenderSetClipRect(renderer, &clip);
            const ImDrawVert *v = vertices + cmd.VtxOffset;
            // ImDrawVert: pos (two floats), uv (two floats), col (RGBA bytes
            // in memory, the layout of SDL_Color).
            SDL_RenderGeometryRaw(renderer, static_cast<SDL_Texture *>(cmd.GetTexID()),
                                  reinterpret_cast<const float *>(reinterpret_cast<const char *>(v) + offsetof(ImDrawVert, pos)),
                                  sizeof(ImDrawVert),
                                  reinterpret_cast<const SDL_Color *>(reinterpret_cast<const char *>(v) + offsetof(ImDrawVert, col)),
                                  sizeof(ImDrawVert),
                                  reinterpret_cast<const float *>(reinterpret_cast<const char *>(v) + offsetof(ImDrawVert, uv)),
                                  sizeof(ImDrawVert),
                                  list->VtxBuffer.Size - static_cast<int>(cmd.VtxOffset),
                                  indices + cmd.IdxOffset, static_cast<int>(cmd.ElemCount),
                                  sizeof(ImDrawIdx));
        }
    }
    SDL_RenderSetClipRect(renderer, nullptr);
}
