// png_frames.h - capture's PNG route: DIR/frame-000000.png, frame-000001.png,
// ..., each written under a temporary name and renamed when complete.
#pragma once

#include <memory>
#include <string>

#include "capture/frame_sink.h"

// Makes the directory (and missing folders above it). Null with a reason.
std::unique_ptr<FrameSink> open_png_frames(const std::string &dir, int width, int height,
                                           std::string *err);
