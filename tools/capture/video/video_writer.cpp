// video_writer.cpp - encoders and muxer of the release video, on FFmpeg's
// libraries: libx264 or libvpx-vp9 for the picture, the native AAC encoder or
// libopus for the sound, swresample between the soundtrack and the audio
// encoder.
#include "capture/video/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

// Fixed, so the bytes never depend on the machine's core count. Four keeps
// two cores busy while the renderer takes a third of one.
enum { VIDEO_THREADS = 4 };

struct VideoWriter {
    AVFormatContext *format = nullptr;
    AVCodecContext *video = nullptr;
    AVCodecContext *audio = nullptr;
    AVStream *video_stream = nullptr;
    AVStream *audio_stream = nullptr;
    SwrContext *resampler = nullptr;
    AVAudioFifo *fifo = nullptr;    // resampled sound waiting for a whole encoder frame
    AVFrame *audio_frame = nullptr;
    AVPacket *packet = nullptr;
    std::vector<uint8_t *> planes;  // resampler output, one pointer per plane
    int plane_capacity = 0;         // samples the planes hold
    int64_t audio_pts = 0;          // samples given to the audio encoder
    int64_t audio_shift = 0;        // added to the audio packets' timestamps
    AVRational frame_rate{60, 1};
    std::string path; // for messages
    bool opened_file = false;
};

static std::string av_error_text(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

static bool fail(std::string *err, const std::string &what, int code)
{
    *err = what + ": " + av_error_text(code);
    return false;
}

// ---- Opening ----------------------------------------------------------------

static AVStream *add_stream(VideoWriter *w, AVCodecContext *ctx)
{
    AVStream *s = avformat_new_stream(w->format, nullptr);
    if (!s || avcodec_parameters_from_context(s->codecpar, ctx) < 0)
        return nullptr;
    s->time_base = ctx->time_base;
    return s;
}

static bool open_video_encoder(VideoWriter *w, const VideoSpec &spec, std::string *err)
{
    const bool mp4 = spec.container == CaptureOutput::Mp4;
    const char *name = mp4 ? "libx264" : "libvpx-vp9";
    const AVCodec *codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        *err = std::string("this FFmpeg has no ") + name + " encoder";
        return false;
    }
    AVCodecContext *c = w->video = avcodec_alloc_context3(codec);
    if (!c)
        return fail(err, "video encoder", AVERROR(ENOMEM));
    c->width = spec.width;
    c->height = spec.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->framerate = w->frame_rate;
    c->time_base = av_inv_q(w->frame_rate);
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->thread_count = VIDEO_THREADS;
    if (w->format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary *opts = nullptr;
    av_dict_set_int(&opts, "crf", spec.quality, 0);
    if (mp4) {
        av_dict_set(&opts, "preset", "veryfast", 0);
    } else {
        c->bit_rate = 0; // constant quality, no target rate
        // Good-quality mode (the realtime mode's files are twice as big at a
        // lower PSNR); rows of tiles encoded in parallel.
        av_dict_set(&opts, "deadline", "good", 0);
        av_dict_set(&opts, "cpu-used", "4", 0);
        av_dict_set(&opts, "row-mt", "1", 0);
        av_dict_set(&opts, "tile-columns", "2", 0);
    }
    const int r = avcodec_open2(c, codec, &opts);
    av_dict_free(&opts);
    if (r < 0)
        return fail(err, std::string("cannot open the ") + name + " encoder", r);
    w->video_stream = add_stream(w, c);
    if (!w->video_stream)
        return fail(err, "video stream", AVERROR(ENOMEM));
    w->video_stream->avg_frame_rate = w->frame_rate;
    return true;
}

static bool supports_rate(const AVCodec *codec, int rate)
{
    if (!codec->supported_samplerates)
        return true;
    for (const int *r = codec->supported_samplerates; *r; r++)
        if (*r == rate)
            return true;
    return false;
}

static bool open_audio_encoder(VideoWriter *w, const VideoSpec &spec, std::string *err)
{
    const bool mp4 = spec.container == CaptureOutput::Mp4;
    const char *name = mp4 ? "aac" : "libopus";
    const AVCodec *codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        *err = std::string("this FFmpeg has no ") + name + " encoder";
        return false;
    }
    AVCodecContext *c = w->audio = avcodec_alloc_context3(codec);
    if (!c)
        return fail(err, "audio encoder", AVERROR(ENOMEM));
    // Planar or packed float where the encoder takes it, else its first format.
    c->sample_fmt = codec->sample_fmts[0];
    for (const AVSampleFormat *f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; f++)
        if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT)
            c->sample_fmt = *f;
    c->sample_rate = supports_rate(codec, spec.audio_rate) ? spec.audio_rate : 48000;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&c->ch_layout, &stereo);
    c->bit_rate = mp4 ? 192000 : 160000;
    c->time_base = AVRational{1, c->sample_rate};
    c->thread_count = 1;
    if (w->format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int r = avcodec_open2(c, codec, nullptr);
    if (r < 0)
        return fail(err, std::string("cannot open the ") + name + " encoder", r);
    w->audio_stream = add_stream(w, c);
    if (!w->audio_stream)
        return fail(err, "audio stream", AVERROR(ENOMEM));
    // The encoder stamps its first packet before zero by its start-up delay.
    // WebM keeps that delay in the track header and wants block times that
    // include it; left negative, the muxer would move every stream later,
    // the first picture included.
    if (!mp4)
        w->audio_shift = c->initial_padding;

    int s = swr_alloc_set_opts2(&w->resampler, &c->ch_layout, c->sample_fmt, c->sample_rate,
                                &stereo, AV_SAMPLE_FMT_FLT, spec.audio_rate, 0, nullptr);
    if (s >= 0)
        s = swr_init(w->resampler);
    if (s < 0)
        return fail(err, "audio resampler", s);
    const int frame_size = c->frame_size > 0 ? c->frame_size : 1024;
    w->fifo = av_audio_fifo_alloc(c->sample_fmt, 2, frame_size);
    w->audio_frame = av_frame_alloc();
    if (!w->fifo || !w->audio_frame)
        return fail(err, "audio buffers", AVERROR(ENOMEM));
    return true;
}

