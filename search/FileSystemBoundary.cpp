#include "search/FileSystemBoundary.h"

namespace search {

FileSystemBoundary::FileSystemBoundary(const std::vector<platform::MountEntry>& mounts)
{
    for (const platform::MountEntry& m : mounts) {
        const bool excluded = platform::IsPseudoOrNetwork(m);
        // A later mount at the same place hides the earlier one.
        mountPoints_[m.mountPoint] = excluded;
        if (excluded)
            excludedDevices_.insert(m.device);
    }
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
    return !oneFileSystem && !it->second;
}

bool FileSystemBoundary::MayCross(std::uint64_t device, bool oneFileSystem) const
{
    if (mountPoints_.empty())
        return !oneFileSystem;
    return !excludedDevices_.contains(device);
}

} // namespace search
