// code_place.h - where an address of a loaded scene library is in its
// sources: the executable extent of the library (for the live guard) and its
// file, kept open so that its debug information can be read after the
// studio's private copy of it was removed. The lines come from the
// library's DWARF records through elfutils' libdw.
#pragma once

#include <cstdint>
#include <string>

#include "studio/live/live_guard.h"

struct LibraryCode {
    GuardRange range;     // its functions: the .text section (or its executable segments)
    uintptr_t base = 0;   // the load address the loader chose
    int fd = -1;          // its file (-1: unknown, no lines)
    std::string name;     // the name it was opened by
};

// The code of the library of a dlopen handle, and its file: through
// its mapping (common/platform.h) when the name is gone, else by its name. False with
// the reason when the library's extent cannot be found; a file that cannot
// be opened only leaves fd at -1.
bool find_library_code(void *handle, LibraryCode *out, std::string *error);

// Closes the file.
void release_library_code(LibraryCode *code);

// "FILE:LINE in FUNCTION" of an address of the library's code: FILE as the
// compiler named it, relative to source_dir when under it; the function's
// name without its C++ decoration. The parts that the debug information
// lacks are left out ("in FUNCTION", or "FILE:LINE"); "" when it says
// nothing.
std::string code_place(const LibraryCode &code, uintptr_t address, const std::string &source_dir);
