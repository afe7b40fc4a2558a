#include "search/FileSystemBoundary.h"

namespace search {

FileSystemBoundary::FileSystemBoundary(const std::vector<platform::MountEntry>& mounts,
                                       platform::BlockDeviceTest isBlockDevice)
{
    std::unordered_set<std::uint64_t> localDevices;
    for (const platform::MountEntry& m : mounts) {
        const bool local = platform::IsLocalDisk(m, isBlockDevice);
        // A later mount at the same place hides the earlier one.
        mountPoints_[m.mountPoint] = local;
        (local ? localDevices : excludedDevices_).insert(m.device);
    }
    // A device mounted as a local disk anywhere is one.
    for (std::uint64_t device : localDevices)
        excludedDevices_.erase(device);
}

FileSystemBoundary FileSystemBoundary::OfThisSystem()
{
    return FileSystemBoundary(platform::ReadMountTable());
}

bool FileSystemBoundary::MayEnter(const std::string& canonicalPath, bool oneFileSystem) const
{
    if (mountPoints_.empty())
        return true;
    const auto it = mountPoints_.find(canonicalPath);
    if (it == mountPoints_.end())
        return true;
    return !oneFileSystem && it->second;
}

bool FileSystemBoundary::MayCross(std::uint64_t device, bool oneFileSystem) const
{
    if (mountPoints_.empty())
        return !oneFileSystem;
    return !excludedDevices_.contains(device);
}

} // namespace search
