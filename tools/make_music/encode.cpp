// encode.cpp - Ogg Vorbis encoding with libvorbisenc, in-memory decoding with
// vorbisfile for the level check, and the file write (see encode.h).
#include "make_music/encode.h"

#include "common/output_file.h"

#include "make_music/arrangement.h"
#include "base/ogg_source.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const int CHUNK_FRAMES = 1024;  // frames handed to the encoder at a time

void append_page(std::vector<unsigned char> &out, const ogg_page &page)
{
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

// Moves every finished block through analysis into Ogg pages; with
// page_per_packet each packet is flushed onto a page of its own.
void drain_blocks(vorbis_dsp_state &vd, vorbis_block &vb, ogg_stream_state &os,
                  bool page_per_packet, std::vector<unsigned char> &out)
{
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
        vorbis_analysis(&vb, nullptr);
        vorbis_bitrate_addblock(&vb);
        while (vorbis_bitrate_flushpacket(&vd, &packet)) {
            ogg_stream_packetin(&os, &packet);
            while ((page_per_packet ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) != 0)
                append_page(out, page);
        }
    }
}

} // namespace

bool encode_vorbis(const std::vector<float> &left, const std::vector<float> &right, float quality,
                   std::vector<unsigned char> &out, std::string &error)
{
    static_assert(CHANNELS == 2, "the soundtrack is left and right");
    return encode_vorbis_channels({&left, &right}, VorbisFormat{SAMPLE_RATE, quality, false}, out,
                                  error);
}

bool encode_vorbis_channels(const std::vector<const std::vector<float> *> &channels,
                            const VorbisFormat &format, std::vector<unsigned char> &out,
                            std::string &error)
{
    out.clear();
    if (channels.empty()) {
        error = "no channels";
        return false;
    }
    for (const std::vector<float> *channel : channels) {
        if (channel->size() != channels[0]->size()) {
            error = "channels differ in length";
            return false;
        }
    }
    const int count = static_cast<int>(channels.size());
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, count, format.rate, format.quality) != 0) {
        vorbis_info_clear(&vi);
        error = "the Vorbis encoder rejected its settings";
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "Judgement");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, OGG_SERIAL);

    // Three header packets; the first page holds only the identification header.
    ogg_packet ident, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &ident, &comments, &codebooks);
    ogg_stream_packetin(&os, &ident);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0)
        append_page(out, page);

    const size_t total = channels[0]->size();
    for (size_t at = 0; at < total; at += CHUNK_FRAMES) {
        const size_t n = std::min<size_t>(CHUNK_FRAMES, total - at);
        float **buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
        for (int c = 0; c < count; ++c)
            std::memcpy(buffer[c], channels[c]->data() + at, n * sizeof(float));
        vorbis_analysis_wrote(&vd, static_cast<int>(n));
        drain_blocks(vd, vb, os, format.page_per_packet, out);
    }
    vorbis_analysis_wrote(&vd, 0);  // end of stream
    drain_blocks(vd, vb, os, format.page_per_packet, out);
    while (ogg_stream_flush(&os, &page) != 0)
        append_page(out, page);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return true;
}

bool decode_vorbis_info(const std::vector<unsigned char> &data, DecodedInfo &info, std::string &error)
{
    info = DecodedInfo{0, 0, 0, 0, 0.0};
    OggSource source = ogg_source_memory(data.data(), data.size());
    if (!ogg_source_ends_with_eos(source)) {
        error = "the stream lacks its end-of-stream mark";
        return false;
    }
    OggVorbis_File vf;
    if (ov_open_callbacks(&source, &vf, nullptr, 0, ogg_source_callbacks()) != 0) {
        error = "not an Ogg Vorbis stream";
        return false;
    }
    const vorbis_info *vi = ov_info(&vf, -1);
    info.channels = vi->channels;
    info.rate = vi->rate;
    info.frames = ov_pcm_total(&vf, -1);
    float peak = 0.0f;
    int section = 0;
    for (;;) {
        float **pcm = nullptr;
        const long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n == 0)
            break;
        if (n < 0) {
            ov_clear(&vf);
            error = "damaged audio data";
            return false;
        }
        for (int c = 0; c < info.channels; ++c)
            for (long i = 0; i < n; ++i)
                peak = std::max(peak, std::fabs(pcm[c][i]));
        info.decoded += n;
    }
    info.peak = peak;
    ov_clear(&vf);
    return true;
}

bool write_file(const char *path, const std::vector<unsigned char> &data, std::string &error)
{
    return write_output_file(path, data.data(), data.size(), &error);
}
