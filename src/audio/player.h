// player.h - the music player: one Ogg Vorbis stream per process, played on
// an SDL audio device, or timed by the clock when it cannot be heard.
//
// Position rules (music seconds, whole frames of the file's rate):
// - Device-timed (a device is open and the file decodes): the position
//   follows the frames the audio callback hands to the device. Between two
//   callbacks it moves on with the high-resolution clock, so that reading it
//   once a displayed frame gives steps of the frame time, and it is steered
//   gently towards the sound: it never runs more than one device buffer
//   ahead of the frames handed out nor falls more than one buffer behind
//   them. It never goes back while playing, and stops exactly at the length.
// - Clock-timed (no device, or no playable file): the time since play on the
//   clock, stopped at the length when there is one.
// - A file that ends before its end-of-stream mark, or whose decoding fails,
//   is damaged: the sound stops there, the position goes on by the clock
//   without end, and one line on standard error says so.
//
// Every call is made from one thread (the frame loop's); the device's
// callback runs on SDL's audio thread. Every call is safe in any order.
#pragma once

#include <cstdint>

// ---- The output device ----------------------------------------------------

// Opens SDL's audio subsystem and an output device as 16-bit stereo at `rate`
// Hz (8000..192000, else 44100): device -1 the default, n >= 1 SDL's output
// device n - 1. It runs from here on, silent until the stream plays. False
// when none opens; streams are then timed by the clock.
bool player_open_device(int device, uint32_t rate);
// Closes the stream and the device, and SDL's audio subsystem.
void player_close_device();

// ---- The stream -------------------------------------------------------------

// Opens the music: an Ogg Vorbis file, or nothing (null path). A file that is
// missing or not Ogg Vorbis gives a silent stream timed by the clock, at
// 44100 Hz stereo with no length. Closes any stream open before. True when
// the file's sound can be played on the device.
bool player_open(const char *path);
// Whether a stream is open (player_open called since the last close).
bool player_is_open();
// Stops the stream and closes its file.
void player_close();

// Starts the stream once; later calls change nothing.
void player_play();
void player_pause();                  // picture and sound stop; position holds
void player_resume();                 // goes on from where it held
bool player_paused();
void player_seek(double seconds);     // sample-accurate; clamped to [0, length] (no length: [0, 1e7]); works paused or playing
double player_position();             // music seconds
double player_length();               // music seconds; negative when unknown (clock, no file, damaged)
void player_set_muted(bool muted);    // silence output; the position goes on
bool player_muted();
// Playback speed: 1, or 0.5 for half speed (the sound an octave down, the
// position moving at half the real rate, as smooth as at 1). Any other value
// is refused (false, nothing changes); so is every value while no stream is
// open. The position goes on from where it is. player_open starts at 1.
bool player_set_speed(double speed);
double player_speed();

// The stream's format: frames per second and bytes per frame of its decoded
// 16-bit PCM, and the position in those frames.
uint32_t player_rate();
uint32_t player_frame_bytes();
uint64_t player_position_frames();

// ---- Driving the player by hand (tests, tools) ------------------------------

// Replaces the high-resolution clock (null: SDL's performance counter again).
void player_set_clock(uint64_t (*counter)(), uint64_t frequency);
// An output device with no SDL behind it: nothing calls its callback but
// player_render. Closes any device open before.
bool player_open_manual_device(uint32_t rate, int buffer_frames);
// The audio callback: fills `len` bytes of 16-bit stereo at the device's rate.
void player_render(uint8_t *out, int len);
