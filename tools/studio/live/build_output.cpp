// build_output.cpp - reading a scene build's output and the generator's
// dependency listing (build_output.h).
#include "studio/live/build_output.h"

#include <algorithm>
#include <filesystem>

static bool is_number(const std::string &s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// One line of GCC or clang, "FILE:LINE:COLUMN: error: text" (the column may
// be missing; "fatal error" for a missing header), taken apart.
static bool parse_error_line(const std::string &line, std::string *file, std::string *row,
                             std::string *text)
{
    size_t at = line.find(": error: "), skip = 9;
    const size_t fatal = line.find(": fatal error: ");
    if (fatal != std::string::npos && (at == std::string::npos || fatal < at)) {
        at = fatal;
        skip = 15;
    }
    if (at == std::string::npos)
        return false;
    const std::string where = line.substr(0, at);
    const size_t last = where.rfind(':');
    if (last == std::string::npos || !is_number(where.substr(last + 1)))
        return false;
    const std::string head = where.substr(0, last);
    const size_t before = head.rfind(':');
    if (before != std::string::npos && is_number(head.substr(before + 1))) {
        *file = head.substr(0, before);
        *row = head.substr(before + 1);
    } else {
        *file = head;
        *row = where.substr(last + 1);
    }
    *text = line.substr(at + skip);
    return !file->empty();
}

std::string first_build_errors(const std::string &log, const std::string &source_dir, int max)
{
    const std::string prefix = source_dir + "/";
    std::string errors, file, row, text;
    int count = 0;
    size_t start = 0;
    while (start < log.size() && count < max) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 1;
        if (!parse_error_line(line, &file, &row, &text))
            continue;
        if (file.compare(0, prefix.size(), prefix) == 0)
            file.erase(0, prefix.size());
        errors += file + ":" + row + ": " + text + "\n";
        count++;
    }
    return errors;
}

std::vector<std::string> library_dependencies(const std::string &listing, const LiveBuild &build)
{
    std::vector<std::string> files;
    const std::string source = build.source_dir + "/", binary = build.dir + "/";
    bool ours = false;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        std::string line = listing.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        if (line[0] != ' ') { // "TARGET: #deps N, deps mtime T (VALID)"
            ours = !build.objects.empty() && line.compare(0, build.objects.size(), build.objects) == 0;
            continue;
        }
        if (!ours)
            continue;
        line.erase(0, line.find_first_not_of(' '));
        if (line.empty())
            continue;
        if (line[0] != '/')
            line = binary + line;
        line = std::filesystem::path(line).lexically_normal().string();
        if (line.compare(0, source.size(), source) == 0 && line.compare(0, binary.size(), binary) != 0)
            files.push_back(line);
    }
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

std::string last_output_line(const std::string &text)
{
    size_t end = text.find_last_not_of("\n");
    if (end == std::string::npos)
        return "";
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}
