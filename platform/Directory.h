#pragma once
// Reading a directory's entries, file identities and the path rules of the
// system (separators, drive roots), for the search for mail files.

#include "platform/FileNames.h"  // kPathSeparator

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True for a character that separates path components here ('/' and, on
// Windows, '\').
bool IsPathSeparator(char c);

// `name` inside `directory`: one separator between them, none added when the
// directory already ends with one ("/" + "home" is "/home").
std::string ChildPath(std::string_view directory, std::string_view name);

// A directory's path as the user sees it named: a bare drive ("C:") gains
// its separator ("C:\"); every other path stays as it is.
std::string ShownDirectoryPath(std::string_view path);

// What identifies a directory however it was reached: device and inode
// (Windows: volume serial number and file index). All zero when unknown.
struct DirectoryId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool Known() const { return device != 0 || inode != 0; }
    friend bool operator==(const DirectoryId&, const DirectoryId&) = default;
};

enum class EntryKind : std::uint8_t {
    kDirectory,  // a directory itself, never a link to one
    kFile,       // a regular file
    kLink,       // a symbolic link (or other reparse point), not followed
    kOther,      // devices, pipes, sockets
};

struct DirectoryEntry {
    std::string name;
    EntryKind kind = EntryKind::kOther;
};

struct DirectoryListing {
    DirectoryId id;
    std::vector<DirectoryEntry> entries;  // in the order the system gives, no "." or ".."
};

// Decides by name which non-directory entries a listing keeps.
using NameFilter = bool (*)(std::string_view name);

// Reads the directory at `path` into `out`: every subdirectory, and the
// other entries whose name `keep` accepts (all of them when `keep` is null).
// With `followLink` false a link at `path` is not followed and the call
// fails. Returns false, with `out` empty, when the directory cannot be read
// (missing, not a directory, no access, path too long); entries read before
// a later read error are kept.
bool ReadDirectory(const std::string& path, bool followLink, NameFilter keep, DirectoryListing& out);

// The size of the regular file at `path`, following links; nullopt for
// anything else (directories, pipes, devices, missing files).
std::optional<std::uint64_t> RegularFileSize(const std::string& path);

// The absolute path of `path` with links resolved; `path` itself when that
// fails (Windows: always `path`).
std::string CanonicalPath(const std::string& path);

} // namespace platform
