#pragma once
// The mounted file systems: which of them are local disks (the only ones a
// search enters on its own), and which roots the search offers as drives.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountEntry {
    std::string mountPoint;    // where it is mounted
    std::string root;          // which directory of the file system is mounted there
    std::string fsType;        // "ext4", "nfs4", "fuse.sshfs", ...
    std::string source;        // "/dev/sda1", "server:/export", ...
    std::string superOptions;  // "rw,subvol=/@home", ...
    std::uint64_t device = 0;  // the st_dev of the files on it
};

// The number the system gives the device major:minor (st_dev, st_rdev).
std::uint64_t DeviceNumber(std::uint64_t major, std::uint64_t minor);

// The mounts listed in `text`, in the format of /proc/self/mountinfo, in
// order; lines that do not parse are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mounts of this process; empty where the system keeps no such table
// (Windows) or it cannot be read.
std::vector<MountEntry> ReadMountTable();

// Tells whether a mount's source names a block device (a disk, a partition,
// a loop device); tests pass their own.
using BlockDeviceTest = bool (*)(const std::string& source);

// True when `source` is a block device on this machine.
bool IsBlockDevice(const std::string& source);

// True for a file system on a local disk, wherever it is mounted: one of
// the disk file-system types, or any file system whose source is a block
// device (per `isBlockDevice`). False for everything else: memory file
// systems (tmpfs, /dev/shm, /run/user/...), kernel pseudo file systems,
// network file systems and FUSE mounts without a device, and software
// images (squashfs).
bool IsLocalDisk(const MountEntry& mount, BlockDeviceTest isBlockDevice);

// The drives the search offers, from a mount table: "/" first, then the
// mount point of each other local disk file system, each ending with "/".
// A file system mounted twice, or a part of one mounted elsewhere (a bind
// mount), is offered once.
std::vector<std::string> DriveRootsFrom(const std::vector<MountEntry>& mounts, BlockDeviceTest isBlockDevice);

// The drives of this machine. Windows: the logical drive roots ("C:\"),
// network drives left out. Elsewhere: DriveRootsFrom the mount table.
std::vector<std::string> LogicalDriveRoots();

} // namespace platform
