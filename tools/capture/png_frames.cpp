// png_frames.cpp - one PNG file per frame.
#include "capture/png_frames.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/output_file.h"
#include "common/png_writer.h"

namespace {

class PngFrames : public FrameSink {
public:
    PngFrames(std::string dir, int width, int height)
        : dir_(std::move(dir)), width_(width), height_(height),
          picture_(static_cast<size_t>(width) * height)
    {
    }
    uint32_t *picture() override { return picture_.data(); }
    bool take(long index, std::string *err) override
    {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06ld.png", index);
        const std::string path = dir_ + name;
        if (!encode_png_rgb(picture_.data(), width_, height_, width_, &png_)) {
            *err = "out of memory encoding " + path;
            return false;
        }
        if (!write_output_file(path, png_.data(), png_.size(), err))
            return false;
        bytes_ += png_.size();
        return true;
    }
    bool finish(std::string *) override { return true; }
    uint64_t bytes() const override { return bytes_; }

private:
    std::string dir_;
    int width_, height_;
    std::vector<uint32_t> picture_;
    std::vector<unsigned char> png_;
    uint64_t bytes_ = 0;
};

} // namespace

std::unique_ptr<FrameSink> open_png_frames(const std::string &dir, int width, int height,
                                           std::string *err)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        *err = "cannot use output directory " + dir + ": " +
               (ec ? ec.message() : std::string("not a directory"));
        return nullptr;
    }
    return std::make_unique<PngFrames>(dir, width, height);
}
