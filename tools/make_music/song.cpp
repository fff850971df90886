// song.cpp - the notes of the soundtrack, bar by bar, and its master stage.
//
// Every part is a function of the bar number: it looks up the section the bar
// belongs to and adds its notes for that bar. Patterns are 16 characters, one
// per sixteenth note (2 rows). Noise seeds come from the bar and step, so any
// range of bars renders the same notes as the whole song does.
#include "make_music/song.h"

#include "make_music/arrangement.h"
#include "make_music/instruments.h"

#include <algorithm>

namespace {

// ---- Harmony ------------------------------------------------------------------

enum ChordName { DM, BB, GM, AM, EB };

struct ChordShape {
    int pad[4];     // MIDI notes, close voicing around D3..G4
    int bass_root;  // MIDI note, octave 1-2
};

const ChordShape CHORDS[] = {
    {{50, 57, 62, 65}, 38},  // Dm: D3 A3 D4 F4, bass D2
    {{50, 58, 62, 65}, 34},  // Bb/D: D3 Bb3 D4 F4, bass Bb1
    {{50, 55, 58, 62}, 31},  // Gm/D: D3 G3 Bb3 D4, bass G1
    {{52, 57, 61, 64}, 33},  // A: E3 A3 C#4 E4, bass A1 (harmonic-minor V)
    {{51, 58, 63, 67}, 39},  // Eb: Eb3 Bb3 Eb4 G4, bass Eb2 (Phrygian bII)
};

ChordName chord_of_bar(int bar)
{
    static const ChordName intro[6] = {DM, EB, DM, BB, GM, AM};  // two bars each
    static const ChordName cycle[4] = {DM, BB, GM, AM};
    static const ChordName lament[8] = {DM, EB, DM, EB, BB, GM, AM, AM};
    if (bar < BUILD_BAR)
        return intro[(bar - INTRO_BAR) / 2];
    if (bar >= BREAK_BAR && bar < CLIMAX_BAR)
        return lament[(bar - BREAK_BAR) % 8];
    if (bar >= END_BAR - 4)
        return DM;  // the final chord
    return cycle[bar % 4];
}

// 0 at the first bar of [from, to), approaching 1 at its last.
double progress(int bar, int from, int to)
{
    return static_cast<double>(bar - from) / static_cast<double>(to - from);
}

// ---- Rendering context ----------------------------------------------------------

struct Renderer {
    Mix *mix;
    int first_bar;
    std::vector<float> a, b;  // scratch note buffers, reused
};

int64_t step_frame(const Renderer &r, int bar, int step)
{
    return (int64_t{bar} - r.first_bar) * FRAMES_PER_BAR + int64_t{step} * FRAMES_PER_STEP;
}

uint32_t seed_of(int bar, int step, uint32_t voice)
{
    return (static_cast<uint32_t>(bar) * 16u + static_cast<uint32_t>(step)) * 2654435761u + voice * 40503u + 1u;
}

// Calls hit(step, accent) for every non-rest character of a 16-step pattern.
// 'X' is an accent, 'o' an open hat, other letters a normal hit.
template <typename F>
void for_each_hit(const char *pattern, F hit)
{
    for (int s = 0; s < STEPS_PER_BAR && pattern[s] != '\0'; ++s)
        if (pattern[s] != '.' && pattern[s] != '-')
            hit(s, pattern[s]);
}

// ---- Drums -------------------------------------------------------------------------

bool drums_play(int bar)
{
    return bar >= BUILD_BAR && bar < DRUMS_STOP_BAR && !(bar >= BREAK_BAR && bar < CLIMAX_BAR);
}

void add_kick(Renderer &r, int bar)
{
    if (!drums_play(bar) || bar < KICK_ENTRY_BAR)
        return;
    const char *pattern = "X...X...X...X...";
    double gain = 0.66, drive = 1.6;
    if (bar < MAIN_BAR) {
        gain = 0.45 + 0.2 * progress(bar, KICK_ENTRY_BAR, MAIN_BAR);
    } else if (bar >= CLIMAX_BAR && bar < OUTRO_BAR) {
        pattern = (bar % 4 == 3) ? "X..x..X.X.x.X.xx" : "X..x..X.X.x..x..";
        gain = 0.62;
        drive = 2.4;
    } else if (bar >= MAIN_BAR && bar < BREAK_BAR) {
        pattern = (bar % 4 == 3) ? "X.....x.X.x...x." : "X.....x.X.....x.";
    } else {
        pattern = "X.....x.X.......";  // outro
        gain = 0.6;
    }
    render_kick(drive, r.a);
    for_each_hit(pattern, [&](int s, char c) {
        const double g = c == 'X' ? gain : 0.8 * gain;
        mix_mono(*r.mix, step_frame(r, bar, s), r.a, Placement{g, 0.0, 0.02, 0.0});
    });
}

void add_snare(Renderer &r, int bar)
{
    if (!drums_play(bar))
        return;
    const char *pattern = nullptr;
    double gain = 1.4;
    bool roll = false;  // velocity rising through the bar
    if (bar >= 24 && bar < MAIN_BAR) {
        static const char *build[4] = {"X...X...X...X...", "X...X...X...X...",
                                       "X.X.X.X.X.X.X.X.", "XXXXXXXXXXXXXXXX"};
        pattern = build[bar - 24];
        gain = 0.65 + 0.75 * progress(bar, 24, MAIN_BAR);
        roll = true;
    } else if (bar >= MAIN_BAR && bar < OUTRO_BAR) {
        const int phrase_bar = (bar - (bar >= CLIMAX_BAR ? CLIMAX_BAR : MAIN_BAR)) % 8;
        if (phrase_bar == 7)
            pattern = "....X.......XxXX";  // fill into the next phrase
        else
            pattern = bar >= CLIMAX_BAR ? "....X..x....X..x" : "....X.......X...";
        gain = 1.4;
    } else if (bar >= OUTRO_BAR && bar < 96) {
        pattern = "....X.......X...";
        gain = 1.15;
    }
    if (pattern == nullptr)
        return;
    for_each_hit(pattern, [&](int s, char c) {
        double g = c == 'x' ? 0.35 * gain : gain;
        if (roll)
            g *= 0.55 + 0.45 * s / 15.0;
        render_snare(seed_of(bar, s, 2), r.a);
        mix_mono(*r.mix, step_frame(r, bar, s), r.a, Placement{g, 0.05, 0.28, 0.0});
    });
}

void add_hats(Renderer &r, int bar)
{
    if (!drums_play(bar))
        return;
    const char *pattern;
    double gain = 0.55;
    if (bar < KICK_ENTRY_BAR) {
        pattern = "..x...x...x...x.";
        gain = 0.2 + 0.2 * progress(bar, BUILD_BAR, KICK_ENTRY_BAR);
    } else if (bar < MAIN_BAR) {
        pattern = "x.X.x.X.x.X.x.X.";
        gain = 0.4 + 0.15 * progress(bar, KICK_ENTRY_BAR, MAIN_BAR);
    } else if (bar < BREAK_BAR) {
        pattern = "x.Xxx.X.x.Xxx.o.";
    } else if (bar < OUTRO_BAR) {
        pattern = "xxXxxxXxxxXxxxox";
        gain = 0.55;
    } else {
        pattern = "..X...X...X...X.";
        gain = 0.45 * (1.0 - 0.5 * progress(bar, OUTRO_BAR, DRUMS_STOP_BAR));
    }
    for_each_hit(pattern, [&](int s, char c) {
        render_hat(seed_of(bar, s, 3), c == 'o', r.a);
        const double g = c == 'X' || c == 'o' ? gain : 0.6 * gain;
        const double pan = (s & 1) ? 0.3 : 0.15;
        mix_mono(*r.mix, step_frame(r, bar, s), r.a, Placement{g, pan, 0.08, 0.0});
    });
}

void add_crash(Renderer &r, int bar)
{
    const bool hit = bar == MAIN_BAR || bar == MAIN_BAR + 8 || bar == MAIN_BAR + 16 || bar == CLIMAX_BAR ||
                     bar == CLIMAX_BAR + 8 || bar == CLIMAX_BAR + 16 || bar == OUTRO_BAR;
    if (!hit)
        return;
    render_crash(seed_of(bar, 0, 4), r.a, r.b);
    mix_stereo(*r.mix, step_frame(r, bar, 0), r.a, r.b, Placement{0.55, 0.0, 0.3, 0.0});
}

void add_riser(Renderer &r, int bar)
{
    // Noise sweeps into the main section and into the climax.
    int bars = 0;
    if (bar == MAIN_BAR - 2)
        bars = 2;
    else if (bar == CLIMAX_BAR - 4)
        bars = 4;
    if (bars == 0)
        return;
    render_riser(seed_of(bar, 0, 5), int64_t{bars} * FRAMES_PER_BAR, r.a);
    mix_mono(*r.mix, step_frame(r, bar, 0), r.a, Placement{0.98, -0.2, 0.4, 0.0});
}

// ---- Bass -------------------------------------------------------------------------

void add_bass(Renderer &r, int bar)
{
    if (bar < BUILD_BAR || (bar >= BREAK_BAR && bar < CLIMAX_BAR) || bar >= END_BAR - 4)
        return;
    const char *pattern;
    double cutoff = 500.0, drive = 1.5, gain = 0.43, env_amount = 2.0;
    if (bar < KICK_ENTRY_BAR) {
        pattern = "R-------R-------";
        cutoff = 140.0 + 180.0 * progress(bar, BUILD_BAR, KICK_ENTRY_BAR);
        gain = 0.4;
    } else if (bar < MAIN_BAR) {
        pattern = "R-.RR-.RR-.RR-O-";
        cutoff = 320.0 + 300.0 * progress(bar, KICK_ENTRY_BAR, MAIN_BAR);
    } else if (bar < BREAK_BAR) {
        pattern = (bar % 4 == 3) ? "R-.RR-.RR-.RO-F-" : "R-.RR-.RR-.RO-R-";
        cutoff = 650.0;
    } else if (bar < OUTRO_BAR) {
        pattern = (bar % 4 == 3) ? "R-RRR-RRR-RRO-FO" : "R-RRR-RRR-RRO-RR";
        cutoff = 850.0;
        gain = 0.38;
        drive = 2.6;
        env_amount = 3.0;
    } else if (bar < DRUMS_STOP_BAR) {
        pattern = "R-.RR-.RR-.RR-.R";
        cutoff = 600.0 - 300.0 * progress(bar, OUTRO_BAR, DRUMS_STOP_BAR);
        gain = 0.4;
    } else {
        pattern = "R---------------";  // one long note a bar, fading
        cutoff = 220.0;
        gain = 0.35 * (1.0 - 0.5 * progress(bar, DRUMS_STOP_BAR, END_BAR - 4));
    }
    const int root = CHORDS[chord_of_bar(bar)].bass_root;
    double previous = 0.0;
    for (int s = 0; s < STEPS_PER_BAR; ++s) {
        const char c = pattern[s];
        if (c == '.' || c == '-')
            continue;
        int len = 1;
        while (s + len < STEPS_PER_BAR && pattern[s + len] == '-')
            ++len;
        const int note = root + (c == 'O' ? 12 : c == 'F' ? 7 : 0);
        const double freq = note_frequency(note);
        // Octave jumps slide in from the note before; repeated notes do not.
        const double glide = (c != 'R' && previous > 0.0) ? previous : 0.0;
        const BassNote bn{freq, glide, int64_t{len} * FRAMES_PER_STEP - 300, cutoff, env_amount, drive};
        render_bass(bn, r.a);
        mix_mono(*r.mix, step_frame(r, bar, s), r.a, Placement{gain, 0.0, 0.03, 0.0});
        previous = freq;
    }
}

// ---- Pads and drone -----------------------------------------------------------------

void add_pads(Renderer &r, int bar)
{
    PadChord pc{};
    double gain = 0.5, reverb = 0.5;
    int bars = 1;
    if (bar < BUILD_BAR) {
        if ((bar - INTRO_BAR) % 2 != 0)
            return;
        bars = 2;
        pc.cutoff = 500.0 + 700.0 * progress(bar, INTRO_BAR, BUILD_BAR);
        pc.attack_s = 1.6;
        pc.release_s = 1.8;
        gain = 0.48;
        reverb = 0.7;
    } else if (bar < MAIN_BAR) {
        pc.cutoff = 1000.0 + 1200.0 * progress(bar, BUILD_BAR, MAIN_BAR);
        pc.attack_s = 0.35;
        pc.release_s = 0.6;
        gain = 0.48;
    } else if (bar < BREAK_BAR) {
        pc.cutoff = 2200.0;
        pc.attack_s = 0.08;
        pc.release_s = 0.5;
        gain = 0.43;
    } else if (bar < CLIMAX_BAR) {
        pc.cutoff = 1300.0;
        pc.attack_s = 0.7;
        pc.release_s = 1.2;
        gain = 0.48;
        reverb = 0.8;
    } else if (bar < OUTRO_BAR) {
        pc.cutoff = 3000.0;
        pc.attack_s = 0.05;
        pc.release_s = 0.5;
        gain = 0.51;
    } else if (bar < END_BAR - 4) {
        pc.cutoff = 2000.0 - 1000.0 * progress(bar, OUTRO_BAR, END_BAR - 4);
        pc.attack_s = 0.3;
        pc.release_s = 0.8;
        gain = 0.48;
        reverb = 0.7;
    } else {
        if (bar != END_BAR - 4)
            return;
        bars = 4;  // the last chord, held to the end of the music
        pc.cutoff = 900.0;
        pc.attack_s = 0.3;
        pc.release_s = 2.0;
        gain = 0.48;
        reverb = 0.9;
    }
    const ChordShape &shape = CHORDS[chord_of_bar(bar)];
    pc.count = 4;
    for (int k = 0; k < 4; ++k)
        pc.frequencies[k] = note_frequency(shape.pad[k]);
    pc.gate_frames = int64_t{bars} * FRAMES_PER_BAR;
    render_pad(pc, r.a, r.b);
    mix_stereo(*r.mix, step_frame(r, bar, 0), r.a, r.b, Placement{gain, 0.0, reverb, 0.0});
}

void add_drone(Renderer &r, int bar)
{
    // D2 under the intro and the break, one long note each.
    int bars = 0;
    if (bar == INTRO_BAR)
        bars = BUILD_BAR - INTRO_BAR;
    else if (bar == BREAK_BAR)
        bars = CLIMAX_BAR - BREAK_BAR;
    else if (bar == END_BAR - 4)
        bars = 4;
    if (bars == 0)
        return;
    render_drone(note_frequency(38), int64_t{bars} * FRAMES_PER_BAR - FRAMES_PER_BEAT, r.a);
    mix_mono(*r.mix, step_frame(r, bar, 0), r.a, Placement{0.16, 0.0, 0.2, 0.0});
}

// ---- Lead -----------------------------------------------------------------------------

struct MelodyNote {
    int step;  // sixteenths from the start of the phrase
    int note;  // MIDI
    int len;   // sixteenths
};

// Eight bars over Dm Bb Gm A Dm Bb Gm A.
const MelodyNote THEME[] = {
    {0, 74, 4},   {4, 69, 4},   {8, 65, 2},   {10, 67, 2},  {12, 69, 4},             // Dm
    {16, 70, 8},  {24, 69, 4},  {28, 65, 4},                                          // Bb
    {32, 67, 6},  {38, 70, 2},  {40, 74, 4},  {44, 72, 2},  {46, 70, 2},             // Gm
    {48, 69, 8},  {56, 73, 4},  {60, 76, 4},                                          // A
    {64, 77, 6},  {70, 76, 2},  {72, 74, 4},  {76, 69, 4},                            // Dm
    {80, 70, 4},  {84, 74, 4},  {88, 77, 4},  {92, 74, 4},                            // Bb
    {96, 79, 4},  {100, 77, 2}, {102, 74, 2}, {104, 70, 4}, {108, 67, 4},            // Gm
    {112, 69, 4}, {116, 73, 2}, {118, 76, 2}, {120, 73, 2}, {122, 69, 6},            // A
};

// Long notes that close the main section (and, an octave up, open the climax).
const MelodyNote SUSTAIN[] = {{0, 69, 16}, {16, 70, 16}, {32, 67, 16}, {48, 69, 16}};

// The break's lonely motif (two bars), and its answer.
const MelodyNote MOTIF[] = {{0, 74, 6}, {6, 75, 2}, {8, 74, 8}, {16, 69, 12}};
const MelodyNote ANSWER[] = {{0, 77, 6}, {6, 75, 2}, {8, 74, 6}, {14, 73, 2}, {16, 74, 14}};

// The climax's last words: F, E, then D held.
const MelodyNote FINALE[] = {{0, 77, 16}, {16, 76, 16}, {32, 74, 32}};

struct Phrase {
    const MelodyNote *notes;
    int count;
    int start_bar;
    int transpose;
};

template <int N>
Phrase phrase(const MelodyNote (&notes)[N], int start_bar, int transpose)
{
    return Phrase{notes, N, start_bar, transpose};
}

// The phrase playing in a bar, if any.
bool phrase_of_bar(int bar, Phrase &p)
{
    if (bar >= MAIN_BAR + 4 && bar < MAIN_BAR + 20)  // theme twice
        p = phrase(THEME, MAIN_BAR + 4 + (bar - MAIN_BAR - 4) / 8 * 8, 0);
    else if (bar >= MAIN_BAR + 20 && bar < BREAK_BAR)
        p = phrase(SUSTAIN, MAIN_BAR + 20, 0);
    else if (bar >= BREAK_BAR + 2 && bar < BREAK_BAR + 4)
        p = phrase(MOTIF, BREAK_BAR + 2, 0);
    else if (bar >= BREAK_BAR + 6 && bar < BREAK_BAR + 8)
        p = phrase(ANSWER, BREAK_BAR + 6, 0);
    else if (bar >= BREAK_BAR + 10 && bar < BREAK_BAR + 12)
        p = phrase(MOTIF, BREAK_BAR + 10, 0);
    else if (bar >= BREAK_BAR + 14 && bar < BREAK_BAR + 16)
        p = phrase(ANSWER, BREAK_BAR + 14, -12);
    else if (bar >= CLIMAX_BAR && bar < CLIMAX_BAR + 4)
        p = phrase(SUSTAIN, CLIMAX_BAR, 12);
    else if (bar >= CLIMAX_BAR + 4 && bar < CLIMAX_BAR + 20)
        p = phrase(THEME, CLIMAX_BAR + 4 + (bar - CLIMAX_BAR - 4) / 8 * 8, 12);
    else if (bar >= CLIMAX_BAR + 20 && bar < OUTRO_BAR)
        p = phrase(FINALE, CLIMAX_BAR + 20, 12);
    else
        return false;
    return true;
}

void add_lead(Renderer &r, int bar)
{
    Phrase p;
    if (!phrase_of_bar(bar, p))
        return;
    const bool in_break = bar >= BREAK_BAR && bar < CLIMAX_BAR;
    const bool in_climax = bar >= CLIMAX_BAR;
    const double cutoff = in_break ? 1500.0 : in_climax ? 2600.0 : 2200.0;
    const Placement place{0.42, -0.1, in_break ? 0.6 : 0.3, in_break ? 0.7 : 0.3};
    const int bar_step = (bar - p.start_bar) * STEPS_PER_BAR;
    for (int k = 0; k < p.count; ++k) {
        const MelodyNote &m = p.notes[k];
        if (m.step < bar_step || m.step >= bar_step + STEPS_PER_BAR)
            continue;
        // Notes that follow another without a gap slide from its pitch.
        double glide = 0.0;
        if (k > 0 && p.notes[k - 1].step + p.notes[k - 1].len == m.step)
            glide = note_frequency(p.notes[k - 1].note + p.transpose);
        const LeadNote ln{note_frequency(m.note + p.transpose), glide,
                          int64_t{m.len} * FRAMES_PER_STEP - 441, cutoff};
        render_lead(ln, r.a);
        mix_mono(*r.mix, step_frame(r, bar, m.step - bar_step), r.a, place);
    }
}

} // namespace

