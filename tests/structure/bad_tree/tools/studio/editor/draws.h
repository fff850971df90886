// An editor header that reaches the renderer, the frame and the files.
#include "gfx/image.h"
#include "studio/studio.h"
#include "studio/files/save.h"
inline void draw(SDL_Renderer *r) { SDL_RenderClear(r); }
