#include "platform/Mounts.h"

#include <algorithm>
#include <array>
#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace platform {

namespace {

// mountinfo writes space, tab, newline and backslash in names as \ooo.
std::string Unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool ParseUnsigned(std::string_view text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

bool HasOption(std::string_view options, std::string_view wanted)
{
    while (!options.empty()) {
        const std::size_t comma = options.find(',');
        if (options.substr(0, comma) == wanted)
            return true;
        if (comma == std::string_view::npos)
            break;
        options.remove_prefix(comma + 1);
    }
    return false;
}

// The mount shows a whole file system (or a whole btrfs subvolume), not a
// directory of one bound elsewhere.
bool IsWholeFileSystem(const MountEntry& mount)
{
    return mount.root == "/" || HasOption(mount.superOptions, "subvol=" + mount.root);
}

// File systems that live on a local disk, searched wherever they are
// mounted (udisks puts removable disks under /run/media/$USER). Most name
// a block device as their source and would be found by it anyway; the list
// also catches those that do not (a ZFS dataset names its pool) and sources
// that cannot be checked from here (a container that shows no /dev).
constexpr std::array<std::string_view, 22> kLocalDiskTypes{
    // Linux disks.
    "ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "jfs", "reiserfs", "nilfs2", "bcachefs",
    // ZFS: the source is "pool/dataset", never a device.
    "zfs",
    // Windows disks, USB sticks and memory cards, where old mail usually is:
    // the kernel drivers, and FUSE drivers on a device (ntfs-3g, exfat-fuse).
    "vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk",
    // Mac disks.
    "hfs", "hfsplus", "apfs",
    // CDs and DVDs, where mail was backed up.
    "iso9660", "udf"};

// Block-backed all the same, but software images (snaps, live systems)
// that never hold mail: searching each of dozens of snaps is only slow.
constexpr std::array<std::string_view, 2> kImageTypes{"squashfs", "erofs"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

} // namespace

std::uint64_t DeviceNumber(std::uint64_t major, std::uint64_t minor)
{
#ifdef _WIN32
    return (major << 32) | minor;
#else
    return static_cast<std::uint64_t>(makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor)));
#endif
}

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<MountEntry> mounts;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        // id parent major:minor root mount-point options [optional...] - type source super-options
        const std::vector<std::string_view> f = Fields(line);
        const auto dash = std::find(f.begin(), f.end(), std::string_view("-"));
        if (f.size() < 6 || dash == f.end() || dash - f.begin() < 6 || f.end() - dash < 3)
            continue;
        const std::size_t colon = f[2].find(':');
        std::uint64_t major = 0, minor = 0;
        if (colon == std::string_view::npos || !ParseUnsigned(f[2].substr(0, colon), major) ||
            !ParseUnsigned(f[2].substr(colon + 1), minor))
            continue;
        MountEntry m;
        m.device = DeviceNumber(major, minor);
        m.root = Unescape(f[3]);
        m.mountPoint = Unescape(f[4]);
        m.fsType = Unescape(dash[1]);
        m.source = Unescape(dash[2]);
        if (f.end() - dash > 3)
            m.superOptions = Unescape(dash[3]);
        mounts.push_back(std::move(m));
    }
    return mounts;
}

bool IsLocalDisk(const MountEntry& mount, BlockDeviceTest isBlockDevice)
{
    if (Contains(kImageTypes, mount.fsType))
        return false;
    return Contains(kLocalDiskTypes, mount.fsType) || isBlockDevice(mount.source);
}

std::vector<std::string> DriveRootsFrom(const std::vector<MountEntry>& mounts, BlockDeviceTest isBlockDevice)
{
    std::vector<std::string> roots{"/"};
    std::vector<std::uint64_t> devices;
    for (const MountEntry& m : mounts) {
        if (m.mountPoint == "/") {
            devices.push_back(m.device);
            continue;
        }
        if (!IsLocalDisk(m, isBlockDevice) || !IsWholeFileSystem(m))
            continue;
        if (std::find(devices.begin(), devices.end(), m.device) != devices.end())
            continue;
        std::string root = m.mountPoint + "/";
        if (std::find(roots.begin(), roots.end(), root) != roots.end())
            continue;
        devices.push_back(m.device);
        roots.push_back(std::move(root));
    }
    return roots;
}

#ifdef _WIN32

std::vector<MountEntry> ReadMountTable()
{
    return {};
}

bool IsBlockDevice(const std::string&)
{
    return false;
}

std::vector<std::string> LogicalDriveRoots()
{
    // The list is zero-terminated roots ("C:\") ended by an empty one.
    char buffer[1024] = {};
    const DWORD n = GetLogicalDriveStringsA(sizeof buffer - 1, buffer);
    std::vector<std::string> roots;
    if (n == 0 || n >= sizeof buffer)
        return roots;
    for (const char* p = buffer; *p; p += std::strlen(p) + 1) {
        const UINT type = GetDriveTypeA(p);
        if (type != DRIVE_REMOTE && type != DRIVE_NO_ROOT_DIR)
            roots.emplace_back(p);
    }
    return roots;
}

#else

std::vector<MountEntry> ReadMountTable()
{
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseMountInfo(text);
}

bool IsBlockDevice(const std::string& source)
{
    struct stat st;
    return source.starts_with("/dev/") && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

std::vector<std::string> LogicalDriveRoots()
{
    return DriveRootsFrom(ReadMountTable(), &IsBlockDevice);
}

#endif

} // namespace platform
