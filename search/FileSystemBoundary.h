#pragma once
// Where a search for mail files stops: at the mount points of pseudo and
// network file systems always (a hung server would freeze the walk), and at
// every mount point when the walk keeps to the file system it started on
// (a drive of the drive list: each mounted disk is a drive of its own).

#include "platform/Mounts.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace search {

class FileSystemBoundary {
public:
    // Knows no mounts: every directory may be entered, and a walk that keeps
    // to one file system tells file systems apart by device alone.
    FileSystemBoundary() = default;
    explicit FileSystemBoundary(const std::vector<platform::MountEntry>& mounts);

    // The boundary of this machine's mounts as they are now.
    static FileSystemBoundary OfThisSystem();

    // Whether a walk may go down into the directory at `canonicalPath` (an
    // absolute path without links): never into a pseudo or network mount,
    // and into no mount at all with `oneFileSystem`.
    bool MayEnter(const std::string& canonicalPath, bool oneFileSystem) const;

    // Whether a directory on `device`, reached from a directory on another
    // device, may be searched: not when `device` is a pseudo or network
    // file system; with `oneFileSystem`, not when the mounts are unknown.
    bool MayCross(std::uint64_t device, bool oneFileSystem) const;

private:
    std::unordered_map<std::string, bool> mountPoints_;  // mount point -> pseudo or network
    std::unordered_set<std::uint64_t> excludedDevices_;
};

} // namespace search
