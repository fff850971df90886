// overlay.h - the line of text drawn over every frame when "clear.a" selects
// one: the bitmap font at twice its size with a black drop shadow.
#pragma once

struct OverlayLine {
    int selector;     // "clear.a" truncated toward zero
    int y;            // pen y of the shadow, window pixels
    const char *text;
};

enum { OVERLAY_LINE_COUNT = 13 };
extern const OverlayLine OverlayLines[OVERLAY_LINE_COUNT];

// The line that a selector value picks, or null when it picks none.
const OverlayLine *find_overlay_line(int selector);

// Draws text with its shadow at pen y = y onto the current render target.
void draw_text_overlay(const char *text, int y);
