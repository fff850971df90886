// video_output.h - capture's video route: the soundtrack, the number of
// frames, a temporary file beside the video and the encoders, set up before
// start-up so that a bad path or a missing music file fails at once; then a
// FrameSink that feeds the video pipeline and, once the file is complete,
// renames it over the video's name.
#pragma once

#include <memory>

#include "capture/capture_args.h"
#include "capture/frame_sink.h"

// Sets *sink and *total (the frames to make: --frames, or up to the end of
// the music) and returns -1; or prints "capture: ..." and returns the exit
// status (1, or 2 for a --start that plans more than CAPTURE_MAX_FRAMES).
int open_video_output(const CaptureArgs &args, int width, int height,
                      std::unique_ptr<FrameSink> *sink, long *total);
