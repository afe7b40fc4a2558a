#pragma once
// The disks and partitions of this machine, for a person to choose one to
// read whole: where a file dialog shows no devices. On Linux they come from
// /sys/block; where a system keeps no such list (Windows) the list is empty.

#include "platform/Mounts.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct BlockDevice {
    std::string name;       // "sda", "sda1", "nvme0n1p2", "loop0"
    std::string path;       // what to open: "/dev/sda1"
    std::uint64_t size = 0; // bytes
    std::string model;      // "WDC WD5000AAKX-0", a loop device's file; may be empty
    bool partition = false; // a partition of the disk listed before it
    bool removable = false;
    std::vector<std::string> mountPoints;  // where its file system is mounted
};

// The devices under `sysBlock` (a folder laid out as /sys/block), each disk
// followed by its partitions, disks in name order; devices of no size (a
// card reader without a card, an unused loop device) and memory disks (ram,
// zram) are left out. A device's path is `deviceFolder` + its name; its
// mount points are those of `mounts` on its device number.
std::vector<BlockDevice> ListBlockDevices(const std::string& sysBlock, const std::string& deviceFolder,
                                          const std::vector<MountEntry>& mounts);

// This machine's disks and partitions, with their mount points.
std::vector<BlockDevice> ListBlockDevices();

} // namespace platform
