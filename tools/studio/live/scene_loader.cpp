// scene_loader.cpp - opening and checking a scene library, and drawing a
// frame with its table (scene_loader.h).
#include "studio/live/scene_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iterator>
#include <vector>

#include "state/state.h"
#include "studio/state_layout.h"

static std::string hex(uint32_t v)
{
    char s[16];
    std::snprintf(s, sizeof s, "0x%08" PRIx32, v);
    return s;
}

// Reads a byte of every page of the library's functions, so that the first
// frame that runs them does not wait for their pages.
static void touch_code(const GuardRange &range)
{
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    volatile uint8_t sink = 0;
    for (uintptr_t a = range.lo & ~(page - 1); a < range.hi; a += page)
        sink = sink + *reinterpret_cast<const volatile uint8_t *>(a < range.lo ? range.lo : a);
}

std::string changed_layout_file(const std::string &own, const std::string &library)
{
    // "NAME=DIGEST;" entries; a name on one side only counts as changed.
    const auto entries = [](const std::string &list) {
        std::vector<std::pair<std::string, std::string>> out;
        for (size_t at = 0, end; (end = list.find(';', at)) != std::string::npos; at = end + 1) {
            const std::string entry = list.substr(at, end - at);
            const size_t eq = entry.find('=');
            out.emplace_back(entry.substr(0, eq), eq == std::string::npos ? "" : entry.substr(eq + 1));
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    const auto a = entries(own), b = entries(library);
    std::vector<std::pair<std::string, std::string>> differ;
    std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(differ));
    return differ.empty() ? "" : differ.front().first;
}

bool open_scene_library(const std::string &path, uint32_t layout, SceneLibrary *out,
                        std::string *error)
{
    *out = SceneLibrary{};
    dlerror();
    // Every symbol resolved now: a library that needs something the studio
    // lacks is refused here rather than failing in the middle of a frame.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        *error = why ? why : "the library cannot be opened";
        return false;
    }
    const auto *number = static_cast<const uint32_t *>(dlsym(handle, SCENE_LIBRARY_LAYOUT_SYMBOL));
    const auto *table = static_cast<const SceneLibraryTable *>(dlsym(handle, SCENE_LIBRARY_TABLE_SYMBOL));
    if (!number || !table) {
        *error = std::string("the library has no ") +
                 (!number ? SCENE_LIBRARY_LAYOUT_SYMBOL : SCENE_LIBRARY_TABLE_SYMBOL);
    } else if (*number != layout) {
        const auto *files = static_cast<const char *>(dlsym(handle, SCENE_LIBRARY_LAYOUT_FILES_SYMBOL));
        const std::string changed = files ? changed_layout_file(STATE_LAYOUT_FILES, files) : "";
        *error = "the library's state layout " + hex(*number) + " is not the studio's " + hex(layout) + ": " +
                 (changed.empty() ? "the process-wide state" : changed) + " changed, rebuild and restart the studio";
    } else if (table->count <= 0 || !table->scenes) {
        *error = "the library's scene table is empty";
    } else {
        out->handle = handle;
        out->table = table;
        if (find_library_code(handle, &out->code, &out->code_error))
            touch_code(out->code.range);
        return true;
    }
    dlclose(handle);
    return false;
}

void close_scene_library(SceneLibrary *lib)
{
    release_library_code(&lib->code);
    if (lib->handle)
        dlclose(lib->handle);
    *lib = SceneLibrary{};
}
