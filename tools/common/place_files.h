// place_files.h - putting written files in place, beyond the one file that
// output_file.h replaces: a group of files all or nothing, a file that
// replaces another only while that one is still the version the caller
// read, and a new file created as a copy. None of them writes through, or
// replaces, anything someone put at a name they create.
#pragma once

#include <string>

#include "common/file_identity.h"
#include "common/output_file.h"

// Moves the closed temporary files of outs[0..count) (close_output_file)
// over their paths, all or nothing. Before a file is replaced the old one
// gets a second name beside it, "PATH.old-PID[-N]" (a hard link, or an
// exclusive copy where the file system has none); when a move fails every
// file already replaced gets its old one back, one that did not exist
// before is removed again, and the remaining temporary files go. False with
// "cannot replace PATH: reason (the earlier files are kept)", or with what
// could not be put back.
bool place_output_files(OutputFile *outs, int count, std::string *error);

enum CheckedPlacement {
    PLACE_DONE,       // the new file is at the name
    PLACE_FAILED,     // *error says why; the file at the name is untouched
    PLACE_OTHER_FILE, // the file there is not the expected one: it stays, ours is removed
};

// Puts the closed temporary file `out` in place of `target` only while the
// file there is `expected` (invalid: nothing is expected there). The two
// are exchanged in one step and the file taken out is compared with
// `expected`; when it is another one (someone saved it since) they are
// exchanged back. Without the exchange the file is looked at just before a
// plain rename, and when nothing was expected a rename that never replaces
// puts it in. The temporary file is gone afterwards except in the one case
// where an exchange back fails (the folder went away): both files are then
// kept, and the error names them.
CheckedPlacement place_output_file_checked(OutputFile *out, const std::string &target,
                                           const FileIdentity &expected, std::string *error);

// The exchange place_output_file_checked uses: exchange_names (platform.h).
// Tests put here one that fails as on a file system without it.
extern int (*PlaceExchangeNames)(const char *a, const char *b);

// Creates `to` exclusively (O_EXCL | O_NOFOLLOW: never through a link or a
// file at that name) with permission bits `mode`, as a copy of the regular
// file `from`. A copy that stops half-way is removed. False with
// "NAME: reason"; *create_errno is the errno of a failed create (EEXIST:
// the name is taken, try another), 0 for any other failure.
bool copy_to_new_file(const std::string &from, const std::string &to, unsigned mode, std::string *error,
                      int *create_errno);
