// stray_files.h - taking away what killed writers left behind.
//
// A writer killed between creating its temporary file and renaming it leaves
// "NAME.tmp-PID" or "NAME.tmp-PID-N" (output_file.h); the track compiler's
// second name of a file it replaces is "NAME.old-PID[-N]"; the studio's live
// code keeps its library copies in a folder "loaded-PID[-N]". PID names the
// process that made it. The next writer into that folder removes those of
// processes that are gone:
//
//  - a name whose PID is a living process (this one included) is kept: its
//    writer may be in the middle of it; a process of another user counts as
//    living;
//  - only regular files are removed, and folders of the given prefix with
//    the names in them: a link named like one is left alone, never followed,
//    and so is a FIFO, a device or anything else;
//  - a folder's names are removed, not followed (a link in it goes, its
//    target stays); a folder inside it is left, and with it the folder.
//
// On Windows nothing is swept (a name's PID there cannot be checked the same
// way); the stray files stay, harmless, beside the outputs.
#pragma once

#include <string>

// Removes the stray files of processes that are gone from `dir`, and, when
// `folder_prefix` is given, the folders "PREFIX-PID[-N]" of such processes
// with what is in them. The number of files and folders removed.
int remove_stray_files(const std::string &dir, const std::string &folder_prefix = "");

// remove_stray_files, once per folder in a process (later calls for the same
// folder do nothing), with one line on standard error when it removed any:
// "PROGRAM: removed 3 temporary files of ended processes from DIR".
// open_output_file calls it for the folder of every output.
void sweep_stray_files(const std::string &dir, const std::string &folder_prefix = "");

