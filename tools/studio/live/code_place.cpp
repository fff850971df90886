// code_place.cpp - a scene library's extent, its file and its source lines
// (the manual is in code_place.h).
#include "studio/live/code_place.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elfutils/libdwfl.h>
#include <gelf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/platform.h"

namespace {

struct Extent {
    const link_map *map;
    GuardRange range;
    bool found;
};

int find_segments(dl_phdr_info *info, size_t, void *data)
{
    auto *e = static_cast<Extent *>(data);
    if (info->dlpi_addr != e->map->l_addr || std::strcmp(info->dlpi_name, e->map->l_name) != 0)
        return 0;
    for (int i = 0; i < info->dlpi_phnum; i++) {
        const ElfW(Phdr) &p = info->dlpi_phdr[i];
        if (p.p_type != PT_LOAD || !(p.p_flags & PF_X))
            continue;
        const uintptr_t lo = info->dlpi_addr + p.p_vaddr, hi = lo + p.p_memsz;
        e->range.lo = e->found ? std::min(e->range.lo, lo) : lo;
        e->range.hi = e->found ? std::max(e->range.hi, hi) : hi;
        e->found = true;
    }
    return 1;
}

// The library's .text section, where its functions are (not its PLT's
// stubs, its start-up or end code): from the section headers of its file.
bool text_section(int fd, uintptr_t base, GuardRange *out)
{
    elf_version(EV_CURRENT);
    Elf *elf = elf_begin(fd, ELF_C_READ, nullptr);
    if (!elf)
        return false;
    size_t names = 0;
    bool found = false;
    if (elf_getshdrstrndx(elf, &names) == 0) {
        for (Elf_Scn *scn = elf_nextscn(elf, nullptr); scn && !found; scn = elf_nextscn(elf, scn)) {
            GElf_Shdr header;
            if (!gelf_getshdr(scn, &header))
                continue;
            const char *name = elf_strptr(elf, names, header.sh_name);
            if (name && std::strcmp(name, ".text") == 0 && (header.sh_flags & SHF_EXECINSTR)) {
                out->lo = base + header.sh_addr;
                out->hi = out->lo + header.sh_size;
                found = true;
            }
        }
    }
    elf_end(elf);
    return found;
}

std::string demangled(const char *name)
{
    int status = 0;
    char *plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string out = status == 0 && plain ? plain : name;
    std::free(plain);
    return out;
}

} // namespace

bool find_library_code(void *handle, LibraryCode *out, std::string *error)
{
    *out = LibraryCode{};
    link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) {
        const char *why = dlerror();
        *error = std::string("the library's map: ") + (why ? why : "unknown");
        return false;
    }
    Extent e{map, {}, false};
    dl_iterate_phdr(find_segments, &e);
    if (!e.found) {
        *error = std::string(map->l_name) + ": no code segment found";
        return false;
    }
    out->range = e.range;
    out->base = map->l_addr;
    out->name = map->l_name;
    out->fd = open_own_mapped_file(map->l_addr); // also when its name is gone
    if (out->fd < 0)
        out->fd = open(map->l_name, O_RDONLY | O_CLOEXEC);
    // Narrowed to the functions when the file says where they are (and the
    // section lies within the mapped code).
    GuardRange text;
    if (out->fd >= 0 && text_section(out->fd, map->l_addr, &text) && text.lo >= e.range.lo && text.hi <= e.range.hi)
        out->range = text;
    return true;
}

void release_library_code(LibraryCode *code)
{
    if (code->fd >= 0)
        close(code->fd);
    *code = LibraryCode{};
}

std::string code_place(const LibraryCode &code, uintptr_t address, const std::string &source_dir)
{
    if (code.fd < 0 || !code.range.contains(address))
        return "";
    static char *no_debuginfo_path = nullptr;
    const Dwfl_Callbacks callbacks = {nullptr, dwfl_standard_find_debuginfo, nullptr, &no_debuginfo_path};
    Dwfl *dwfl = dwfl_begin(&callbacks);
    if (!dwfl)
        return "";
    std::string place;
    const int fd = dup(code.fd); // the module takes it
    Dwfl_Module *module = fd >= 0 ? dwfl_report_elf(dwfl, "scenes", code.name.c_str(), fd, code.base, false)
                                  : nullptr;
    if (!module && fd >= 0)
        close(fd);
    dwfl_report_end(dwfl, nullptr, nullptr);
    if (module) {
        if (Dwfl_Line *line = dwfl_module_getsrc(module, address)) {
            int row = 0;
            const char *file = dwfl_lineinfo(line, nullptr, &row, nullptr, nullptr, nullptr);
            if (file && row > 0) {
                std::filesystem::path path = file;
                const char *dir = dwfl_line_comp_dir(line);
                if (path.is_relative() && dir)
                    path = std::filesystem::path(dir) / path;
                std::string name = path.lexically_normal().string();
                const std::string prefix = source_dir.empty() ? "" : source_dir + "/";
                if (!prefix.empty() && name.compare(0, prefix.size(), prefix) == 0)
                    name.erase(0, prefix.size());
                place = name + ":" + std::to_string(row);
            }
        }
        if (const char *function = dwfl_module_addrname(module, address))
            place += (place.empty() ? "in " : " in ") + demangled(function);
    }
    dwfl_end(dwfl);
    return place;
}
