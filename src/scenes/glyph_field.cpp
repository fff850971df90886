// Placeholder until the scene is written: draws nothing.
#include "scenes/scenes.h"

void draw_glyph_field() {}
