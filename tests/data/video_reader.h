// video_reader.h - a video file read back with libavformat and decoded with
// libavcodec, for the tests of the release video: its streams, frame count
// and rate, timestamps, sound length, and chosen pictures as 8-bit RGB.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace video_reader {

struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb; // RGB24, w * 3 per row
};

struct VideoFile {
    int streams = 0;
    std::string video_codec, audio_codec; // decoder names; audio empty without sound
    AVRational frame_rate{0, 1};
    int color_space = -1, color_range = -1;
    long frames = 0;            // pictures decoded
    double first_time = -1.0;   // seconds of the first picture
    double first_sound = -1.0;  // seconds of the first decoded sound
    int sample_rate = 0, channels = 0;
    long samples = 0;           // decoded sound frames, encoder delay and padding removed
    int audio_frame = 0;        // samples in the longest decoded audio frame
    std::vector<Picture> kept;  // the pictures asked for, in order
};

// The decoded picture as RGB, with the file's own BT.709 limited-range matrix.
inline Picture to_rgb(const AVFrame *f)
{
    Picture p;
    p.w = f->width;
    p.h = f->height;
    p.rgb.resize(static_cast<size_t>(p.w) * p.h * 3);
    SwsContext *c = sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format),
                                   f->width, f->height, AV_PIX_FMT_RGB24,
                                   SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                   nullptr, nullptr, nullptr);
    const int *bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(c, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
    uint8_t *dst[1] = {p.rgb.data()};
    const int pitch[1] = {p.w * 3};
    sws_scale(c, f->data, f->linesize, 0, f->height, dst, pitch);
    sws_freeContext(c);
    return p;
}

// Reads the whole file; keeps the pictures whose numbers are in `keep`.
inline bool read_video(const std::string &path, const std::vector<long> &keep, VideoFile *out)
{
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return false;
    bool ok = avformat_find_stream_info(fmt, nullptr) >= 0;
    out->streams = static_cast<int>(fmt->nb_streams);
    AVCodecContext *dec[2] = {nullptr, nullptr}; // video, audio
    int index[2] = {-1, -1};
    for (unsigned i = 0; ok && i < fmt->nb_streams; i++) {
        const AVCodecParameters *par = fmt->streams[i]->codecpar;
        const int kind = par->codec_type == AVMEDIA_TYPE_VIDEO ? 0
                         : par->codec_type == AVMEDIA_TYPE_AUDIO ? 1 : -1;
        if (kind < 0 || dec[kind])
            continue;
        const AVCodec *codec = avcodec_find_decoder(par->codec_id);
        dec[kind] = codec ? avcodec_alloc_context3(codec) : nullptr;
        ok = dec[kind] && avcodec_parameters_to_context(dec[kind], par) >= 0 &&
             avcodec_open2(dec[kind], codec, nullptr) >= 0;
        index[kind] = static_cast<int>(i);
        if (kind == 0) {
            out->video_codec = avcodec_get_name(par->codec_id);
            out->frame_rate = fmt->streams[i]->avg_frame_rate;
            out->color_space = par->color_space;
            out->color_range = par->color_range;
        } else {
            out->audio_codec = avcodec_get_name(par->codec_id);
            out->sample_rate = par->sample_rate;
            out->channels = par->ch_layout.nb_channels;
        }
    }
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    // Decodes one packet (null: drain) of stream kind k.
    auto feed = [&](int k, AVPacket *p) {
        if (avcodec_send_packet(dec[k], p) < 0)
            return false;
        while (avcodec_receive_frame(dec[k], frame) == 0) {
            if (k == 1) {
                if (out->samples == 0)
                    out->first_sound = frame->best_effort_timestamp *
                                       av_q2d(fmt->streams[index[1]]->time_base);
                out->samples += frame->nb_samples;
                out->audio_frame = std::max(out->audio_frame, frame->nb_samples);
                continue;
            }
            if (out->frames == 0)
                out->first_time = frame->best_effort_timestamp *
                                  av_q2d(fmt->streams[index[0]]->time_base);
            for (long want : keep)
                if (want == out->frames)
                    out->kept.push_back(to_rgb(frame));
            out->frames++;
        }
        return true;
    };
    while (ok && av_read_frame(fmt, pkt) >= 0) {
        for (int k = 0; k < 2; k++)
            if (pkt->stream_index == index[k] && dec[k])
                ok = feed(k, pkt);
        av_packet_unref(pkt);
    }
    for (int k = 0; k < 2; k++)
        if (ok && dec[k])
            ok = feed(k, nullptr);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec[0]);
    avcodec_free_context(&dec[1]);
    avformat_close_input(&fmt);
    return ok;
}

// Peak signal-to-noise ratio of two RGB24 pictures of equal size, in dB.
inline double psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    if (a.size() != b.size() || a.empty())
        return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); i++) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    const double mse = sum / a.size();
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace video_reader
