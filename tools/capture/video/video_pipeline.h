// video_pipeline.h - the release video's two worker threads behind the
// renderer: one converts finished window pictures to the encoder's YUV
// frames, the other encodes pictures and soundtrack and writes the file.
//
// The main thread renders. It takes a free picture buffer, reads the window
// into it and submits it; buffers come back once encoded, so a slow encoder
// holds the renderer back instead of piling up pictures.
#pragma once

#include <cstdint>
#include <string>

#include "capture/video/video_writer.h"

struct MusicSource;
struct VideoPipeline;

// Starts the threads around an open writer; the pipeline owns the writer and,
// when given, the music (already positioned at the first frame's time),
// until finish_video_pipeline. Null when out of memory.
VideoPipeline *start_video_pipeline(VideoWriter *writer, MusicSource *music, int width,
                                    int height, double fps);

// A free 0xAARRGGBB picture buffer (width * height, no padding) for the next
// frame; waits while all are in use. Null once the pipeline has failed.
uint32_t *next_picture(VideoPipeline *p);

// Hands the buffer from next_picture over as the next frame.
void submit_picture(VideoPipeline *p);

// True after an encoding or write failure; the frames loop should stop.
bool video_pipeline_failed(VideoPipeline *p);

// Asks every pipeline to stop soon: frames already submitted are still
// encoded, but the soundtrack goes at most 1 s further than it has got (a
// frame may carry 100 s of it at the lowest rate), so the file then ends
// its sound before its pictures. Safe in a signal handler.
void request_video_stop();

// For tests of a stop at a known point of the encoding: once the soundtrack
// has been encoded up to `seconds` after the first frame's time, the encoding
// thread raises SIGTERM at itself. Negative: never (the default).
void stop_video_at_sound(double seconds);

// Waits for every submitted frame, completes the file and frees everything.
// False with the first failure's reason in *err. *sound_cut_at is the length
// of the file's sound in seconds when a stop request ended it before the
// last frame's end, else negative.
bool finish_video_pipeline(VideoPipeline *p, double *sound_cut_at, std::string *err);
