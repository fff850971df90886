// device.h - the sync device: owns every track by name and loads each from its
// .track file ("<base>_<escaped name>.track" in the working directory).
//
// The device can also ask an external editor for a track over a socket link;
// nothing in the demo opens that link, so link_socket stays -1 and every track
// comes from its file. Failures are reported by null pointers and -1 indices;
// nothing is printed.
#pragma once

#include <cstddef>
#include <cstdio>

#include "sync/track.h"
#include "sync/track_file.h" // escape_name, track_file_path and the byte layout

struct SyncDevice {
    char *base_name;       // escaped heap copy of the base name
    SyncTrack **tracks;    // track_count entries, creation order; null when empty
    int track_count;
    int link_socket;       // -1: no editor link
    FILE *(*open_file)(const char *path, const char *mode);
    size_t (*read_file)(void *dst, size_t size, size_t count, FILE *f);
    int (*close_file)(FILE *f);
};

SyncDevice *create_sync_device(const char *base_name);

// The device's open_file: a regular file opened for reading, or null. The
// open never blocks (a FIFO named like a track file would wait for a writer
// for ever) and the opened descriptor itself must be a regular file, so a
// FIFO, a directory or a device gives null: an empty track, as a missing
// file does. `mode` must ask for reading only ("rb").
FILE *open_track_file(const char *path, const char *mode);
int find_track(const SyncDevice *d, const char *name);
SyncTrack *open_track(SyncDevice *d, const char *name);
void destroy_sync_device(SyncDevice *d);

// Replaces the keys of a registered track with a copy of `count` keys, which
// must be in strictly increasing row order (the caller checked them): for
// programs that edit the timeline while it plays, between two frames. False
// when memory runs out; the track then keeps the keys it had.
bool set_track_keys(SyncTrack *t, const SyncKey *keys, int32_t count);

// Sends the request for track t over the link: command byte 2, the name's
// length as big-endian uint32, the name bytes. 0 on success; on a short send
// the link is closed, link_socket becomes -1, and -1 is returned.
int ask_link_for_track(SyncDevice *d, const SyncTrack *t);
