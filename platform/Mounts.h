#pragma once
// The mounted file systems: which roots the search offers as drives, and
// which file systems no search may enter (kernel pseudo file systems and
// network mounts, where a hung server would freeze the walk).

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

// The mounts listed in `text`, in the format of /proc/self/mountinfo, in
// order; lines that do not parse are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mounts of this process; empty where the system keeps no such table
// (Windows) or it cannot be read.
std::vector<MountEntry> ReadMountTable();

// True for what no search enters: kernel pseudo file systems, network file
// systems (NFS, SMB, ...), FUSE network mounts, automount points, and
// whatever is mounted at or below /proc, /sys, /dev or /run.
bool IsPseudoOrNetwork(const MountEntry& mount);

// The drives the search offers, from a mount table: "/" first, then the
// mount point of each other local disk file system (its source a block
// device, per `isBlockDevice`), each ending with "/". A file system mounted
// twice, or a part of one mounted elsewhere (a bind mount), is offered once.
std::vector<std::string> DriveRootsFrom(const std::vector<MountEntry>& mounts,
                                        bool (*isBlockDevice)(const std::string& source));

// The drives of this machine. Windows: the logical drive roots ("C:\"),
// network drives left out. Elsewhere: DriveRootsFrom the mount table.
std::vector<std::string> LogicalDriveRoots();

} // namespace platform
