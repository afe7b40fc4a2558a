#include "platform/ModuleList.h"

#include "platform/DynamicLibrary.h"
#include "platform/ProgramPaths.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <link.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

bool ListModulesFromLoader(const std::vector<std::string>&, std::vector<LoadedModule>&)
{
    return false;  // the debug-help library lists modules itself there
}

bool ListModulesFromMaps(const std::string&, std::vector<LoadedModule>&)
{
    return false;
}

std::string OwnMapsFile()
{
    return {};
}

#else

namespace {

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

using IteratePhdr = int (*)(int (*)(dl_phdr_info*, std::size_t, void*), void*);

int AddModule(dl_phdr_info* info, std::size_t, void* context)
{
    auto& out = *static_cast<std::vector<LoadedModule>*>(context);
    std::uint64_t low = UINT64_MAX;
    std::uint64_t high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD)
            continue;
        const std::uint64_t align = ph.p_align > 1 ? ph.p_align : 1;
        low = std::min<std::uint64_t>(low, ph.p_vaddr & ~(align - 1));
        high = std::max<std::uint64_t>(high, ph.p_vaddr + ph.p_memsz);
    }
    if (high == 0)
        return 0;
    LoadedModule m;
    // The executable is listed without a name.
    m.path = info->dlpi_name && *info->dlpi_name ? info->dlpi_name : ExecutablePath();
    m.name = BaseName(m.path);
    m.base = info->dlpi_addr + low;
    m.size = high - low;
    out.push_back(std::move(m));
    return 0;
}

} // namespace

bool ListModulesFromLoader(const std::vector<std::string>& libraries, std::vector<LoadedModule>& out)
{
    for (const std::string& name : libraries) {
        DynamicLibrary library;
        IteratePhdr iterate = nullptr;
        if (!library.Load(name.c_str()) || !library.Bind(iterate, "dl_iterate_phdr"))
            continue;
        out.clear();
        iterate(AddModule, &out);
        return true;
    }
    return false;
}

bool ListModulesFromMaps(const std::string& mapsFile, std::vector<LoadedModule>& out)
{
    std::ifstream in(mapsFile);
    if (!in)
        return false;
    out.clear();
    std::vector<bool> executable;  // per module: has code (data files mapped by the program do not)
    std::string line;
    while (std::getline(in, line)) {
        // start-end perms offset dev inode path
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, path);
        if (path.empty() || path.front() != '/')
            continue;  // anonymous memory, the stack, [vdso] and friends
        const auto dash = range.find('-');
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        if (dash == std::string::npos
            || std::from_chars(range.data(), range.data() + dash, start, 16).ec != std::errc()
            || std::from_chars(range.data() + dash + 1, range.data() + range.size(), end, 16).ec != std::errc()
            || end <= start)
            continue;
        const bool code = perms.size() > 2 && perms[2] == 'x';
        // A file's mappings are listed together; a new run of one starts a module.
        if (!out.empty() && out.back().path == path && start >= out.back().base) {
            out.back().size = std::max(out.back().size, end - out.back().base);
            executable.back() = executable.back() || code;
            continue;
        }
        out.push_back({path, BaseName(path), start, end - start});
        executable.push_back(code);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!executable[i])
            continue;
        if (kept != i)
            out[kept] = std::move(out[i]);
        ++kept;
    }
    out.resize(kept);
    return true;
}

std::string OwnMapsFile()
{
    return "/proc/self/maps";
}

#endif

} // namespace platform
