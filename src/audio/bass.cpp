// bass.cpp - the demo's music player: Ogg Vorbis streams decoded on SDL's
// audio thread and mixed into one SDL output device, or timed by the clock
// when they cannot be heard.
//
// How a stream is timed:
// - Device streams (a device is open and the file decodes): the audio callback
//   decodes a few kilobytes at a time, converts them to the device's format
//   (SDL_AudioStream, only when rate or channel count differ) and mixes them.
//   It counts the device frames it hands out from play on and turns that count
//   into frames of the file's rate: frames * file rate / device rate. The
//   position therefore runs at most one device buffer ahead of the sound and
//   never counts what was decoded ahead. After the last sound it keeps counting
//   (silence) until it reaches the exact length, where it stays.
// - Clock streams (no device, or a file that is missing or not Ogg Vorbis):
//   the position is the time since play on the performance counter, in bytes
//   of the file's format (44100 Hz stereo 16-bit when there is no file),
//   clamped at the length when it is known.
//
// Threads: the main thread creates, plays and frees streams and reads
// positions; the audio callback decodes and writes positions. Everything the
// callback reads is changed only under the device lock, held briefly; the
// position is an atomic, so reading it never waits for the callback.
// Nothing here writes to stdout or stderr.

#define OV_EXCLUDE_STATIC_CALLBACKS // keep vorbisfile's unused static tables out
#include "audio/bass.h"

#include <SDL.h>
#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <sys/types.h>

namespace {

// ---- Constants --------------------------------------------------------------

enum {
    MAX_STREAMS = 16,
    DEVICE_CHANNELS = 2,           // the device is always 16-bit stereo
    DEVICE_BLOCK = DEVICE_CHANNELS * 2,
    DEVICE_SAMPLES = 1024,         // frames per device buffer: 23 ms at 44100 Hz
    MIX_FRAMES = 1024,             // frames mixed per pass of the callback
    DECODE_CHUNK = 4096,           // bytes asked of one ov_read call
    MAX_READS_PER_FILL = 64,       // bounds the callback's work on a damaged file
    MAX_HOLES_IN_A_ROW = 8,        // that many gaps without data end the decoding
    FALLBACK_RATE = 44100,         // format of a stream without a playable file
    FALLBACK_CHANNELS = 2,
    MIN_DEVICE_RATE = 8000,
    MAX_DEVICE_RATE = 192000,
    MAX_FILE_CHANNELS = 8,
};

// ---- Types ------------------------------------------------------------------

// The bytes of the encoded file: a window [start, start + length) of an open
// file or of a caller's memory block.
struct ByteSource {
    FILE *file;
    const uint8_t *memory;
    uint64_t start;
    uint64_t length;
    uint64_t pos; // relative to start
};

struct Stream {
    HSTREAM handle; // 0: slot free

    // Decoded format: 16-bit signed PCM, `channels` interleaved, `rate` Hz.
    uint32_t rate;
    uint32_t channels;
    uint32_t block;        // bytes per frame: channels * 2
    bool has_length;
    uint64_t total_frames; // exact length when has_length

    // Clock streams (main thread only).
    bool on_clock;
    bool clock_started;
    uint64_t clock_start; // performance counter at play

    // Device streams: the decoder and converter belong to the callback while
    // `playing`; the main thread touches them only under the device lock.
    bool decoder_open;
    ByteSource source;
    OggVorbis_File vorbis;
    SDL_AudioStream *converter; // null when the file has the device's format
    int link;                   // logical bitstream being decoded
    bool playing;
    bool decode_done;   // no more PCM from the file
    bool audio_done;    // decoder and converter both drained
    bool finished;      // position reached the end; nothing more happens
    uint64_t device_frames; // device frames handed out since play

