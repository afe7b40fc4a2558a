#pragma once
// Reading folders: what a folder holds and whether a path is one.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct FolderEntry {
    std::string name;        // the name only, as stored (UTF-8 on Windows, bytes elsewhere)
    bool isFolder = false;   // a folder, or a link to one
    bool isFile = false;     // a regular file, or a link to one
    std::uint64_t size = 0;  // of a file, in bytes
};

// The entries of folder `path`, without "." and "..", in the order the
// system returns them; a link is described by what it points to. Empty
// when the folder cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& path);

// True when `path` (any length) names a folder (or a link to one).
bool IsFolder(const std::string& path);

// True when anything exists at `path` (any length; a link counts when it
// leads somewhere).
bool Exists(const std::string& path);

} // namespace platform
