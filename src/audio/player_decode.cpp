// player_decode.cpp - the sound of a device-timed stream (see
// player_decode.h).
#include "audio/player_decode.h"

#include <cstring>

namespace {

enum {
    DECODE_CHUNK = 4096,           // bytes asked of one ov_read call
    MIN_READS_PER_FILL = 64,       // bounds the callback's work on a damaged file
    MAX_HOLES_IN_A_ROW = 8,        // that many gaps without data end the decoding
    MAX_FILE_CHANNELS = 8,
};

char DecodeBuffer[DECODE_CHUNK]; // the callback's scratch memory

// Decodes up to len bytes (whole frames) of the first link's format into out.
// Returns the byte count, or 0 and sets decode_done at the end of the data,
// on a decode error (also `failed`), or where a following link changes the
// format.
int decode_chunk(PlayerStream &s, char *out, int len)
{
    PlayerDecoder &d = s.decoder;
    for (int holes = 0; holes < MAX_HOLES_IN_A_ROW; ++holes) {
        int link = d.link;
        const long n = ov_read(&d.vorbis, out, len, 0, 2, 1, &link); // 16-bit LE signed
        if (n == OV_HOLE)
            continue;
        if (n < 0)
            d.failed = true;
        if (n <= 0)
            break;
        if (link != d.link) {
            vorbis_info *info = ov_info(&d.vorbis, link);
            if (!info || static_cast<uint32_t>(info->channels) != s.channels
                || static_cast<uint32_t>(info->rate) != s.rate)
                break;
            d.link = link;
        }
        return static_cast<int>(n - n % s.block);
    }
    d.decode_done = true;
    return 0;
}

} // namespace

// ---- Opening and closing ----------------------------------------------------------

void close_decoder(PlayerDecoder &d)
{
    if (d.converter)
        SDL_FreeAudioStream(d.converter);
    d.converter = nullptr;
    if (d.vorbis_open)
        ov_clear(&d.vorbis);
    d.vorbis_open = false;
    ogg_source_close(d.source);
}

bool open_decoder(PlayerStream &s)
{
    PlayerDecoder &d = s.decoder;
    if (ov_open_callbacks(&d.source, &d.vorbis, nullptr, 0, ogg_source_callbacks()) != 0)
        return false;
    d.vorbis_open = true;
    vorbis_info *info = ov_info(&d.vorbis, -1);
    if (!info || info->channels < 1 || info->channels > MAX_FILE_CHANNELS || info->rate < 1
        || info->rate > 0x7FFFFFFF)
        return false;
    s.rate = static_cast<uint32_t>(info->rate);
    s.channels = static_cast<uint32_t>(info->channels);
    s.block = s.channels * 2;
    d.link = 0; // ov_read names the link each piece comes from
    const ogg_int64_t total = ov_pcm_total(&d.vorbis, -1);
    s.has_length = total >= 0;
    s.length = s.has_length ? static_cast<uint64_t>(total) : 0;
    return true;
}

bool open_converter(PlayerStream &s, uint32_t device_rate)
{
    if (s.rate == device_rate && s.channels == DEVICE_CHANNELS)
        return true;
    s.decoder.converter = SDL_NewAudioStream(AUDIO_S16LSB, static_cast<Uint8>(s.channels),
                                             static_cast<int>(s.rate), AUDIO_S16LSB, DEVICE_CHANNELS,
                                             static_cast<int>(device_rate));
    return s.decoder.converter != nullptr;
}

// ---- Filling a device buffer (audio thread) ----------------------------------------

int fill_sound(PlayerStream &s, int16_t *out, int frames)
{
    PlayerDecoder &d = s.decoder;
    if (d.audio_done)
        return 0;
    char *bytes = reinterpret_cast<char *>(out);
    const int wanted = frames * DEVICE_BLOCK;
    const int max_reads = MIN_READS_PER_FILL + frames / 32;
    int got = 0;
    int reads = 0;
    if (!d.converter) {
        while (got < wanted && !d.decode_done && reads++ < max_reads)
            got += decode_chunk(s, bytes + got, wanted - got);
        d.audio_done = d.decode_done;
        return got / DEVICE_BLOCK;
    }
    while (SDL_AudioStreamAvailable(d.converter) < wanted && !d.decode_done && reads++ < max_reads) {
        const int n = decode_chunk(s, DecodeBuffer, DECODE_CHUNK);
        if (n > 0 && SDL_AudioStreamPut(d.converter, DecodeBuffer, n) != 0)
            d.decode_done = true;
        if (d.decode_done)
            SDL_AudioStreamFlush(d.converter); // let the resampler's tail out
    }
    got = SDL_AudioStreamGet(d.converter, bytes, wanted);
    if (got < 0)
        got = 0;
    if (d.decode_done && SDL_AudioStreamAvailable(d.converter) == 0)
        d.audio_done = true;
    return got / DEVICE_BLOCK;
}

// Each input frame gives the mean of it and the frame before, then itself.
// The input is decoded into the tail of `out` and
// spread forwards, never overtaking what is still to be read.
void fill_sound_half(PlayerStream &s, int16_t *out, int frames)
{
    HalfCarry &c = s.carry;
    int at = 0;
    if (c.pending && frames > 0) {
        out[0] = c.previous[0];
        out[1] = c.previous[1];
        c.pending = false;
        at = 1;
    }
    const int wanted = (frames - at + 1) / 2;
    const int first = frames - wanted; // where the input lies
    const int got = fill_sound(s, out + 2 * first, wanted);
    for (int i = 0; i < got; ++i) {
        const int16_t left = out[2 * (first + i)];
        const int16_t right = out[2 * (first + i) + 1];
        if (!c.have_previous) {
            c.previous[0] = left;
            c.previous[1] = right;
            c.have_previous = true;
        }
        out[2 * at] = static_cast<int16_t>((c.previous[0] + left) >> 1);
        out[2 * at + 1] = static_cast<int16_t>((c.previous[1] + right) >> 1);
        ++at;
        c.previous[0] = left;
        c.previous[1] = right;
        if (at == frames) {
            c.pending = true; // itself opens the next callback
            break;
        }
        out[2 * at] = left;
        out[2 * at + 1] = right;
        ++at;
    }
    std::memset(out + 2 * at, 0, static_cast<size_t>(frames - at) * DEVICE_BLOCK);
}