    std::atomic<uint64_t> position; // bytes of the decoded format
};

// ---- Module state -------------------------------------------------------------

bool SubsystemUp;            // SDL_InitSubSystem(SDL_INIT_AUDIO) succeeded
bool Initialised;            // BASS_Init succeeded
SDL_AudioDeviceID Device;    // 0: no device open
uint32_t DeviceRate;         // frames per second of the device
Stream Streams[MAX_STREAMS];
HSTREAM NextHandle = 1;

// Scratch memory of the audio callback (only it touches these).
int32_t MixBuffer[MIX_FRAMES * DEVICE_CHANNELS];
int16_t StreamBuffer[MIX_FRAMES * DEVICE_CHANNELS];
char DecodeBuffer[DECODE_CHUNK];

// ---- Arithmetic ---------------------------------------------------------------

// floor(a * b / c) without overflow for b, c below 2^32.
uint64_t mul_div(uint64_t a, uint64_t b, uint64_t c)
{
    return (a / c) * b + (a % c) * b / c;
}

// ---- Byte source callbacks for vorbisfile -------------------------------------

size_t read_source(void *ptr, size_t size, size_t count, void *data)
{
    ByteSource *src = static_cast<ByteSource *>(data);
    if (size == 0 || src->pos >= src->length)
        return 0;
    uint64_t left = src->length - src->pos;
    uint64_t want = static_cast<uint64_t>(count) * size; // vorbisfile asks 1 x n
    if (want > left)
        want = left - left % size;
    size_t got;
    if (src->memory) {
        std::memcpy(ptr, src->memory + src->start + src->pos, want);
        got = want;
    } else {
        got = std::fread(ptr, 1, want, src->file);
    }
    src->pos += got;
    return got / size;
}

int seek_source(void *data, ogg_int64_t offset, int whence)
{
    ByteSource *src = static_cast<ByteSource *>(data);
    int64_t base = whence == SEEK_SET ? 0
                 : whence == SEEK_CUR ? static_cast<int64_t>(src->pos)
                 : static_cast<int64_t>(src->length);
    if (offset < -base || offset > static_cast<int64_t>(src->length) - base)
        return -1;
    uint64_t pos = static_cast<uint64_t>(base + offset);
    if (src->file && fseeko(src->file, static_cast<off_t>(src->start + pos), SEEK_SET) != 0)
        return -1;
    src->pos = pos;
    return 0;
}

long tell_source(void *data)
{
    return static_cast<long>(static_cast<ByteSource *>(data)->pos);
}

// ---- Device lock ----------------------------------------------------------------

void lock_device()
{
    if (Device)
        SDL_LockAudioDevice(Device);
}

void unlock_device()
{
    if (Device)
        SDL_UnlockAudioDevice(Device);
}

// ---- Stream slots ---------------------------------------------------------------

Stream *find_stream(HSTREAM handle)
{
    if (handle == 0)
        return nullptr;
    for (Stream &s : Streams)
        if (s.handle == handle)
            return &s;
    return nullptr;
}

Stream *find_free_slot()
{
    for (Stream &s : Streams)
        if (s.handle == 0)
            return &s;
    return nullptr;
}

// Clears every field of a slot that is not playing. `playing` itself is left
// alone: it is already false, and only ever written under the device lock
// because the callback reads it for every slot.
void reset_slot(Stream &s)
{
    s.handle = 0;
    s.rate = FALLBACK_RATE;
    s.channels = FALLBACK_CHANNELS;
    s.block = FALLBACK_CHANNELS * 2;
    s.has_length = false;
    s.total_frames = 0;
    s.on_clock = true;
    s.clock_started = false;
    s.clock_start = 0;
    s.decoder_open = false;
    s.source = ByteSource{};
    s.converter = nullptr;
    s.link = 0;
    s.decode_done = false;
    s.audio_done = false;
    s.finished = false;
    s.device_frames = 0;
    s.position.store(0);
}

// Closes the decoder, the converter and the file of a slot that no longer
// plays (the callback no longer reads it).
void close_decoder(Stream &s)
{
    if (s.converter)
        SDL_FreeAudioStream(s.converter);
    s.converter = nullptr;
    if (s.decoder_open)
        ov_clear(&s.vorbis);
    s.decoder_open = false;
    if (s.source.file)
        std::fclose(s.source.file);
    s.source.file = nullptr;
}

// ---- Opening a file ---------------------------------------------------------------

// Sets up the byte window of a file or memory block. Length 0: to the end.
bool open_source(ByteSource &src, bool mem, const void *file, QWORD offset, QWORD length)
{
    src = ByteSource{};
    if (!file)
        return false;
    if (mem) {
        if (length == 0)
            return false; // a memory block needs its size
        src.memory = static_cast<const uint8_t *>(file);
        src.start = offset;
        src.length = length;
        return true;
    }
    src.file = std::fopen(static_cast<const char *>(file), "rb");
    if (!src.file)
        return false;
    off_t size = -1;
    if (fseeko(src.file, 0, SEEK_END) == 0)
        size = ftello(src.file);
    if (size < 0 || offset > static_cast<uint64_t>(size)
        || fseeko(src.file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        std::fclose(src.file);
        src.file = nullptr;
        return false;
    }
    uint64_t rest = static_cast<uint64_t>(size) - offset;
    src.start = offset;
    src.length = (length == 0 || length > rest) ? rest : length;
    return true;
}

// Opens the Ogg Vorbis decoder of a slot whose source is set, and takes the
// file's format and length. False when the bytes are not a playable stream.
bool open_decoder(Stream &s)
{
    ov_callbacks callbacks = {read_source, seek_source, nullptr, tell_source};
    if (ov_open_callbacks(&s.source, &s.vorbis, nullptr, 0, callbacks) != 0)
        return false;
    s.decoder_open = true;
    vorbis_info *info = ov_info(&s.vorbis, -1);
    if (!info || info->channels < 1 || info->channels > MAX_FILE_CHANNELS
        || info->rate < 1 || info->rate > 0x7FFFFFFF)
        return false;
    s.rate = static_cast<uint32_t>(info->rate);
    s.channels = static_cast<uint32_t>(info->channels);
    s.block = s.channels * 2;
    s.link = 0; // ov_read names the link each piece comes from
    ogg_int64_t total = ov_pcm_total(&s.vorbis, -1);
    s.has_length = total >= 0;
    s.total_frames = s.has_length ? static_cast<uint64_t>(total) : 0;
    return true;
}

// A converter from the file's format to the device's, or null when both are
// the same. False when SDL cannot convert between them.
bool open_converter(Stream &s)
{
    if (s.rate == DeviceRate && s.channels == DEVICE_CHANNELS)
        return true;
    s.converter = SDL_NewAudioStream(AUDIO_S16LSB, static_cast<Uint8>(s.channels),
                                     static_cast<int>(s.rate), AUDIO_S16LSB,
                                     DEVICE_CHANNELS, static_cast<int>(DeviceRate));
    return s.converter != nullptr;
}

// ---- Decoding and mixing (audio thread) -------------------------------------------

// Decodes up to len bytes (whole frames) of the first link's format into out.
// Returns the byte count, or 0 and sets decode_done at the end of the data,
// on a read error, or where a following link changes the format.
int decode_chunk(Stream &s, char *out, int len)
{
    for (int holes = 0; holes < MAX_HOLES_IN_A_ROW; ++holes) {
        int link = s.link;
        long n = ov_read(&s.vorbis, out, len, 0, 2, 1, &link); // 16-bit LE signed
        if (n == OV_HOLE)
            continue;
        if (n <= 0)
            break;
        if (link != s.link) {
            vorbis_info *info = ov_info(&s.vorbis, link);
            if (!info || static_cast<uint32_t>(info->channels) != s.channels
                || static_cast<uint32_t>(info->rate) != s.rate)
                break;
            s.link = link;
        }
        return static_cast<int>(n - n % s.block);
    }
    s.decode_done = true;
    return 0;
}

// Puts up to `frames` device frames of the stream's sound into out and
// returns how many it put; fewer only when the sound has ended or a damaged
// file yields nothing within the callback's budget.
int fill_stream(Stream &s, int16_t *out, int frames)
{
    if (s.audio_done)
        return 0;
    char *bytes = reinterpret_cast<char *>(out);
    int wanted = frames * DEVICE_BLOCK;
    int got = 0;
    int reads = 0;
    if (!s.converter) {
        while (got < wanted && !s.decode_done && reads++ < MAX_READS_PER_FILL)
            got += decode_chunk(s, bytes + got, wanted - got);
        s.audio_done = s.decode_done;
        return got / DEVICE_BLOCK;
    }
    while (SDL_AudioStreamAvailable(s.converter) < wanted && !s.decode_done
           && reads++ < MAX_READS_PER_FILL) {
        int n = decode_chunk(s, DecodeBuffer, DECODE_CHUNK);
        if (n > 0 && SDL_AudioStreamPut(s.converter, DecodeBuffer, n) != 0)
            s.decode_done = true;
        if (s.decode_done)
            SDL_AudioStreamFlush(s.converter); // let the resampler's tail out
    }
    got = SDL_AudioStreamGet(s.converter, bytes, wanted);
    if (got < 0)
        got = 0;
    if (s.decode_done && SDL_AudioStreamAvailable(s.converter) == 0)
        s.audio_done = true;
    return got / DEVICE_BLOCK;
}

// Counts `frames` device frames as handed out and publishes the position in
// bytes of the file's format, clamped at the length.
void advance_stream(Stream &s, int frames)
{
    s.device_frames += static_cast<uint64_t>(frames);
    uint64_t file_frames = mul_div(s.device_frames, s.rate, DeviceRate);
    if (s.has_length) {
        if (file_frames >= s.total_frames) {
            file_frames = s.total_frames;
            s.finished = s.audio_done;
        }
    } else if (s.audio_done) {
        s.has_length = true; // the end is where the sound ended
        s.total_frames = file_frames;
        s.finished = true;
    }
    if (s.finished)
        s.playing = false;
    s.position.store(file_frames * s.block);
}

// SDL's audio callback: mixes every playing device stream into the buffer,
// MIX_FRAMES at a time, saturating at the 16-bit range.
void SDLCALL audio_callback(void *, Uint8 *stream, int len)
{
    int16_t *out = reinterpret_cast<int16_t *>(stream);
    int total = len / DEVICE_BLOCK;
    for (int done = 0; done < total;) {
        int frames = total - done < MIX_FRAMES ? total - done : MIX_FRAMES;
        int samples = frames * DEVICE_CHANNELS;
        std::memset(MixBuffer, 0, sizeof MixBuffer);
        for (Stream &s : Streams) {
            if (!s.playing)
                continue;
            int got = fill_stream(s, StreamBuffer, frames);
            for (int i = 0; i < got * DEVICE_CHANNELS; ++i)
                MixBuffer[i] += StreamBuffer[i];
            advance_stream(s, frames);
        }
        for (int i = 0; i < samples; ++i) {
            int32_t v = MixBuffer[i];
            out[done * DEVICE_CHANNELS + i] =
                static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
        done += frames;
    }
    // A partial frame at the end of an odd-sized buffer stays silent.
    std::memset(stream + total * DEVICE_BLOCK, 0, static_cast<size_t>(len - total * DEVICE_BLOCK));
}

// ---- Clock streams -----------------------------------------------------------------

// Bytes of the stream's format played by the clock since play, clamped at
// the length when known.
uint64_t clock_position(const Stream &s)
{
    if (!s.clock_started)
        return 0;
    uint64_t elapsed = SDL_GetPerformanceCounter() - s.clock_start;
    uint64_t frames = mul_div(elapsed, s.rate, SDL_GetPerformanceFrequency());
    if (s.has_length && frames > s.total_frames)
        frames = s.total_frames;
    return frames * s.block;
}

// Stops and closes every stream.
void free_all_streams()
{
    for (Stream &s : Streams)
        if (s.handle)
            BASS_StreamFree(s.handle);
}

} // namespace

// ---- The interface -------------------------------------------------------------------

// Opens SDL's audio subsystem and its default device (device -1; n >= 1 is
// SDL's output device n - 1; 0 is no output) as 16-bit stereo at `freq` Hz
// (0 or out of 8000..192000: 44100). The device runs from here on, silent
// until a stream plays. Calling it again while initialised changes nothing.
BOOL BASS_Init(int device, uint32_t freq, uint32_t, void *, const void *)
{
    if (Initialised)
        return true;
    if (freq < MIN_DEVICE_RATE || freq > MAX_DEVICE_RATE)
        freq = FALLBACK_RATE;
    DeviceRate = freq;
    if (device == 0) {
        Initialised = true; // no output wanted: every stream runs on the clock
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SubsystemUp = true;
    const char *name = device > 0 ? SDL_GetAudioDeviceName(device - 1, 0) : nullptr;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(freq);
    want.format = AUDIO_S16LSB;
    want.channels = DEVICE_CHANNELS;
    want.samples = DEVICE_SAMPLES;
    want.callback = audio_callback;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to the hardware itself, so the callback
    // always sees 16-bit stereo at `freq`.
    Device = (device > 0 && !name) ? 0 : SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (Device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        SubsystemUp = false;
        return false;
    }
    SDL_PauseAudioDevice(Device, 0);
    Initialised = true;
    return true;
}

// Creates a stream of an Ogg Vorbis file (mem false: `file` is a file name;
// mem true: `file` points to `length` bytes that must outlive the stream),
// starting `offset` bytes in; length 0 reads a file to its end. The flags are
// ignored: the exact length is always known after opening. A missing or
// undecodable file, or no device, gives a silent stream timed by the clock.
// Returns 0 only when all MAX_STREAMS stream slots are in use.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, uint32_t)
{
    Stream *s = find_free_slot();
    if (!s)
        return 0;
    reset_slot(*s); // the callback skips this slot: it is not playing
    if (open_source(s->source, mem != 0, file, offset, length)) {
        if (!open_decoder(*s)) {
            close_decoder(*s);
            reset_slot(*s); // not Ogg Vorbis: the fallback format
        } else if (!Device || !open_converter(*s)) {
            close_decoder(*s); // timed by the clock, in the file's format
        } else {
            s->on_clock = false;
        }
    }
    s->handle = NextHandle++;
    if (NextHandle == 0)
        NextHandle = 1;
    return s->handle;
}

// Device output runs from BASS_Init on; this only makes sure it is running.
BOOL BASS_Start()
{
    if (Device)
        SDL_PauseAudioDevice(Device, 0);
    return Initialised;
}

// Starts a stream; restart true starts it again from the beginning. Playing a
// stream that is already playing, or has ended, without restart changes
// nothing.
BOOL BASS_ChannelPlay(HSTREAM handle, BOOL restart)
{
    Stream *s = find_stream(handle);
    if (!s)
        return false;
    if (s->on_clock) {
        if (!s->clock_started || restart) {
            s->clock_start = SDL_GetPerformanceCounter();
            s->clock_started = true;
        }
        return true;
    }
    lock_device();
    if (restart) {
        s->playing = false;
        s->decode_done = ov_pcm_seek(&s->vorbis, 0) != 0;
        s->link = 0;
        if (s->converter)
            SDL_AudioStreamClear(s->converter);
        s->audio_done = false;
        s->finished = false;
        s->device_frames = 0;
        s->position.store(0);
    }
    if (!s->finished)
        s->playing = true;
    unlock_device();
    return true;
}

// Position in bytes of the decoded format (BASS_POS_BYTE only); 0 for an
// unknown handle or another mode. Never waits for the audio thread.
QWORD BASS_ChannelGetPosition(HSTREAM handle, uint32_t mode)
{
    Stream *s = find_stream(handle);
    if (!s || mode != BASS_POS_BYTE)
        return 0;
    return s->on_clock ? clock_position(*s) : s->position.load();
}

// Seconds = bytes / (rate * bytes per frame), exactly, in double; 0 for an
// unknown handle.
double BASS_ChannelBytes2Seconds(HSTREAM handle, QWORD pos)
{
    Stream *s = find_stream(handle);
    if (!s)
        return 0.0;
    return static_cast<double>(pos) / static_cast<double>(uint64_t{s->rate} * s->block);
}

// Decoding happens on the audio callback's thread, a buffer at a time, so
// there is nothing to do here: it only reports whether BASS_Init succeeded.
BOOL BASS_Update(uint32_t)
{
    return Initialised;
}

// Stops a stream and closes its file; the handle becomes unknown.
BOOL BASS_StreamFree(HSTREAM handle)
{
    Stream *s = find_stream(handle);
    if (!s)
        return false;
    lock_device();
    s->playing = false;
    unlock_device();
    close_decoder(*s);
    reset_slot(*s);
    return true;
}

// Frees every stream, closes the device and SDL's audio subsystem. False when
// nothing was initialised; safe to call any number of times.
BOOL BASS_Free()
{
    free_all_streams();
    bool was = Initialised;
    if (Device)
        SDL_CloseAudioDevice(Device);
    Device = 0;
    if (SubsystemUp)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SubsystemUp = false;
    Initialised = false;
    return was;
}
