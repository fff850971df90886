// captions.cpp - the text table: the captions "clear.a" picks, with where
// each stands. The table is data only, so the studio's scene library can
// carry a copy of it and a saved change shows without a restart.
//
// A caption's text uses characters of the font (codes 33..126; "_" draws a
// blank-looking glyph) and fits the window at 1920 pixels with its shadow.
#include "text/overlay.h"

#include <iterator>

const OverlayLine OverlayLines[] = {
    {1, 508, "______Velmoran+Orvex+Myrskyvuo______"},
    {2, 508, "CINDERHALLs____________"},
    {16, 508, "____Not_living_and_not_yet_dead____"},
    {17, 508, "______Welcome_to_hell_on_Earth_____"},
    {18, 508, "_____We_are_stuck_here_together____"},
    {32, 980, "______Leave_your_life_behind..._____"},
    {33, 980, "______This_mortal_realm_of_man._____"},
    {34, 980, "______It_is_time_for_judgement._____"},
    {50, 980, "_______kolo_and_tervas_coded"},
    {51, 980, "_vanhan_myllyn_kuoropoika_composed"},
    {52, 980, "halvikko_norppis_and_tervas_made_gfx"},
    {53, 980, "__greetings_to__vokk__zelmonia__qrx"},
    {54, 980, "_may_your_souls_burn_forever_bright"},
};

const int OVERLAY_LINE_COUNT = static_cast<int>(std::size(OverlayLines));
const CaptionTable DemoCaptions = {OVERLAY_LINE_COUNT, OverlayLines};

const OverlayLine *find_caption(const CaptionTable &captions, int selector)
{
    for (int i = 0; i < captions.count; ++i) {
        if (captions.lines[i].selector == selector)
            return &captions.lines[i];
    }
    return nullptr;
}

const OverlayLine *find_overlay_line(int selector)
{
    return find_caption(DemoCaptions, selector);
}
