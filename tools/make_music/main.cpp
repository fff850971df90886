// main.cpp - make_music: renders the demo's soundtrack and writes it as an
// Ogg Vorbis file.
//
// Usage: make_music OUT.ogg
//
// Renders all 175 s in memory (song.cpp, synth.cpp), encodes it, decodes the
// result to check its length and peak, and writes the file. When the lossy
// encoding has pushed the peak above the limit, the level is lowered and the
// encoding repeated, so the written file always meets it.
#include "make_music/arrangement.h"
#include "make_music/encode.h"
#include "common/output_file.h"
#include "common/tool_error.h"
#include "common/command_line.h"
#include "make_music/song.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Decoded peak allowed in the file: -1 dBFS of a 16-bit decoder's full
// scale (32767/32768 of 1.0), less a small margin for rounding.
const double DECODED_LIMIT = MAX_DECODED_PEAK * (32767.0 / 32768.0) - 0.002;
const int MAX_ENCODE_TRIES = 4;

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double to_db(double v)
{
    return v > 0.0 ? 20.0 * std::log10(v) : -999.0;
}

// RMS over both channels of the bars [from, to), in dBFS.
double bars_rms_db(const Mix &mix, int from, int to)
{
    double sum = 0.0;
    const int64_t a = bar_frame(from), b = bar_frame(to);
    for (int64_t i = a; i < b; ++i)
        sum += double{mix.left[i]} * mix.left[i] + double{mix.right[i]} * mix.right[i];
    return to_db(std::sqrt(sum / (2.0 * static_cast<double>(b - a))));
}

void print_levels(const Mix &mix)
{
    struct Section {
        const char *name;
        int from, to;
    };
    const Section sections[] = {{"intro", INTRO_BAR, BUILD_BAR}, {"build", BUILD_BAR, MAIN_BAR},
                                {"main", MAIN_BAR, BREAK_BAR},   {"break", BREAK_BAR, CLIMAX_BAR},
                                {"climax", CLIMAX_BAR, OUTRO_BAR}, {"outro", OUTRO_BAR, END_BAR}};
    for (const Section &s : sections)
        std::printf("  %-7s bars %3d-%3d  RMS %6.1f dBFS\n", s.name, s.from, s.to - 1,
                    bars_rms_db(mix, s.from, s.to));
}

} // namespace

int main(int argc, char **argv)
{
    std::string path;
    CommandLine cl("make_music",
                   "Renders the demo's soundtrack and writes it as an Ogg Vorbis file.",
                   "usage: make_music OUT.ogg");
    cl.app.add_option("OUT.ogg", path, "the file to write")->type_name("")->required();
    const int status = cl.parse(argc, argv);
    if (status >= 0)
        return status;
    // The output is opened first, so that a bad path fails before the render.
    ignore_file_size_signal();
    std::string error;
    OutputFile out;
    if (!open_output_file(path, &out, &error)) {
        print_tool_error("make_music", error);
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    Mix mix;
    render_soundtrack(mix);
    const double render_s = seconds_since(t0);
    std::printf("make_music: rendered %lld frames in %.2f s\n", static_cast<long long>(TOTAL_FRAMES), render_s);
    print_levels(mix);

    std::vector<unsigned char> ogg;
    DecodedInfo info{};
    for (int attempt = 1;; ++attempt) {
        const auto t1 = std::chrono::steady_clock::now();
        if (!encode_vorbis(mix.left, mix.right, VORBIS_QUALITY, ogg, error) ||
            !decode_vorbis_info(ogg, info, error)) {
            print_tool_error("make_music", error);
            discard_output_file(&out);
            return 1;
        }
        std::printf("make_music: encoded %zu bytes, decoded peak %.2f dBFS (%.2f s)\n", ogg.size(),
                    to_db(info.peak), seconds_since(t1));
        if (info.peak <= DECODED_LIMIT)
            break;
        if (attempt == MAX_ENCODE_TRIES) {
            print_tool_error("make_music", "decoded peak stays above -1 dBFS");
            discard_output_file(&out);
            return 1;
        }
        normalise_peak(mix.left, mix.right, peak_of(mix.left, mix.right) * (DECODED_LIMIT - 0.01) / info.peak);
    }
    if (info.channels != CHANNELS || info.rate != SAMPLE_RATE || info.frames != TOTAL_FRAMES ||
        info.decoded != TOTAL_FRAMES) {
        print_tool_error("make_music", "encoded stream has " + std::to_string(info.channels) + " channels, " +
                                           std::to_string(info.rate) + " Hz, " +
                                           std::to_string(info.frames) + " frames");
        discard_output_file(&out);
        return 1;
    }
    if (!write_output_bytes(&out, ogg.data(), ogg.size(), &error)) {
        print_tool_error("make_music", error);
        discard_output_file(&out);
        return 1;
    }
    if (!place_output_file(&out, &error)) {
        print_tool_error("make_music", error);
        return 1;
    }
    std::printf("make_music: wrote %s in %.2f s total\n", path.c_str(), seconds_since(t0));
    return 0;
}
