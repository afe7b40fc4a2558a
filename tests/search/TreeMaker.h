#pragma once
// Generated folder trees for the search tests.

#include "support/TempDir.h"

#include <filesystem>
#include <initializer_list>
#include <string>

namespace testsupport {

// Creates `entries` under `root`: a name ending in "/" is a directory, any
// other a file whose content is its own name (so sizes differ).
inline void MakeTree(const std::filesystem::path& root, std::initializer_list<std::string> entries)
{
    for (const std::string& entry : entries) {
        const std::filesystem::path path = root / entry;
        if (entry.ends_with("/")) {
            std::filesystem::create_directories(path);
        } else {
            std::filesystem::create_directories(path.parent_path());
            WriteFile(path.string(), entry);
        }
    }
}

} // namespace testsupport