// ---- Public -----------------------------------------------------------------------------

void render_bars(int first_bar, int end_bar, int64_t frames, Mix &mix, unsigned parts)
{
    typedef void (*AddPart)(Renderer &, int);
    const struct {
        unsigned part;
        AddPart add;
    } adders[] = {{PART_DRONE, add_drone}, {PART_PADS, add_pads},   {PART_BASS, add_bass},
                  {PART_KICK, add_kick},   {PART_SNARE, add_snare}, {PART_HATS, add_hats},
                  {PART_CRASH, add_crash}, {PART_RISER, add_riser}, {PART_LEAD, add_lead}};
    init_mix(mix, frames);
    Renderer r{&mix, first_bar, {}, {}};
    for (int bar = std::max(first_bar, 0); bar < std::min(end_bar, END_BAR); ++bar)
        for (const auto &a : adders)
            if (parts & a.part)
                a.add(r, bar);
    apply_delay(mix, 6 * FRAMES_PER_ROW, 0.42, 0.45);  // dotted eighth, 0.3 s
    apply_reverb(mix, 0.85, 0.3, 2.2);
}

double master_mix(Mix &mix, int64_t fade_start, int64_t fade_end, double peak)
{
    // Saturate gently against the raw peak: the loudest hits lose a little
    // height, which keeps the lossy encoder's overshoot small.
    const double raw = peak_of(mix.left, mix.right);
    if (raw > 0.0) {
        const double drive = 1.4;
        const double pre = drive / raw;
        for (std::vector<float> *ch : {&mix.left, &mix.right})
            for (float &v : *ch)
                v = static_cast<float>(soft_clip(pre * v));
    }
    const int64_t total = static_cast<int64_t>(mix.left.size());
    if (fade_start < total && fade_end > fade_start) {
        const double len = static_cast<double>(fade_end - fade_start);
        for (int64_t i = fade_start; i < total; ++i) {
            const double u = std::min(1.0, static_cast<double>(i - fade_start) / len);
            const float g = static_cast<float>(0.5 + 0.5 * det_cos(PI * u));
            mix.left[i] *= g;
            mix.right[i] *= g;
        }
    }
    return normalise_peak(mix.left, mix.right, peak);
}

void render_soundtrack(Mix &mix)
{
    render_bars(0, END_BAR, TOTAL_FRAMES, mix);
    master_mix(mix, bar_frame(DRUMS_STOP_BAR), TOTAL_FRAMES, MASTER_PEAK);
}
