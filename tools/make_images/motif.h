// motif.h - the horned skull that recurs through the demo's images (the chain
// sprite, the fire overlay, the animation), and the line and disc helpers the
// drawn pictures share.
#pragma once

#include "make_images/raster.h"

// Skull coordinates: u to the right, v downwards, the skull filling roughly
// u in -1..1 and v in -1 (horn tips) .. 0.86 (chin).
enum SkullPart { SKULL_NONE, SKULL_BONE, SKULL_HOLE, SKULL_HORN };

SkullPart skull_part(double u, double v);

// Brightness 0..1 of the bone or horn at (u, v): darker towards the rim of
// the skull and in the hollows round the sockets, nose and teeth.
double skull_light(double u, double v);

// Distance from point (px, py) to the segment (ax, ay)-(bx, by).
double segment_distance(double px, double py, double ax, double ay, double bx, double by);
