// player.cpp - the music player (see player.h).
//
// Device-timed streams: the audio callback fills the device's buffer with the
// stream's sound (player_decode.h), counts what it hands out in frames of the
// file's rate ("handed") and steers the position towards the sound
// (player_timing.h). SDL 2 reports no output latency beyond the buffer size
// it grants; that size is what is used. Clock-timed streams: the time since
// play on the clock, in whole frames.
//
// Half speed counts half a file frame per device frame, and the steering
// works unchanged in file frames: a buffer is then half as many file frames,
// over as long. A change of speed while playing takes effect, for sound and
// position alike, at the next callback. Speed 1 leaves every byte and
// position as it was without this setting.
//
// Threads: the main thread opens, plays, pauses, seeks and closes the stream
// and reads positions; the audio callback decodes and moves the timing on.
// What the callback reads is changed only under the device lock; the timing
// record is copied under a spin lock, held for a few instructions, so
// reading the position never waits for decoding.
#include "audio/player.h"

#include "audio/player_decode.h"
#include "audio/player_timing.h"

#include <SDL.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// ---- Constants --------------------------------------------------------------

enum {
    DEVICE_SAMPLES = 1024,         // frames per device buffer: 23 ms at 44100 Hz
    FALLBACK_RATE = 44100,         // format of a stream without a playable file
    FALLBACK_CHANNELS = 2,
    MIN_DEVICE_RATE = 8000,
    MAX_DEVICE_RATE = 192000,
};

const double MAX_SEEK_SECONDS = 1e7;  // bound of a seek when the length is unknown

// ---- Types ------------------------------------------------------------------

struct Device {
    bool open;              // an SDL device or a manual one
    SDL_AudioDeviceID id;   // 0: none from SDL
    bool subsystem;         // SDL_InitSubSystem(SDL_INIT_AUDIO) succeeded
    uint32_t rate;          // frames per second
    int buffer_frames;      // frames per callback, as granted
};

// ---- Module state -------------------------------------------------------------

Device Out;
PlayerStream Music;
SDL_SpinLock TimingLock;
std::atomic<bool> DecodeFailed; // set by the callback, reported by the main thread

uint64_t (*Counter)() = nullptr; // null: SDL's performance counter
uint64_t CounterFrequency = 0;

// ---- Small helpers ---------------------------------------------------------------

uint64_t now_counter()
{
    return Counter ? Counter() : SDL_GetPerformanceCounter();
}

uint64_t counter_frequency()
{
    return Counter ? CounterFrequency : SDL_GetPerformanceFrequency();
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

// ---- Timing -----------------------------------------------------------------------

double device_position(const DeviceTiming &t, uint64_t counter, uint32_t rate)
{
    return timing_device_position(t, counter, counter_frequency(), rate);
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

uint64_t clock_position(const ClockTiming &c, uint32_t rate)
{
    return timing_clock_position(c, now_counter(), counter_frequency(), rate);
}

// ---- Opening and closing a stream ----------------------------------------------------

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
    Music.decoder = PlayerDecoder{};
    Music.clock = ClockTiming{};
    DecodeFailed.store(false);
    DeviceTiming t{};
    t.speed = 1.0;
    t.pace = 1.0;
    t.buffer = static_cast<double>(Out.buffer_frames);
    write_timing(t);
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
    PlayerDecoder &d = Music.decoder;
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
            if (!Out.open || !open_converter(Music, Out.rate))
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
    PlayerDecoder &d = Music.decoder;
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
    PlayerStream &s = Music;
    if (!s.open || !s.on_device)
        return;
    DeviceTiming t = read_timing();
    if (!t.running)
        return;
    const int frames = len / DEVICE_BLOCK;
    if (s.half)
        fill_sound_half(s, reinterpret_cast<int16_t *>(out), frames);
    else
        fill_sound(s, reinterpret_cast<int16_t *>(out), frames);
    if (s.muted)
        std::memset(out, 0, static_cast<size_t>(len));
    if (s.decoder.failed)
        DecodeFailed.store(true);
    const double pace = s.half ? 0.5 : 1.0;
    timing_device_handed(t, static_cast<double>(frames) * s.rate / Out.rate * pace, counter,
                         counter_frequency(), s.rate);
    t.pace = pace; // the position has run at the old pace up to this callback
    write_timing(t);
}
