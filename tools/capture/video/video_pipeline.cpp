// video_pipeline.cpp - buffers passed between the renderer, the colour
// conversion thread and the encoding thread through three small queues.
#include "capture/video/video_pipeline.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <signal.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/video/music_source.h"

// Pictures in flight: one being rendered, one being converted, one being
// encoded and one waiting, so no stage waits on a busy neighbour.
enum { SLOTS = 4 };

// Seconds of soundtrack still encoded after a stop request.
constexpr int64_t STOP_SOUND_SECONDS = 1;

// Set once by request_video_stop (a lock-free atomic: a signal handler may
// store to it).
static std::atomic<bool> StopAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Seconds of soundtrack after which the encoding thread raises SIGTERM (tests).
static std::atomic<double> StopAtSound{-1.0};

namespace {

// A queue of slot numbers; pop waits for one, or returns -1 once closed and empty.
struct SlotQueue {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<int> slots;
    bool closed = false;

    void push(int slot)
    {
        {
            std::lock_guard<std::mutex> g(lock);
            slots.push_back(slot);
        }
        ready.notify_one();
    }
    int pop()
    {
        std::unique_lock<std::mutex> g(lock);
        ready.wait(g, [this] { return closed || !slots.empty(); });
        if (slots.empty())
            return -1;
        const int s = slots.front();
        slots.pop_front();
        return s;
    }
    void close()
    {
        {
            std::lock_guard<std::mutex> g(lock);
            closed = true;
        }
        ready.notify_all();
    }
};

struct Slot {
    std::vector<uint32_t> picture;
    AVFrame *frame = nullptr;
    int64_t index = 0;
};

} // namespace

struct VideoPipeline {
    VideoWriter *writer = nullptr;
    MusicSource *music = nullptr;
    SwsContext *converter = nullptr;
    int width = 0, height = 0;
    double fps = 60.0;
    Slot slots[SLOTS];
    SlotQueue free_slots, to_convert, to_encode;
    int current = -1;         // slot the renderer holds
    int64_t submitted = 0;    // frames handed over
    int64_t music_sent = 0;   // soundtrack frames given to the writer
    std::vector<float> sound; // one frame's soundtrack
    int64_t sound_limit = -1; // after a stop request: where the sound ends
    int64_t raise_at = -1;    // soundtrack frame at which to raise SIGTERM (tests)
    bool sound_cut = false;   // it ended before the last frame's end
    std::atomic<bool> failed{false};
    std::string error;        // written by the encoding thread before `failed`
    std::thread convert_thread, encode_thread;
};

