// player.cpp - the music player (see player.h).
//
// Device-timed streams: the audio callback decodes a few kilobytes at a
// time, converts them to the device's format (SDL_AudioStream, only when rate
// or channel count differ) and hands them out. It counts what it hands out
// in frames of the file's rate ("handed") and steers the position:
// - the position at time t is anchor + (t - anchor time) * rate * pace * speed,
//   pace being the playback rate (1, or 0.5 at half speed);
// - at each callback the anchor moves to the position of that moment, raised
//   to at least handed - buffer, and the speed is set so that the position
//   closes its distance to the target within about STEER_BUFFERS buffers,
//   never more than MAX_SPEED_CHANGE off real time;
// - the target is where the sound is: the buffer just handed out is taken to
//   sound from its callback on, so at that moment the sound is at
//   handed - buffer, plus a small lead that absorbs callbacks arriving a
//   little early. SDL 2 reports no output latency beyond the buffer size it
//   grants; that size is what is used;
// - reading, the position is eased off below handed + buffer so that it
//   never reaches it (a late callback slows it instead of stopping it), and
//   never goes back.
// Clock-timed streams: anchor + (t - anchor time) * rate, exactly, in whole
// frames (halved, rounded down, at half speed).
//
// Half speed plays the sound like a tape at half its speed, an octave down:
// each frame of the sound in the device's format goes out twice as long,
// first as the mean of it and the frame before, then as itself (linear
// interpolation 2:1, half a frame late so that no frame waits for the next
// callback). Its only artefact is a faint mirror of the sound above a
// quarter of the device's rate, damped by the interpolation's triangle
// filter: enough for listening through an edit, at two additions a frame.
// The timing counts half a file frame per device frame, and the steering
// works unchanged in file frames: a buffer is then half as many file
// frames, over as long. A change of speed while playing takes effect, for
// sound and position alike, at the next callback. Speed 1 leaves every byte
// and position as it was without this setting.
//
// Threads: the main thread opens, plays, pauses, seeks and closes the stream
// and reads positions; the audio callback decodes and moves the timing on.
// What the callback reads is changed only under the device lock; the timing
// record is copied under a spin lock, held for a few instructions, so
// reading the position never waits for decoding.
#include "audio/player.h"

#include "base/ogg_source.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// ---- Constants --------------------------------------------------------------

enum {
    DEVICE_CHANNELS = 2,           // the device is always 16-bit stereo
    DEVICE_BLOCK = DEVICE_CHANNELS * 2,
    DEVICE_SAMPLES = 1024,         // frames per device buffer: 23 ms at 44100 Hz
    DECODE_CHUNK = 4096,           // bytes asked of one ov_read call
    MIN_READS_PER_FILL = 64,       // bounds the callback's work on a damaged file
    MAX_HOLES_IN_A_ROW = 8,        // that many gaps without data end the decoding
    FALLBACK_RATE = 44100,         // format of a stream without a playable file
    FALLBACK_CHANNELS = 2,
    MIN_DEVICE_RATE = 8000,
    MAX_DEVICE_RATE = 192000,
    MAX_FILE_CHANNELS = 8,
};

const double STEER_BUFFERS = 4.0;     // a distance to the target closes in about this many buffers
const double MAX_SPEED_CHANGE = 0.05; // the position runs at 95..105 % of real time
const double TARGET_LEAD = 0.125;     // of a buffer: room for callbacks a little early
const double EASE_BUFFERS = 0.25;     // the last part below handed + buffer, eased into
const double MAX_SEEK_SECONDS = 1e7;  // bound of a seek when the length is unknown

// ---- Types ------------------------------------------------------------------

struct Device {
    bool open;              // an SDL device or a manual one
    SDL_AudioDeviceID id;   // 0: none from SDL
    bool subsystem;         // SDL_InitSubSystem(SDL_INIT_AUDIO) succeeded
    uint32_t rate;          // frames per second
    int buffer_frames;      // frames per callback, as granted
};

