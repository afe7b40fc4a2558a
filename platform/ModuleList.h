#pragma once
// The modules (executable and shared libraries) loaded into this process, by
// two independent routes: the dynamic loader's own list, and the kernel's
// list of the process's file mappings.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct LoadedModule {
    std::string path;        // the module's file
    std::string name;        // its file name without the folder
    std::uint64_t base = 0;  // address of its first mapped page
    std::uint64_t size = 0;  // bytes from base to the end of its last segment
};

// The dynamic loader's list (dl_iterate_phdr), with that function bound by
// name from the first of `libraries` that can be loaded and exports it.
// False when none does; otherwise `out` holds the modules in load order (the
// executable first).
bool ListModulesFromLoader(const std::vector<std::string>& libraries, std::vector<LoadedModule>& out);

// The file-backed mappings of a maps file in the format of /proc/<pid>/maps,
// one module per file. False when the file cannot be read.
bool ListModulesFromMaps(const std::string& mapsFile, std::vector<LoadedModule>& out);

// The maps file of this process ("/proc/self/maps"; empty where there is none).
std::string OwnMapsFile();

} // namespace platform
