// video_writer.h - one video file: an H.264 + AAC MP4 or a VP9 + Opus WebM,
// encoded and muxed with libavcodec and libavformat.
//
// The caller converts pictures to the writer's frames (yuv420p, BT.709,
// limited range) and hands over the soundtrack as interleaved float stereo at
// its own rate; the writer resamples it for the audio encoder. Encoder thread
// counts are fixed, so equal input gives equal bytes on every machine.
// Not thread-safe: one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "capture/capture_args.h"

struct AVFrame;
struct VideoWriter;

struct VideoSpec {
    std::string path;   // the file written (capture's temporary file)
    std::string name;   // the file named in messages (the video's name)
    CaptureOutput container = CaptureOutput::Mp4; // Mp4 or Webm
    int width = 0, height = 0;
    double fps = 60.0;
    int quality = 18;   // the video encoder's CRF
    int audio_rate = 0; // rate of the samples given to write_audio; 0: no audio stream
};

// Creates the file and writes its header. Null with one line of reason in
// *err; nothing is left open then (a created file stays: the caller removes it).
VideoWriter *open_video_writer(const VideoSpec &spec, std::string *err);

// A writable frame of the writer's format and size for the caller to fill.
AVFrame *alloc_video_frame(const VideoWriter *w);

// Encodes picture number `index` (its timestamp is index / fps).
bool write_video_frame(VideoWriter *w, AVFrame *frame, int64_t index, std::string *err);

// Encodes `count` stereo frames (2 * count floats) of the soundtrack.
bool write_audio(VideoWriter *w, const float *samples, long count, std::string *err);

// Ends both streams after `frames` pictures: the audio is cut or padded with
// silence to the same duration (with `pad_sound` false, as after a stop
// request, it just ends where it is), the encoders are drained and the file
// is completed and closed. False when anything of that failed.
bool finish_video(VideoWriter *w, int64_t frames, bool pad_sound, std::string *err);

// Frees the writer (closing the file unfinished if finish_video was not called).
void close_video_writer(VideoWriter *w);