// The decoder and converter of a device-timed stream. While the stream runs
// they belong to the callback; the main thread touches them under the lock.
struct Decoder {
    OggSource source;
    bool vorbis_open;
    OggVorbis_File vorbis;
    SDL_AudioStream *converter; // null when the file has the device's format
    int link;                   // logical bitstream being decoded
    bool decode_done;           // no more PCM from the file
    bool audio_done;            // decoder and converter both drained
    bool failed;                // decoding stopped on an error
};

// Device timing, in frames of the file's rate (fractions kept).
struct DeviceTiming {
    bool running;            // played and not paused
    double handed;           // end of the last buffer handed to the device
    double buffer;           // one device buffer
    double anchor;           // position at anchor_counter
    uint64_t anchor_counter;
    double speed;            // steering: 1 runs at the pace
    double pace;             // playback rate: 1, or 0.5 at half speed
    bool settled;            // a callback found the position in the lower half of its band
};

// Clock timing, in whole frames of the stream's format.
struct ClockTiming {
    bool running;
    uint64_t anchor;
    uint64_t anchor_counter;
    bool half;               // half speed
};

// The half-speed resampler's carry between callbacks (audio thread; the
// main thread clears it under the device lock).
struct HalfCarry {
    bool have_previous;      // `previous` holds the last input frame
    int16_t previous[2];
    bool pending;            // `previous` is yet to be put out as itself
};

struct Stream {
    bool open;               // written under the device lock only
    bool on_device;          // device-timed; otherwise clock-timed
    std::string path;

    // Decoded format: 16-bit signed PCM, `channels` interleaved, `rate` Hz.
    uint32_t rate;
    uint32_t channels;
    uint32_t block;          // bytes per frame
    bool has_length;         // false: runs on without end
    uint64_t length;         // frames

    bool played;             // player_play has run
    bool paused;
    bool muted;
    bool half;               // half speed (written under the device lock)
    HalfCarry carry;
    bool damage_reported;    // the damaged-file line has been printed
    uint64_t last_reported;  // what player_position_frames last gave

    Decoder decoder;
    DeviceTiming device;     // under TimingLock
    ClockTiming clock;
};

// ---- Module state -------------------------------------------------------------

Device Out;
Stream Music;
SDL_SpinLock TimingLock;
std::atomic<bool> DecodeFailed; // set by the callback, reported by the main thread

uint64_t (*Counter)() = nullptr; // null: SDL's performance counter
uint64_t CounterFrequency = 0;

char DecodeBuffer[DECODE_CHUNK]; // the callback's scratch memory

// ---- Small helpers ---------------------------------------------------------------

uint64_t now_counter()
{
    return Counter ? Counter() : SDL_GetPerformanceCounter();
}

uint64_t counter_frequency()
{
    return Counter ? CounterFrequency : SDL_GetPerformanceFrequency();
}

// floor(a * b / c) without overflow for b, c below 2^32.
uint64_t mul_div(uint64_t a, uint64_t b, uint64_t c)
{
    return (a / c) * b + (a % c) * b / c;
}

void lock_device()
{
    if (Out.id)
        SDL_LockAudioDevice(Out.id);
}

void unlock_device()
{
    if (Out.id)
        SDL_UnlockAudioDevice(Out.id);
}

DeviceTiming read_timing()
{
    SDL_AtomicLock(&TimingLock);
    DeviceTiming t = Music.device;
    SDL_AtomicUnlock(&TimingLock);
    return t;
}

void write_timing(const DeviceTiming &t)
{
    SDL_AtomicLock(&TimingLock);
    Music.device = t;
    SDL_AtomicUnlock(&TimingLock);
}

// One line on standard error for a music file that is there but gives no
// sound, or less than all of it; a missing file is the ordinary silent case.
void report_unplayable(const char *why)
{
    if (Music.damage_reported)
        return;
    Music.damage_reported = true;
    std::fprintf(stderr, "%s: the music file %s; the show goes on by the clock\n", Music.path.c_str(),
                 why);
}

