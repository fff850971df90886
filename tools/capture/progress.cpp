// progress.cpp - progress and summary lines on standard error.
#include "capture/progress.h"

#include <cmath>
#include <cstdio>

using Clock = std::chrono::steady_clock;

static double seconds_between(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string format_progress(long done, long total, double elapsed)
{
    const int percent = total > 0 ? static_cast<int>(100.0 * done / total) : 0;
    char line[128];
    if (done <= 0 || !(elapsed > 0.0)) {
        std::snprintf(line, sizeof line, "%ld/%ld frames  %d%%  -- fps  --:-- left", done, total,
                      percent);
        return line;
    }
    const double rate = done / elapsed;
    const long left = std::lround((total - done) / rate); // seconds
    std::snprintf(line, sizeof line, "%ld/%ld frames  %d%%  %.1f fps  %ld:%02ld left", done,
                  total, percent, rate, left / 60, left % 60);
    return line;
}

std::string format_summary(long frames, double fps, uint64_t bytes, double elapsed)
{
    char size[32];
    if (bytes >= 1000000)
        std::snprintf(size, sizeof size, "%.1f MB", bytes / 1e6);
    else
        std::snprintf(size, sizeof size, "%.1f kB", bytes / 1e3);
    char line[160];
    std::snprintf(line, sizeof line, "%ld frames, %.2f s, %s, %.1f fps", frames, frames / fps,
                  size, elapsed > 0.0 ? frames / elapsed : 0.0);
    return line;
}

void start_progress(ProgressLine *p, long total, bool terminal)
{
    p->terminal = terminal;
    p->total = total;
    p->started = p->shown = Clock::now();
}

void show_progress(ProgressLine *p, long done)
{
    if (!p->terminal)
        return;
    const Clock::time_point now = Clock::now();
    // Four updates a second are enough to read and cost nothing.
    if (done < p->total && done > 1 && seconds_between(p->shown, now) < 0.25)
        return;
    p->shown = now;
    std::fprintf(stderr, "\r\033[K%s", format_progress(done, p->total, seconds_between(p->started, now)).c_str());
    std::fflush(stderr);
}

double end_progress(ProgressLine *p)
{
    if (p->terminal) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    return seconds_between(p->started, Clock::now());
}