VideoWriter *open_video_writer(const VideoSpec &spec, std::string *err)
{
    // Our own one-line messages say what failed; the libraries stay quiet.
    av_log_set_level(AV_LOG_QUIET);
    VideoWriter *w = new VideoWriter;
    w->path = spec.name.empty() ? spec.path : spec.name;
    w->frame_rate = av_d2q(spec.fps, 1000000);
    w->packet = av_packet_alloc();
    const char *muxer = spec.container == CaptureOutput::Mp4 ? "mp4" : "webm";
    // Through the file protocol whatever the name holds (a colon would
    // otherwise name a protocol).
    const std::string url = "file:" + spec.path;
    int r = avformat_alloc_output_context2(&w->format, nullptr, muxer, url.c_str());
    if (r < 0 || !w->packet) {
        fail(err, "cannot set up the muxer", r < 0 ? r : AVERROR(ENOMEM));
        close_video_writer(w);
        return nullptr;
    }
    // No version strings or random identifiers: equal input, equal bytes.
    w->format->flags |= AVFMT_FLAG_BITEXACT;
    r = avio_open(&w->format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        fail(err, "cannot create " + w->path, r);
        close_video_writer(w);
        return nullptr;
    }
    w->opened_file = true;
    if (!open_video_encoder(w, spec, err) ||
        (spec.audio_rate > 0 && !open_audio_encoder(w, spec, err))) {
        close_video_writer(w);
        return nullptr;
    }
    AVDictionary *opts = nullptr;
    if (spec.container == CaptureOutput::Mp4)
        av_dict_set(&opts, "movflags", "+faststart", 0);
    r = avformat_write_header(w->format, &opts);
    av_dict_free(&opts);
    if (r < 0) {
        fail(err, "cannot write " + w->path, r);
        close_video_writer(w);
        return nullptr;
    }
    return w;
}

AVFrame *alloc_video_frame(const VideoWriter *w)
{
    AVFrame *f = av_frame_alloc();
    if (!f)
        return nullptr;
    f->format = w->video->pix_fmt;
    f->width = w->video->width;
    f->height = w->video->height;
    f->color_range = w->video->color_range;
    f->colorspace = w->video->colorspace;
    f->color_primaries = w->video->color_primaries;
    f->color_trc = w->video->color_trc;
    if (av_frame_get_buffer(f, 0) < 0)
        av_frame_free(&f);
    return f;
}

// ---- Encoding ---------------------------------------------------------------

