#include "platform/BlockDevices.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

namespace platform {

namespace {

namespace fs = std::filesystem;

// The first line of a small file of sysfs, without the spaces around it;
// empty when it cannot be read.
std::string ReadLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    const auto notSpace = [](unsigned char c) { return c > ' '; };
    const auto first = std::find_if(line.begin(), line.end(), notSpace);
    const auto last = std::find_if(line.rbegin(), line.rend(), notSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

// A decimal number of at most 19 digits; 0 for anything else.
std::uint64_t Decimal(std::string_view text)
{
    std::uint64_t value = 0;
    if (text.size() > 19)
        return 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::uint64_t ReadNumber(const fs::path& file)
{
    return Decimal(ReadLine(file));
}

// The device number in a "dev" file ("8:1"); 0 when there is none.
std::uint64_t ReadDeviceNumber(const fs::path& file)
{
    const std::string text = ReadLine(file);
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return 0;
    const std::string_view major = std::string_view(text).substr(0, colon);
    const std::string_view minor = std::string_view(text).substr(colon + 1);
    if (major.empty() || minor.empty() || major.size() > 9 || minor.size() > 9)
        return 0;
    return DeviceNumber(Decimal(major), Decimal(minor));
}

// What tells a disk from another: its model, a memory card's name, the
// file behind a loop device, a mapped device's name.
std::string ModelOf(const fs::path& dir)
{
    for (const char* file : {"device/model", "device/name", "loop/backing_file", "dm/name"}) {
        std::string text = ReadLine(dir / file);
        if (!text.empty()) {
            const std::string vendor = file == std::string("device/model") ? ReadLine(dir / "device/vendor") : "";
            return vendor.empty() || text.starts_with(vendor) ? text : vendor + " " + text;
        }
    }
    return {};
}

BlockDevice Describe(const fs::path& dir, const std::string& name, const std::string& deviceFolder,
                     const std::vector<MountEntry>& mounts)
{
    BlockDevice d;
    d.name = name;
    d.path = deviceFolder + name;
    // The kernel counts in 512-byte units whatever the sector size.
    d.size = ReadNumber(dir / "size") * 512;
    d.removable = ReadLine(dir / "removable") == "1";
    if (const std::uint64_t number = ReadDeviceNumber(dir / "dev"); number != 0) {
        for (const MountEntry& m : mounts)
            if (m.device == number && std::find(d.mountPoints.begin(), d.mountPoints.end(), m.mountPoint) ==
                                          d.mountPoints.end())
                d.mountPoints.push_back(m.mountPoint);
    }
    return d;
}

bool IsMemoryDisk(const std::string& name)
{
    return name.starts_with("ram") || name.starts_with("zram");
}

} // namespace

std::vector<BlockDevice> ListBlockDevices(const std::string& sysBlock, const std::string& deviceFolder,
                                          const std::vector<MountEntry>& mounts)
{
    std::vector<BlockDevice> devices;
    std::error_code ec;
    std::vector<std::string> disks;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysBlock, ec))
        disks.push_back(entry.path().filename().string());
    std::sort(disks.begin(), disks.end());
    for (const std::string& name : disks) {
        const fs::path dir = fs::path(sysBlock) / name;
        if (IsMemoryDisk(name))
            continue;
        BlockDevice disk = Describe(dir, name, deviceFolder, mounts);
        if (disk.size == 0)
            continue;
        disk.model = ModelOf(dir);
        devices.push_back(disk);
        // Its partitions: the folders with a "partition" file, by number.
        std::vector<std::pair<std::uint64_t, std::string>> parts;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
            if (entry.is_directory(ec) && fs::exists(entry.path() / "partition", ec))
                parts.emplace_back(ReadNumber(entry.path() / "partition"), entry.path().filename().string());
        }
        std::sort(parts.begin(), parts.end());
        for (const auto& [number, part] : parts) {
            BlockDevice p = Describe(dir / part, part, deviceFolder, mounts);
            if (p.size == 0)
                continue;
            p.partition = true;
            p.removable = disk.removable;
            devices.push_back(std::move(p));
        }
    }
    return devices;
}

std::vector<BlockDevice> ListBlockDevices()
{
#ifdef _WIN32
    return {};
#else
    return ListBlockDevices("/sys/block", "/dev/", ReadMountTable());
#endif
}

} // namespace platform
