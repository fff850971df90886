// music_source.cpp - sample-exact reading of the soundtrack with vorbisfile.
#include "capture/video/music_source.h"

#include <algorithm>
#include <cstdio>

#include "common/read_file.h"

enum {
    MIN_RATE = 8000,
    MAX_RATE = 192000,
    MAX_CHANNELS = 8,
    MAX_HOLES = 64, // consecutive decode errors before the rest counts as silence
};

bool open_music(const char *path, MusicSource *m, std::string *err)
{
    std::string why;
    FILE *f = open_regular_stream(path, &why); // no FIFO or folder at its name: not waited on
    if (!f) {
        *err = "cannot open it";
        return false;
    }
    // On success vorbisfile owns the FILE and closes it in ov_clear.
    if (ov_open(f, &m->vorbis, nullptr, 0) != 0) {
        std::fclose(f);
        *err = "not an Ogg Vorbis file";
        return false;
    }
    const vorbis_info *info = ov_info(&m->vorbis, -1);
    const ogg_int64_t total = ov_pcm_total(&m->vorbis, -1);
    if (!info || info->rate < MIN_RATE || info->rate > MAX_RATE || info->channels < 1 ||
        info->channels > MAX_CHANNELS || total <= 0) {
        ov_clear(&m->vorbis);
        *err = "unsupported rate, channels or length";
        return false;
    }
    m->rate = static_cast<int>(info->rate);
    m->channels = info->channels;
    m->length = total;
    m->position = 0;
    m->decoding = true;
    return true;
}

void close_music(MusicSource *m)
{
    ov_clear(&m->vorbis);
}

double music_seconds(const MusicSource &m)
{
    return static_cast<double>(m.length) / m.rate;
}

void seek_music(MusicSource *m, int64_t sample)
{
    m->position = sample;
    const int64_t at = std::clamp<int64_t>(sample, 0, m->length);
    m->decoding = at < m->length && ov_pcm_seek(&m->vorbis, at) == 0;
}

// Decodes up to `count` frames at the current position into out; returns how
// many, 0 at the end of the decodable music.
static long decode(MusicSource *m, float *out, long count)
{
    long done = 0;
    int holes = 0;
    while (done < count && m->decoding) {
        float **pcm = nullptr;
        int section = 0;
        const long want = std::min<long>(count - done, 4096);
        const long got = ov_read_float(&m->vorbis, &pcm, static_cast<int>(want), &section);
        if (got == OV_HOLE && ++holes < MAX_HOLES)
            continue;
        if (got <= 0) {
            m->decoding = false;
            break;
        }
        holes = 0;
        // A chained file may change its channel count between sections.
        const int channels = ov_info(&m->vorbis, section)->channels;
        const float *left = pcm[0], *right = channels > 1 ? pcm[1] : pcm[0];
        for (long i = 0; i < got; i++) {
            out[2 * (done + i)] = left[i];
            out[2 * (done + i) + 1] = right[i];
        }
        done += got;
    }
    return done;
}

void read_music(MusicSource *m, float *out, long count)
{
    long done = 0;
    // Silence before the music's start.
    if (m->position < 0) {
        const long lead = static_cast<long>(std::min<int64_t>(-m->position, count));
        std::fill(out, out + 2 * lead, 0.0f);
        done = lead;
        m->position += lead;
        if (m->position == 0)
            seek_music(m, 0);
    }
    if (done < count && m->position < m->length) {
        const long room = static_cast<long>(std::min<int64_t>(count - done, m->length - m->position));
        const long got = decode(m, out + 2 * done, room);
        done += got;
        m->position += got;
    }
    std::fill(out + 2 * done, out + 2 * count, 0.0f);
    m->position += count - done;
}