void report_damage()
{
    report_unplayable("is damaged");
}

// ---- Device timing ----------------------------------------------------------------

// The free-running position at `counter`, before easing.
double device_free_position(const DeviceTiming &t, uint64_t counter, uint32_t rate)
{
    if (!t.running || counter <= t.anchor_counter)
        return t.anchor;
    const double seconds =
        static_cast<double>(counter - t.anchor_counter) / static_cast<double>(counter_frequency());
    return t.anchor + seconds * static_cast<double>(rate) * t.pace * t.speed;
}

// Eases a position into the ceiling handed + buffer: unchanged below the
// easing zone, then approaching the ceiling without reaching it. Rising in p.
// Until a callback finds the position back in the lower half of its band
// after a restart, it only stops at the ceiling: the first callback may come
// a whole buffer after the restart without being late, and the position
// then runs high in its band until steered down.
double ease_below_ceiling(const DeviceTiming &t, double p)
{
    const double ceiling = t.handed + t.buffer;
    const double zone = EASE_BUFFERS * t.buffer;
    const double start = ceiling - zone;
    if (p <= start || zone <= 0.0 || !t.settled)
        return std::min(p, ceiling);
    const double x = (p - start) / zone;
    return start + zone * x / (1.0 + x);
}

double device_position(const DeviceTiming &t, uint64_t counter, uint32_t rate)
{
    return ease_below_ceiling(t, device_free_position(t, counter, rate));
}

// The callback's step: `frames` file frames handed to the device at
// `counter`. Moves the anchor there and sets the speed towards the target.
void device_handed(DeviceTiming &t, double frames, uint64_t counter, uint32_t rate)
{
    double now = device_position(t, counter, rate);
    t.handed += frames;
    t.buffer = frames;
    now = std::max(now, t.handed - t.buffer);
    const double target = t.handed - t.buffer + TARGET_LEAD * t.buffer;
    const double change = (target - now) / (STEER_BUFFERS * t.buffer);
    t.speed = 1.0 + std::clamp(change, -MAX_SPEED_CHANGE, MAX_SPEED_CHANGE);
    t.anchor = now;
    t.anchor_counter = counter;
    t.settled = t.settled || now - (t.handed - t.buffer) <= 0.5 * t.buffer;
}

// Restarts the timing at position `frames` (play, seek), running or not.
void device_restart(double frames, bool running)
{
    DeviceTiming t = read_timing();
    t.running = running;
    t.handed = frames;
    t.anchor = frames;
    t.anchor_counter = now_counter();
    t.speed = 1.0;
    t.settled = false;
    write_timing(t);
}

// ---- Clock timing -------------------------------------------------------------------

uint64_t clock_position(const ClockTiming &c, uint32_t rate)
{
    if (!c.running)
        return c.anchor;
    const uint64_t now = now_counter();
    const uint64_t elapsed = now > c.anchor_counter ? now - c.anchor_counter : 0;
    const uint64_t frames = mul_div(elapsed, rate, counter_frequency());
    return c.anchor + (c.half ? frames / 2 : frames); // floor(floor(x) / 2) = floor(x / 2)
}

// ---- Opening and closing a file ------------------------------------------------------

void close_decoder(Decoder &d)
{
    if (d.converter)
        SDL_FreeAudioStream(d.converter);
    d.converter = nullptr;
    if (d.vorbis_open)
        ov_clear(&d.vorbis);
    d.vorbis_open = false;
    ogg_source_close(d.source);
}

