// track_export.cpp - writing the track files of the newest timeline on a
// thread of its own.
#include "studio/files/track_export.h"

#include <condition_variable>
#include <mutex>
#include <thread>

struct ExportWorker {
    std::string dir;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake, done;
    std::unique_ptr<Timeline> pending; // the newest version not yet taken
    bool busy = false;                 // a write is running
    bool stop = false;
    std::string error;                 // the last failure not yet reported
    unsigned long written = 0;

    // The last owner gone without close_track_export: finish and stop.
    ~ExportWorker()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
            wake.notify_one();
        }
        if (thread.joinable())
            thread.join();
    }
};

static void run_worker(ExportWorker *w)
{
    std::unique_lock<std::mutex> lock(w->mutex);
    for (;;) {
        w->wake.wait(lock, [w] { return w->pending || w->stop; });
        if (!w->pending)
            return; // stopped with nothing left to write
        std::unique_ptr<Timeline> tl = std::move(w->pending);
        w->busy = true;
        lock.unlock();
        std::string error;
        const bool ok = write_timeline_tracks(*tl, w->dir, &error);
        lock.lock();
        w->busy = false;
        if (ok)
            w->written++;
        else
            w->error = "--export: " + error;
        w->done.notify_all();
    }
}

void open_track_export(TrackExport *x, const std::string &dir)
{
    close_track_export(x);
    x->worker = std::make_shared<ExportWorker>();
    x->worker->dir = dir;
    x->worker->thread = std::thread(run_worker, x->worker.get());
}

void request_track_export(TrackExport *x, const Timeline &timeline)
{
    ExportWorker *w = x->worker.get();
    if (!w)
        return;
    // Only the names and keys: the writer needs nothing else.
    auto copy = std::make_unique<Timeline>();
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        copy->tracks[t].name = timeline.tracks[t].name;
        copy->tracks[t].keys = timeline.tracks[t].keys;
    }
    for (const TimelineTrack &d : timeline.declared) {
        copy->declared.emplace_back();
        copy->declared.back().name = d.name;
        copy->declared.back().keys = d.keys;
    }
    std::lock_guard<std::mutex> lock(w->mutex);
    w->pending = std::move(copy);
    w->wake.notify_one();
}

bool take_track_export_error(TrackExport *x, std::string *error)
{
    ExportWorker *w = x->worker.get();
    if (!w)
        return false;
    std::lock_guard<std::mutex> lock(w->mutex);
    if (w->error.empty())
        return false;
    *error = std::move(w->error);
    w->error.clear();
    return true;
}

unsigned long finish_track_export(TrackExport *x)
{
    ExportWorker *w = x->worker.get();
    if (!w)
        return 0;
    std::unique_lock<std::mutex> lock(w->mutex);
    w->done.wait(lock, [w] { return !w->pending && !w->busy; });
    return w->written;
}

void close_track_export(TrackExport *x)
{
    x->worker.reset(); // the worker's destructor finishes the writes and joins
}
