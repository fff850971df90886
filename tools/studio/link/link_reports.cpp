// link_reports.cpp - what the followers' reports tell the studio: how far
// behind its time each one plays, and how long a change took to show.
//
// Behind: the studio's music at the moment it reads the report (its
// transport's time plus what has played since that time was taken) minus
// the follower's music when it sent the report (the frame's time plus the
// report's age). What stays in it is the report's way over: the wait in the
// socket until the studio's next frame reads it, up to one studio frame. It
// is bounded: the report was not there when the previous poll read, so it
// waited at most the time since then (`waited_s`, given in the line).
//
// A change's time runs from its going out to the read of the report of the
// first frame showing it, on the microsecond clock; the picture is up when
// the report goes, so the figure is an upper bound by that same wait. The
// follower's frame time comes from its frame counts over at least half a
// second (the poll's clock).
#include "studio/link/link_server.h"

#include <cmath>
#include <cstdio>

static const uint64_t RATE_SPAN_MS = 500;

static std::string fixed(double v, int decimals)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

bool take_link_report(LinkServer *s, LinkClient *c, const LinkReport &r, std::string *error)
{
    LinkLag &lag = c->lag;
    if (r.changes > c->tracks_sent) {
        *error = "report of " + std::to_string(r.changes) + " track messages shown, " +
                 std::to_string(c->tracks_sent) + " sent";
        return false;
    }
    if ((lag.reported && r.frames < lag.last.frames) || r.changes < lag.shown) {
        *error = "report that counts back";
        return false;
    }
    const uint64_t now = s->now_ms;
    if (!lag.reported) {
        lag.rate_ms = now;
        lag.rate_frames = r.frames;
    } else if (now >= lag.rate_ms + RATE_SPAN_MS) {
        if (r.frames > lag.rate_frames)
            lag.frame_ms = double(now - lag.rate_ms) / double(r.frames - lag.rate_frames);
        lag.rate_ms = now;
        lag.rate_frames = r.frames;
    }
    lag.reported = true;
    lag.last = r;
    lag.last_ms = now;
    lag.playing = r.playing && s->has_transport && s->transport.playing;
    const uint64_t now_us = link_server_clock_us(*s);
    lag.waited_s = s->last_read_us ? double(now_us - s->last_read_us) * 1e-6 : 0.0;
    if (lag.playing) {
        // Both play at the studio's speed (the follower takes it from the transport).
        const double speed = s->transport.half_speed ? 0.5 : 1.0;
        const double studio = s->transport.seconds + double(now_us - s->transport_us) * 1e-6 * speed;
        lag.behind_s = studio - (r.seconds + r.age_us * 1e-6 * speed);
        if (s->report_lines)
            link_server_say(s, "follower " + std::to_string(c->number) + " behind " +
                                   fixed(lag.behind_s * 1000.0, 3) + " ms, the report waited up to " +
                                   fixed(lag.waited_s * 1000.0, 3) + " ms");
    }
    // A track message shown for the first time whose going out is still
    // known; the HUD's figure is that of the last change (an edit).
    if (r.changes > lag.shown && c->tracks_sent - r.changes < LINK_SERVER_SENT_TIMES) {
        const size_t slot = r.changes % LINK_SERVER_SENT_TIMES;
        const uint64_t ms = (now_us - c->sent_us[slot] + 500) / 1000;
        const uint32_t frames = lag.frame_ms > 0.0 ? static_cast<uint32_t>(std::ceil(ms / lag.frame_ms)) : 0;
        if (c->sent_edit[slot]) {
            lag.edit_known = true;
            lag.edit_ms = ms;
            lag.edit_frames = frames;
        }
        if (s->report_lines)
            link_server_say(s, "follower " + std::to_string(c->number) + " showed " +
                                   (c->sent_edit[slot] ? "change " : "answer ") + std::to_string(r.changes) +
                                   " after " + std::to_string(ms) + " ms, " + std::to_string(frames) +
                                   " frames of " + fixed(lag.frame_ms, 2) + " ms; the report waited up to " +
                                   fixed(lag.waited_s * 1000.0, 3) + " ms");
    }
    lag.shown = r.changes;
    return true;
}

std::string link_server_lag_line(const LinkServer &s)
{
    const LinkLag *behind = nullptr, *edit = nullptr;
    for (const LinkClient &c : s.clients) {
        if (c.gone || !c.lag.reported)
            continue;
        if (c.lag.playing && (!behind || std::fabs(c.lag.behind_s) > std::fabs(behind->behind_s)))
            behind = &c.lag;
        if (c.lag.edit_known && (!edit || c.lag.edit_ms > edit->edit_ms))
            edit = &c.lag;
    }
    std::string line;
    if (behind)
        line = "behind " + fixed(behind->behind_s * 1000.0, 1) + " ms";
    if (edit) {
        line += line.empty() ? "" : ", ";
        line += "last edit shown after ";
        if (edit->edit_frames)
            line += std::to_string(edit->edit_frames) + (edit->edit_frames == 1 ? " frame (" : " frames (") +
                    std::to_string(edit->edit_ms) + " ms)";
        else
            line += std::to_string(edit->edit_ms) + " ms";
    }
    return line;
}