// Sends a frame (null: the end) and writes every packet the encoder gives back.
static bool encode(VideoWriter *w, AVCodecContext *c, AVStream *s, AVFrame *frame,
                   std::string *err)
{
    int r = avcodec_send_frame(c, frame);
    if (r < 0)
        return fail(err, std::string("encoder ") + c->codec->name, r);
    for (;;) {
        r = avcodec_receive_packet(c, w->packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return fail(err, std::string("encoder ") + c->codec->name, r);
        if (c == w->audio) {
            w->packet->pts += w->audio_shift;
            w->packet->dts += w->audio_shift;
        }
        av_packet_rescale_ts(w->packet, c->time_base, s->time_base);
        w->packet->stream_index = s->index;
        r = av_interleaved_write_frame(w->format, w->packet);
        if (r >= 0 && w->format->pb->error < 0)
            r = w->format->pb->error;
        if (r < 0)
            return fail(err, "cannot write " + w->path, r);
    }
}

bool write_video_frame(VideoWriter *w, AVFrame *frame, int64_t index, std::string *err)
{
    frame->pts = index;
    return encode(w, w->video, w->video_stream, frame, err);
}

// Encodes `count` samples from the fifo (all whole encoder frames, the last
// one shorter where count is not a multiple).
static bool encode_audio_from_fifo(VideoWriter *w, int count, std::string *err)
{
    AVCodecContext *c = w->audio;
    const int frame_size = c->frame_size > 0 ? c->frame_size : 1024;
    while (count > 0) {
        AVFrame *f = w->audio_frame;
        av_frame_unref(f);
        f->nb_samples = std::min(count, frame_size);
        f->format = c->sample_fmt;
        f->sample_rate = c->sample_rate;
        av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
        int r = av_frame_get_buffer(f, 0);
        if (r < 0)
            return fail(err, "audio buffers", r);
        if (av_audio_fifo_read(w->fifo, reinterpret_cast<void **>(f->data), f->nb_samples) !=
            f->nb_samples)
            return fail(err, "audio buffers", AVERROR_BUG);
        f->pts = w->audio_pts;
        w->audio_pts += f->nb_samples;
        count -= f->nb_samples;
        if (!encode(w, c, w->audio_stream, f, err))
            return false;
    }
    return true;
}

// Resamples `count` input frames (null input: drain the resampler) into the fifo.
static bool resample(VideoWriter *w, const float *samples, long count, std::string *err)
{
    const int out = swr_get_out_samples(w->resampler, static_cast<int>(count));
    if (out < 0)
        return fail(err, "audio resampler", out);
    if (out > w->plane_capacity) {
        if (!w->planes.empty())
            av_freep(&w->planes[0]);
        w->planes.assign(2, nullptr);
        const int r = av_samples_alloc(w->planes.data(), nullptr, 2, out, w->audio->sample_fmt, 0);
        if (r < 0) {
            w->plane_capacity = 0;
            w->planes.clear();
            return fail(err, "audio buffers", r);
        }
        w->plane_capacity = out;
    }
    const uint8_t *in = reinterpret_cast<const uint8_t *>(samples);
    const int got = swr_convert(w->resampler, w->planes.data(), out, samples ? &in : nullptr,
                                static_cast<int>(count));
    if (got < 0)
        return fail(err, "audio resampler", got);
    if (got > 0 && av_audio_fifo_write(w->fifo, reinterpret_cast<void **>(w->planes.data()), got) != got)
        return fail(err, "audio buffers", AVERROR(ENOMEM));
    return true;
}

bool write_audio(VideoWriter *w, const float *samples, long count, std::string *err)
{
    if (!w->audio || count <= 0)
        return true;
    if (!resample(w, samples, count, err))
        return false;
    const int frame_size = w->audio->frame_size > 0 ? w->audio->frame_size : 1024;
    const int whole = av_audio_fifo_size(w->fifo) / frame_size * frame_size;
    return encode_audio_from_fifo(w, whole, err);
}

// The rest of the sound up to the end of the last picture: what the
// resampler still holds, cut or padded with silence to exactly that length.
static bool finish_audio(VideoWriter *w, int64_t frames, bool pad, std::string *err)
{
    if (!resample(w, nullptr, 0, err))
        return false;
    const int64_t end = av_rescale_q(frames, av_inv_q(w->frame_rate), AVRational{1, w->audio->sample_rate});
    const int64_t have = av_audio_fifo_size(w->fifo);
    const int64_t want = pad ? std::max<int64_t>(0, end - w->audio_pts) : std::max<int64_t>(0, std::min(have, end - w->audio_pts));
    if (have < want) {
        std::vector<uint8_t *> silence(2, nullptr);
        const int pad = static_cast<int>(want - have);
        if (av_samples_alloc(silence.data(), nullptr, 2, pad, w->audio->sample_fmt, 0) < 0)
            return fail(err, "audio buffers", AVERROR(ENOMEM));
        av_samples_set_silence(silence.data(), 0, pad, 2, w->audio->sample_fmt);
        const int wrote = av_audio_fifo_write(w->fifo, reinterpret_cast<void **>(silence.data()), pad);
        av_freep(&silence[0]);
        if (wrote != pad)
            return fail(err, "audio buffers", AVERROR(ENOMEM));
    }
    return encode_audio_from_fifo(w, static_cast<int>(want), err) &&
           encode(w, w->audio, w->audio_stream, nullptr, err);
}

bool finish_video(VideoWriter *w, int64_t frames, bool pad_sound, std::string *err)
{
    if (!encode(w, w->video, w->video_stream, nullptr, err))
        return false;
    if (w->audio && !finish_audio(w, frames, pad_sound, err))
        return false;
    int r = av_write_trailer(w->format);
    if (r >= 0 && w->format->pb->error < 0)
        r = w->format->pb->error;
    if (r < 0)
        return fail(err, "cannot write " + w->path, r);
    w->opened_file = false;
    r = avio_closep(&w->format->pb);
    if (r < 0)
        return fail(err, "cannot write " + w->path, r);
    return true;
}

void close_video_writer(VideoWriter *w)
{
    if (!w)
        return;
    if (w->opened_file)
        avio_closep(&w->format->pb);
    if (!w->planes.empty())
        av_freep(&w->planes[0]);
    av_frame_free(&w->audio_frame);
    av_audio_fifo_free(w->fifo);
    swr_free(&w->resampler);
    avcodec_free_context(&w->audio);
    avcodec_free_context(&w->video);
    avformat_free_context(w->format);
    av_packet_free(&w->packet);
    delete w;
}