// Opens the decoder on an open source and takes the file's format and
// length. False when the bytes are not a playable stream.
bool open_decoder(Stream &s)
{
    Decoder &d = s.decoder;
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

// A converter from the file's format to the device's, or null when both are
// the same. False when SDL cannot convert between them.
bool open_converter(Stream &s)
{
    if (s.rate == Out.rate && s.channels == DEVICE_CHANNELS)
        return true;
    s.decoder.converter = SDL_NewAudioStream(AUDIO_S16LSB, static_cast<Uint8>(s.channels),
                                             static_cast<int>(s.rate), AUDIO_S16LSB, DEVICE_CHANNELS,
                                             static_cast<int>(Out.rate));
    return s.decoder.converter != nullptr;
}

// Clears every field of a closed stream but `open`, which is only ever
// written under the device lock because the callback reads it first.
void reset_stream()
{
    Music.on_device = false;
    Music.path.clear();
    Music.rate = FALLBACK_RATE;
    Music.channels = FALLBACK_CHANNELS;
    Music.block = FALLBACK_CHANNELS * 2;
    Music.has_length = false;
    Music.length = 0;
    Music.played = false;
    Music.paused = false;
    Music.muted = false;
    Music.half = false;
    Music.carry = HalfCarry{};
    Music.damage_reported = false;
    Music.last_reported = 0;
    Music.decoder = Decoder{};
    Music.clock = ClockTiming{};
    DecodeFailed.store(false);
    DeviceTiming t{};
    t.speed = 1.0;
    t.pace = 1.0;
    t.buffer = static_cast<double>(Out.buffer_frames);
    write_timing(t);
}

// ---- Decoding (audio thread) --------------------------------------------------------------

// Decodes up to len bytes (whole frames) of the first link's format into out.
// Returns the byte count, or 0 and sets decode_done at the end of the data,
// on a decode error (also `failed`), or where a following link changes the
// format.
int decode_chunk(Stream &s, char *out, int len)
{
    Decoder &d = s.decoder;
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

// Puts up to `frames` device frames of the stream's sound into out and
// returns how many it put; fewer only when the sound has ended or a damaged
// file yields nothing within the callback's budget.
int fill(Stream &s, int16_t *out, int frames)
{
    Decoder &d = s.decoder;
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

// Half speed: puts `frames` device frames into out from about half as many
// of the stream's, each input frame giving the mean of it and the frame
// before, then itself. The input is decoded into the tail of `out` and
// spread forwards, never overtaking what is still to be read. Past the end
// of the sound the rest is silence.
void fill_half(Stream &s, int16_t *out, int frames)
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
    const int got = fill(s, out + 2 * first, wanted);
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

void SDLCALL sdl_callback(void *, Uint8 *stream, int len)
{
    player_render(stream, len);
}

// ---- Seeking -----------------------------------------------------------------------------

// The frame of a time in seconds, clamped to [0, length] (to [0, a bound]
// when the length is unknown); NaN is 0.
uint64_t frame_of(double seconds)
{
    const double most = Music.has_length ? static_cast<double>(Music.length) / Music.rate
                                         : MAX_SEEK_SECONDS;
    if (!(seconds > 0.0))
        return 0;
    if (seconds >= most)
        return Music.has_length ? Music.length : static_cast<uint64_t>(most * Music.rate);
    return static_cast<uint64_t>(std::llround(seconds * Music.rate));
}

} // namespace

// ---- The output device ------------------------------------------------------

bool player_open_device(int device, uint32_t rate)
{
    player_close_device();
    if (rate < MIN_DEVICE_RATE || rate > MAX_DEVICE_RATE)
        rate = FALLBACK_RATE;
    if (device == 0)
        return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    Out.subsystem = true;
    const char *name = device > 0 ? SDL_GetAudioDeviceName(device - 1, 0) : nullptr;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16LSB;
    want.channels = DEVICE_CHANNELS;
    want.samples = DEVICE_SAMPLES;
    want.callback = sdl_callback;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to the hardware itself, so the callback
    // always sees 16-bit stereo at `rate`.
    Out.id = (device > 0 && !name) ? 0 : SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (Out.id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        Out.subsystem = false;
        return false;
    }
    Out.open = true;
    Out.rate = rate;
    Out.buffer_frames = have.samples > 0 ? int{have.samples} : int{DEVICE_SAMPLES};
    SDL_PauseAudioDevice(Out.id, 0);
    return true;
}

void player_close_device()
{
    player_close();
    if (Out.id)
        SDL_CloseAudioDevice(Out.id);
    if (Out.subsystem)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    Out = Device{};
}

bool player_open_manual_device(uint32_t rate, int buffer_frames)
{
    player_close_device();
    if (rate < MIN_DEVICE_RATE || rate > MAX_DEVICE_RATE || buffer_frames < 1)
        return false;
    Out.open = true;
    Out.rate = rate;
    Out.buffer_frames = buffer_frames;
    return true;
}

void player_set_clock(uint64_t (*counter)(), uint64_t frequency)
{
    Counter = frequency > 0 ? counter : nullptr;
    CounterFrequency = frequency;
}

// ---- The stream ---------------------------------------------------------------

bool player_open(const char *path)
{
    player_close();
    reset_stream(); // the callback skips the stream: it is not open
    Music.path = path ? path : "";
    Decoder &d = Music.decoder;
    OggOpenFailure failure = OggOpenFailure::None;
    const bool opened = ogg_source_open_file(d.source, path, &failure);
    const int open_errno = errno;
    if (failure == OggOpenFailure::NotAFile) {
        report_unplayable("is not a regular file");
    } else if (failure == OggOpenFailure::Unreadable) {
        const std::string why = std::string("cannot be read: ") + std::strerror(open_errno);
        report_unplayable(why.c_str());
    }
    if (opened) {
        // Checked before the decoder reads anything: a stream cut short
        // lacks the end-of-stream mark on its last page.
        const bool complete = ogg_source_ends_with_eos(d.source);
        if (!open_decoder(Music)) {
            close_decoder(d);
            reset_stream(); // not Ogg Vorbis: the fallback format
            Music.path = path;
            report_unplayable("is not an Ogg Vorbis stream");
        } else {
            if (!complete) {
                Music.has_length = false; // the show goes on past the sound
                report_damage();
            }
            if (!Out.open || !open_converter(Music))
                close_decoder(d); // timed by the clock, in the file's format
            else
                Music.on_device = true;
        }
    }
    DeviceTiming t = read_timing();
    t.buffer = static_cast<double>(Out.buffer_frames) * Music.rate / (Out.rate ? Out.rate : Music.rate);
    write_timing(t);
    lock_device();
    Music.open = true;
    unlock_device();
    return Music.on_device;
}

bool player_is_open()
{
    return Music.open;
}

void player_close()
{
    if (!Music.open)
        return;
    lock_device();
    Music.open = false;
    DeviceTiming t = read_timing();
    t.running = false;
    write_timing(t);
    unlock_device();
    close_decoder(Music.decoder);
    reset_stream();
}

void player_play()
{
    if (!Music.open || Music.played)
        return;
    Music.played = true;
    Music.paused = true; // from where it stands: 0, or where a seek put it
    player_resume();
}

void player_pause()
{
    if (!Music.open || !Music.played || Music.paused)
        return;
    Music.paused = true;
    if (!Music.on_device) {
        Music.clock.anchor = clock_position(Music.clock, Music.rate);
        Music.clock.running = false;
        return;
    }
    lock_device();
    DeviceTiming t = read_timing();
    t.anchor = device_position(t, now_counter(), Music.rate);
    t.running = false;
    write_timing(t);
    unlock_device();
}

void player_resume()
{
    if (!Music.open || !Music.played || !Music.paused)
        return;
    Music.paused = false;
    if (!Music.on_device) {
        Music.clock.anchor_counter = now_counter();
        Music.clock.running = true;
        return;
    }
    lock_device();
    DeviceTiming t = read_timing();
    t.anchor_counter = now_counter();
    t.running = true;
    t.settled = false;
    write_timing(t);
    unlock_device();
}

bool player_paused()
{
    return Music.paused;
}

void player_seek(double seconds)
{
    if (!Music.open)
        return;
    const uint64_t frame = frame_of(seconds);
    Music.last_reported = frame;
    if (!Music.on_device) {
        Music.clock.anchor = frame;
        Music.clock.anchor_counter = now_counter();
        return;
    }
    lock_device();
    Decoder &d = Music.decoder;
    d.decode_done = ov_pcm_seek(&d.vorbis, static_cast<ogg_int64_t>(frame)) != 0;
    if (d.converter)
        SDL_AudioStreamClear(d.converter);
    d.audio_done = d.decode_done;
    Music.carry = HalfCarry{};
    device_restart(static_cast<double>(frame), Music.played && !Music.paused);
    unlock_device();
}

uint64_t player_position_frames()
{
    if (!Music.open)
        return 0;
    if (DecodeFailed.load() && !Music.damage_reported) {
        Music.has_length = false; // the show goes on past the sound
        report_damage();
    }
    uint64_t frames;
    if (Music.on_device) {
        const DeviceTiming t = read_timing();
        const double p = device_position(t, now_counter(), Music.rate);
        frames = p > 0.0 ? static_cast<uint64_t>(p) : 0;
    } else {
        frames = clock_position(Music.clock, Music.rate);
    }
    if (Music.has_length && frames > Music.length)
        frames = Music.length;
    if (frames < Music.last_reported)
        frames = Music.last_reported; // a late reading after a callback
    Music.last_reported = frames;
    return frames;
}

double player_position()
{
    return static_cast<double>(player_position_frames()) / static_cast<double>(Music.rate);
}

double player_length()
{
    if (!Music.open || !Music.has_length)
        return -1.0;
    return static_cast<double>(Music.length) / static_cast<double>(Music.rate);
}

void player_set_muted(bool muted)
{
    lock_device();
    Music.muted = muted;
    unlock_device();
}

bool player_set_speed(double speed)
{
    if (speed != 1.0 && speed != 0.5)
        return false;
    const bool half = speed == 0.5;
    if (!Music.open || half == Music.half)
        return Music.open;
    if (!Music.on_device) {
        if (Music.clock.running) {
            Music.clock.anchor = clock_position(Music.clock, Music.rate);
            Music.clock.anchor_counter = now_counter();
        }
        Music.clock.half = half;
        Music.half = half;
        return true;
    }
    // Playing, the sound already handed out goes on at the old speed until
    // the next callback, which hands out the first sound at the new one and
    // moves the position's pace with it.
    lock_device();
    DeviceTiming t = read_timing();
    if (!t.running) {
        t.pace = speed;
        write_timing(t);
    }
    Music.half = half;
    Music.carry = HalfCarry{};
    unlock_device();
    return true;
}

double player_speed()
{
    return Music.half ? 0.5 : 1.0;
}

bool player_muted()
{
    return Music.muted;
}

uint32_t player_rate()
{
    return Music.rate;
}

uint32_t player_frame_bytes()
{
    return Music.block;
}

// ---- The audio callback ------------------------------------------------------------

void player_render(uint8_t *out, int len)
{
    const uint64_t counter = now_counter();
    if (!out || len <= 0)
        return;
    std::memset(out, 0, static_cast<size_t>(len));
    Stream &s = Music;
    if (!s.open || !s.on_device)
        return;
    DeviceTiming t = read_timing();
    if (!t.running)
        return;
    const int frames = len / DEVICE_BLOCK;
    if (s.half)
        fill_half(s, reinterpret_cast<int16_t *>(out), frames);
    else
        fill(s, reinterpret_cast<int16_t *>(out), frames);
    if (s.muted)
        std::memset(out, 0, static_cast<size_t>(len));
    if (s.decoder.failed)
        DecodeFailed.store(true);
    const double pace = s.half ? 0.5 : 1.0;
    device_handed(t, static_cast<double>(frames) * s.rate / Out.rate * pace, counter, s.rate);
    t.pace = pace; // the position has run at the old pace up to this callback
    write_timing(t);
}
