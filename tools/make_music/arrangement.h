// arrangement.h - the fixed time grid and section layout of the soundtrack.
//
// The visuals are choreographed to these numbers: change none of them without
// changing the sync timeline too. Everything is counted in whole rows (20 per
// second of music, the unit of the sync tracks) so that every beat, bar and
// section boundary falls on an exact row and an exact sample frame.
//
//   tempo      150 beats per minute, 4/4
//   beat       8 rows  = 0.4 s = 17640 frames
//   bar        32 rows = 1.6 s = 70560 frames
//   sixteenth  2 rows  = 0.1 s = 4410 frames (the step of every pattern)
//
//   section   bars     seconds         what plays
//   intro     0-11     0.0-19.2        dark pads and a low drone, sparse
//   build     12-27    19.2-44.8       hats and bass enter, kick from bar 20
//   main      28-51    44.8-83.2       full drums, bass, chords, lead
//   break     52-67    83.2-108.8      no drums: pads and a lonely lead motif
//   climax    68-91    108.8-147.2     everything, heavier, lead an octave up
//   outro     92-107   147.2-172.8     thinning out, drums stop at bar 100,
//                                      the master fades from bar 100 to 175.0 s
//   tail               172.8-175.0     reverb decay into silence
#pragma once

#include <cstdint>

#include "base/facts.h"

// ---- Output format ----------------------------------------------------------

constexpr int SAMPLE_RATE = 44100;  // frames per second
constexpr int CHANNELS = 2;         // stereo, interleaved left/right

// ---- Time grid ----------------------------------------------------------------

constexpr int FRAMES_PER_ROW = SAMPLE_RATE / ROWS_PER_SECOND;  // 2205
constexpr int ROWS_PER_STEP = 2;    // one sixteenth note
// ROWS_PER_SECOND (20), ROWS_PER_BEAT (8: 150 BPM, 0.4 s), BEATS_PER_BAR (4)
// and ROWS_PER_BAR (32) come from base/facts.h.
constexpr int STEPS_PER_BAR = ROWS_PER_BAR / ROWS_PER_STEP;     // 16
constexpr int FRAMES_PER_STEP = FRAMES_PER_ROW * ROWS_PER_STEP; // 4410
constexpr int FRAMES_PER_BEAT = FRAMES_PER_ROW * ROWS_PER_BEAT; // 17640
constexpr int FRAMES_PER_BAR = FRAMES_PER_ROW * ROWS_PER_BAR;   // 70560

static_assert(SAMPLE_RATE % ROWS_PER_SECOND == 0, "a row must be whole frames");
static_assert(ROWS_PER_BEAT * 150 == ROWS_PER_SECOND * 60, "150 beats per minute");

// ---- Sections, as the first bar of each -----------------------------------------

constexpr int INTRO_BAR = 0;
constexpr int BUILD_BAR = 12;
constexpr int KICK_ENTRY_BAR = 20;  // the kick drum joins halfway through the build
constexpr int MAIN_BAR = 28;
constexpr int BREAK_BAR = 52;
constexpr int CLIMAX_BAR = 68;
constexpr int OUTRO_BAR = 92;
constexpr int DRUMS_STOP_BAR = 100; // no drum hit starts at or after this bar
constexpr int END_BAR = 108;        // first bar after the music; the tail follows

// ---- Length of the file -----------------------------------------------------------

constexpr int SONG_SECONDS = 175;
constexpr int64_t TOTAL_FRAMES = int64_t{SONG_SECONDS} * SAMPLE_RATE;  // 7,717,500
constexpr int64_t MUSIC_END_FRAME = int64_t{END_BAR} * FRAMES_PER_BAR; // 7,620,480 = 172.8 s

static_assert(TOTAL_FRAMES == 7717500, "the file lasts exactly 175.0 s");
static_assert(MUSIC_END_FRAME < TOTAL_FRAMES, "the tail follows the last bar");

// First frame of a bar, counted from the start of the song.
constexpr int64_t bar_frame(int bar) { return int64_t{bar} * FRAMES_PER_BAR; }

// ---- Level --------------------------------------------------------------------------

// The master is normalised to this peak before encoding: -2.5 dBFS, that is
// 10^(-2.5/20). Lossy encoding raises the loudest peaks (snare fills in the
// climax rose by about 0.8 dB at quality 0.45), so the margin to the file's
// limit of -1 dBFS (MAX_DECODED_PEAK, 10^(-1/20)) is 1.5 dB. The encoder
// stage decodes the result and lowers the level if a peak still rises above.
constexpr double MASTER_PEAK = 0.7498942093324559;
constexpr double MAX_DECODED_PEAK = 0.8912509381337456;
