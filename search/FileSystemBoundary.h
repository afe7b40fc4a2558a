#pragma once
// Where a search for mail files stops. From where it starts, a walk enters
// only local disk file systems: never memory, kernel or network file
// systems (a hung server would freeze it). A walk that keeps to the file
// system it started on (a drive of the drive list: each mounted disk is a
// drive of its own) stops at every mount point.

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
    // The boundary of `mounts`; `isBlockDevice` tells a disk's source.
    explicit FileSystemBoundary(const std::vector<platform::MountEntry>& mounts,
                                platform::BlockDeviceTest isBlockDevice = &platform::IsBlockDevice);

    // The boundary of this machine's mounts as they are now.
    static FileSystemBoundary OfThisSystem();

    // Whether a walk may go down into the directory at `canonicalPath` (an
    // absolute path without links): into a mount point only when a local
    // disk is mounted there, and into none at all with `oneFileSystem`.
    bool MayEnter(const std::string& canonicalPath, bool oneFileSystem) const;

    // Whether a directory on `device`, reached from a directory on another
    // device, may be searched: not when `device` is known and is no local
    // disk; with `oneFileSystem`, not when the mounts are unknown.
    bool MayCross(std::uint64_t device, bool oneFileSystem) const;

private:
    std::unordered_map<std::string, bool> mountPoints_;  // mount point -> a local disk
    std::unordered_set<std::uint64_t> excludedDevices_;
};

} // namespace search
