// progress.h - the capture's progress line and its closing summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// "120/3600 frames  3%  31.2 fps  1:52 left" after `elapsed` seconds of work.
// Before the first frame the rate and time left read "--".
std::string format_progress(long done, long total, double elapsed);

// "3600 frames, 60.00 s, 123.4 MB, 31.2 fps": frames written, the seconds of
// video they make at `fps`, the bytes written and the frames per second of
// the whole run.
std::string format_summary(long frames, double fps, uint64_t bytes, double elapsed);

// A progress line that rewrites itself on a terminal (at most a few times a
// second) and stays silent otherwise.
struct ProgressLine {
    bool terminal = false;
    long total = 0;
    std::chrono::steady_clock::time_point started, shown;
};

void start_progress(ProgressLine *p, long total, bool terminal);
void show_progress(ProgressLine *p, long done);
// Clears the line; returns the seconds since start_progress.
double end_progress(ProgressLine *p);