// RGB (full range) to BT.709 limited-range YUV 4:2:0.
static SwsContext *make_converter(int width, int height)
{
    SwsContext *c = sws_getContext(width, height, AV_PIX_FMT_RGB32, width, height,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (c) {
        const int *bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(c, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    return c;
}

static void convert_loop(VideoPipeline *p)
{
    for (int s; (s = p->to_convert.pop()) >= 0;) {
        Slot &slot = p->slots[s];
        // The encoder may still hold the previous frame's data: write into
        // fresh memory then.
        if (!p->failed && av_frame_make_writable(slot.frame) >= 0) {
            const uint8_t *src[1] = {reinterpret_cast<const uint8_t *>(slot.picture.data())};
            const int pitch[1] = {p->width * 4};
            sws_scale(p->converter, src, pitch, 0, p->height, slot.frame->data,
                      slot.frame->linesize);
        }
        p->to_encode.push(s);
    }
    p->to_encode.close();
}

// The soundtrack up to the end of frame `index`, sample-exact at the music's
// rate. After a stop request at most STOP_SOUND_SECONDS more of it go out:
// all of the frames in flight at 4 frames a second or more (SLOTS of them),
// a short piece of work at the lowest rate (100 s a frame).
static bool send_sound(VideoPipeline *p, int64_t index, std::string *err)
{
    if (!p->music)
        return true;
    const int64_t end = std::llround(static_cast<double>(index + 1) * p->music->rate / p->fps);
    while (p->music_sent < end) {
        if (p->sound_limit < 0 && StopAsked.load(std::memory_order_relaxed))
            p->sound_limit = p->music_sent + STOP_SOUND_SECONDS * p->music->rate;
        const int64_t until = p->sound_limit < 0 ? end : std::min(end, p->sound_limit);
        if (p->music_sent >= until) {
            p->sound_cut = true;
            return true;
        }
        const long count = static_cast<long>(std::min<int64_t>(until - p->music_sent, 4096));
        p->sound.resize(static_cast<size_t>(count) * 2);
        read_music(p->music, p->sound.data(), count);
        if (!write_audio(p->writer, p->sound.data(), count, err))
            return false;
        p->music_sent += count;
        if (p->raise_at >= 0 && p->music_sent >= p->raise_at) {
            p->raise_at = -1;
            raise(SIGTERM); // handled on this thread before raise returns
        }
    }
    return true;
}

static void encode_loop(VideoPipeline *p)
{
    for (int s; (s = p->to_encode.pop()) >= 0;) {
        Slot &slot = p->slots[s];
        if (!p->failed) {
            std::string err;
            if (!write_video_frame(p->writer, slot.frame, slot.index, &err) ||
                !send_sound(p, slot.index, &err)) {
                p->error = err;
                p->failed = true;
            }
        }
        p->free_slots.push(s);
    }
}

VideoPipeline *start_video_pipeline(VideoWriter *writer, MusicSource *music, int width,
                                    int height, double fps)
{
    VideoPipeline *p = new VideoPipeline;
    p->writer = writer;
    p->music = music;
    p->width = width;
    p->height = height;
    p->fps = fps;
    const double stop_at = StopAtSound.load();
    if (music && stop_at >= 0.0)
        p->raise_at = std::llround(stop_at * music->rate);
    p->converter = make_converter(width, height);
    bool ok = p->converter != nullptr;
    for (int s = 0; s < SLOTS && ok; s++) {
        p->slots[s].picture.resize(static_cast<size_t>(width) * height);
        p->slots[s].frame = alloc_video_frame(writer);
        ok = p->slots[s].frame != nullptr;
        p->free_slots.push(s);
    }
    if (!ok) {
        for (Slot &slot : p->slots)
            av_frame_free(&slot.frame);
        sws_freeContext(p->converter);
        delete p;
        return nullptr;
    }
    p->convert_thread = std::thread(convert_loop, p);
    p->encode_thread = std::thread(encode_loop, p);
    return p;
}

uint32_t *next_picture(VideoPipeline *p)
{
    if (p->current < 0)
        p->current = p->free_slots.pop();
    return p->failed ? nullptr : p->slots[p->current].picture.data();
}

void submit_picture(VideoPipeline *p)
{
    p->slots[p->current].index = p->submitted++;
    p->to_convert.push(p->current);
    p->current = -1;
}

bool video_pipeline_failed(VideoPipeline *p)
{
    return p->failed;
}

void request_video_stop()
{
    StopAsked.store(true, std::memory_order_relaxed);
}

void stop_video_at_sound(double seconds)
{
    StopAtSound.store(seconds);
}

bool finish_video_pipeline(VideoPipeline *p, double *sound_cut_at, std::string *err)
{
    p->to_convert.close();
    p->convert_thread.join();
    p->encode_thread.join();
    bool ok = !p->failed;
    if (ok)
        ok = finish_video(p->writer, p->submitted, !p->sound_cut, err);
    else
        *err = p->error;
    *sound_cut_at = p->sound_cut ? static_cast<double>(p->music_sent) / p->music->rate : -1.0;
    close_video_writer(p->writer);
    if (p->music)
        close_music(p->music);
    for (Slot &slot : p->slots)
        av_frame_free(&slot.frame);
    sws_freeContext(p->converter);
    delete p;
    return ok;
}
