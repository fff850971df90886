// frame_sink.h - where capture's frames go: PNG files or the video pipeline.
// One frame loop feeds either; the output is complete only after finish(),
// and a sink dropped before that leaves nothing under the output's name.
#pragma once

#include <cstdint>
#include <string>

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // A WINDOW_W x WINDOW_H buffer of 0xAARRGGBB pixels for the next frame;
    // null when the output has failed (finish() says why).
    virtual uint32_t *picture() = 0;
    // The picture is complete: write or queue it as frame `index`. False
    // with a reason naming the file on a failure.
    virtual bool take(long index, std::string *err) = 0;
    // Completes the output with the frames taken. False with a reason.
    virtual bool finish(std::string *err) = 0;
    // Bytes written, for the summary.
    virtual uint64_t bytes() const = 0;
    // After finish() following a stop request: what the output lacks besides
    // the frames not made (a video's sound cut short), or empty.
    virtual std::string stop_note() const { return {}; }
};
