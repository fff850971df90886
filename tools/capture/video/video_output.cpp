// video_output.cpp - the video file as a FrameSink.
#include "capture/video/video_output.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/facts.h"
#include "capture/video/music_source.h"
#include "common/output_file.h"
#include "common/platform.h"
#include "capture/video/video_pipeline.h"
#include "capture/video/video_writer.h"

namespace fs = std::filesystem;

namespace {

class VideoOutput : public FrameSink {
public:
    VideoOutput(const OutputFile &file, VideoWriter *writer,
                std::unique_ptr<MusicSource> music, int width, int height, double fps)
        : file_(file), writer_(writer),
          music_(std::move(music)), music_open_(music_ != nullptr), width_(width),
          height_(height), fps_(fps)
    {
    }
    ~VideoOutput() override
    {
        std::string ignored;
        double cut = 0.0;
        if (pipeline_)
            finish_video_pipeline(pipeline_, &cut, &ignored);
        close_video_writer(writer_);
        if (music_open_)
            close_music(music_.get());
        if (!placed_)
            discard_output_file(&file_);
    }

    uint32_t *picture() override
    {
        if (!pipeline_ && writer_) {
            // The threads start with the first frame, after start-up. The
            // pipeline owns the writer and closes the music from here on.
            pipeline_ = start_video_pipeline(writer_, music_open_ ? music_.get() : nullptr,
                                             width_, height_, fps_);
            if (!pipeline_)
                return nullptr;
            writer_ = nullptr;
            music_open_ = false;
        }
        return pipeline_ && !video_pipeline_failed(pipeline_) ? next_picture(pipeline_) : nullptr;
    }
    bool take(long, std::string *) override
    {
        submit_picture(pipeline_);
        return true;
    }
    bool finish(std::string *err) override
    {
        if (!pipeline_) {
            *err = "out of memory";
            return false;
        }
        // Completes the file with the frames taken, also after a stop request.
        const bool ok = finish_video_pipeline(pipeline_, &sound_cut_at_, err);
        pipeline_ = nullptr;
        if (!ok)
            return false;
        std::error_code ec;
        bytes_ = fs::file_size(file_.temporary, ec);
        placed_ = place_output_file(&file_, err);
        return placed_;
    }
    uint64_t bytes() const override { return bytes_; }
    std::string stop_note() const override
    {
        if (sound_cut_at_ < 0.0)
            return {};
        char text[64];
        std::snprintf(text, sizeof text, "its sound ends at %.2f s", sound_cut_at_);
        return text;
    }

private:
    OutputFile file_;                    // the temporary file, open
    VideoWriter *writer_;                // until the pipeline takes it
    std::unique_ptr<MusicSource> music_; // null without music
    bool music_open_;                    // open and not yet the pipeline's
    VideoPipeline *pipeline_ = nullptr;
    int width_, height_;
    double fps_;
    uint64_t bytes_ = 0;
    double sound_cut_at_ = -1.0; // seconds of sound when a stop cut it short
    bool placed_ = false;
};

// Frames from the start to the music's end, rounded up to a whole frame; the
// small allowance keeps an exact multiple from gaining a frame by rounding.
double frames_to_music_end(const MusicSource &m, double start, double fps)
{
    return std::ceil((music_seconds(m) - start) * fps - 1e-6);
}

// The name the encoder library opens (for writing, and again for reading
// when it moves the index to the front): the descriptor of our exclusively
// created file through /proc, so nothing put at the temporary name since can
// take its place; the temporary name itself where there is no /proc.
std::string writer_path(const OutputFile &file)
{
    const std::string by_fd = descriptor_path(file.fd);
    return by_fd.empty() ? file.temporary : by_fd;
}

} // namespace

int open_video_output(const CaptureArgs &args, int width, int height,
                      std::unique_ptr<FrameSink> *sink, long *total)
{
    auto music = std::make_unique<MusicSource>();
    std::string why;
    const bool have_music = open_music(MUSIC_FILE, music.get(), &why);
    auto fail = [&](int status, const std::string &message) {
        std::fprintf(stderr, "capture: %s\n", message.c_str());
        if (status == 2)
            std::fprintf(stderr, "%s\n", CAPTURE_USAGE);
        if (have_music)
            close_music(music.get());
        return status;
    };
    *total = args.frames;
    if (*total == 0) {
        if (!have_music)
            return fail(1, std::string(MUSIC_FILE) + ": " + why + "; without it give --frames");
        const double frames = frames_to_music_end(*music, args.start, args.fps);
        if (frames < 1.0) {
            char text[160];
            std::snprintf(text, sizeof text, "--start %g is at or past the end of the music (%.3f s)",
                          args.start, music_seconds(*music));
            return fail(1, text);
        }
        if (frames > static_cast<double>(CAPTURE_MAX_FRAMES)) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "--start %g: %.0f frames to the end of the music, more than %ld;"
                          " give --frames",
                          args.start, frames, CAPTURE_MAX_FRAMES);
            return fail(2, text);
        }
        *total = static_cast<long>(frames);
    }
    if (have_music)
        seek_music(music.get(), std::llround(args.start * music->rate));
    else
        std::fprintf(stderr, "capture: warning: %s: %s; the video has no sound\n", MUSIC_FILE, why.c_str());

    // Missing folders on the way are made, as for --out.
    std::error_code ec;
    const fs::path parent = fs::path(args.video_path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent, ec);

    if (fs::is_directory(args.video_path, ec))
        return fail(1, "cannot create " + args.video_path + ": it is a directory");
    OutputFile file;
    if (!open_output_file(args.video_path, &file, &why))
        return fail(1, why);
    VideoSpec spec;
    spec.path = writer_path(file);
    spec.name = args.video_path;
    spec.container = args.output;
    spec.width = width;
    spec.height = height;
    spec.fps = args.fps;
    spec.quality = args.quality;
    spec.audio_rate = have_music ? music->rate : 0;
    VideoWriter *writer = open_video_writer(spec, &why);
    if (!writer) {
        discard_output_file(&file);
        return fail(1, why);
    }
    if (!have_music)
        music.reset();
    *sink = std::make_unique<VideoOutput>(file, writer, std::move(music),
                                          width, height, args.fps);
    return -1;
}
