#pragma once
// Reading a directory's entries, file identities, paths of any length and
// the path rules of the system (separators, drive roots), for the search
// for mail files.

#include "platform/FileNames.h"  // kPathSeparator

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
struct stat;
#endif

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
    // For an entry kept by the name filter: the size of the regular file it
    // is or leads to; nullopt for anything else.
    std::optional<std::uint64_t> fileSize;
};

struct DirectoryListing {
    std::vector<DirectoryEntry> entries;  // in the order the system gives, no "." or ".."
};

// Decides by name which non-directory entries a listing keeps.
using NameFilter = bool (*)(std::string_view name);

// An open directory. What is inside it is read and opened relative to it,
// never by a whole path, so that a walk goes as deep as the file system
// does, past any limit on the length of a path, and a folder renamed
// meanwhile cannot send it elsewhere. Error results are errno values
// (ENOENT, EACCES, ENOTDIR; ENOTDIR or ELOOP for a link not followed,
// ...); 0 is success.
class DirectoryHandle {
public:
    DirectoryHandle() = default;
    ~DirectoryHandle();
    DirectoryHandle(DirectoryHandle&& other) noexcept;
    DirectoryHandle& operator=(DirectoryHandle&& other) noexcept;
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;

    // Opens the directory at `path` (any length); a link there is followed
    // only with `followLink`. An open handle is closed first.
    int Open(const std::string& path, bool followLink);
    // Opens the subdirectory `name` of `parent`, never through a link.
    int OpenChild(const DirectoryHandle& parent, std::string_view name);
    // Opens the directory that holds `child` (its "..").
    int OpenParentOf(const DirectoryHandle& child);

    bool IsOpen() const;
    void Close();
    // Device and inode of the open directory; unknown when closed.
    DirectoryId Id() const { return id_; }

    // Reads the entries into `out`: every subdirectory, and the other
    // entries whose name `keep` accepts (all when `keep` is null), each with
    // its file size. Returns 0 when everything was read, otherwise the first
    // error met (a failed read, or a kept entry whose kind or size could not
    // be told); what was read before it stays in `out`.
    int Read(NameFilter keep, DirectoryListing& out);

private:
    DirectoryId id_;
#ifdef _WIN32
    std::string path_;
#else
    void* dir_ = nullptr;  // the DIR* that owns the descriptor
#endif
};

// The size of the regular file at `path` (any length), following links;
// nullopt for anything else (directories, pipes, devices, missing files).
std::optional<std::uint64_t> RegularFileSize(const std::string& path);

// The absolute path of `path` with links resolved; `path` itself when that
// fails (Windows: always `path`).
std::string CanonicalPath(const std::string& path);

#ifndef _WIN32
// open(2) of `path` with `flags` (O_CLOEXEC added), also when the path is
// longer than PATH_MAX: it is then opened in pieces, each relative to the
// folder the one before led to, with the meaning it has as a whole. Returns
// the descriptor, or -1 with errno set.
int OpenDeep(const std::string& path, int flags);
// stat(2) (lstat(2) without `followLinks`) of `path`, at any length; 0 or
// -1 with errno set.
int StatDeep(const std::string& path, struct stat& st, bool followLinks);
#endif

} // namespace platform
