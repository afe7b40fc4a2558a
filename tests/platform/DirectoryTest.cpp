#include "platform/Directory.h"
#include "platform/Mounts.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/stat.h>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

namespace fs = std::filesystem;

std::map<std::string, platform::EntryKind> Kinds(const platform::DirectoryListing& listing)
{
    std::map<std::string, platform::EntryKind> kinds;
    for (const auto& e : listing.entries)
        kinds[e.name] = e.kind;
    return kinds;
}

bool EndsInX(std::string_view name)
{
    return name.ends_with("x");
}

} // namespace

// --- reading a directory ---------------------------------------------------------

TEST(Directory, ListsKindsWithoutFollowingLinksAndFiltersOnlyNonDirectories)
{
    using K = platform::EntryKind;
    TempDir dir;
    fs::create_directories(dir.Path() / "sub");
    fs::create_directories(dir.Path() / "not-x-dir");
    WriteFile(dir.File("a.dbx"), "12345");
    WriteFile(dir.File("b.txt"), "");
    fs::create_directory_symlink(dir.File("sub"), dir.File("link-to-dir.x"));
    ASSERT_EQ(::mkfifo(dir.File("pipe.x").c_str(), 0600), 0);

    platform::DirectoryListing listing;
    ASSERT_TRUE(platform::ReadDirectory(dir.Path().string(), false, nullptr, listing));
    EXPECT_EQ(Kinds(listing), (std::map<std::string, K>{{"sub", K::kDirectory},
                                                         {"not-x-dir", K::kDirectory},
                                                         {"a.dbx", K::kFile},
                                                         {"b.txt", K::kFile},
                                                         {"link-to-dir.x", K::kLink},
                                                         {"pipe.x", K::kOther}}));
    ASSERT_TRUE(platform::ReadDirectory(dir.Path().string(), false, &EndsInX, listing));
    EXPECT_EQ(Kinds(listing), (std::map<std::string, K>{{"sub", K::kDirectory},
                                                         {"not-x-dir", K::kDirectory},
                                                         {"a.dbx", K::kFile},
                                                         {"link-to-dir.x", K::kLink},
                                                         {"pipe.x", K::kOther}}));

    // A link to a directory is read only when asked to follow it, and then
    // names the directory it leads to.
    platform::DirectoryListing real, viaLink;
    EXPECT_FALSE(platform::ReadDirectory(dir.File("link-to-dir.x"), false, nullptr, viaLink));
    EXPECT_TRUE(viaLink.entries.empty());
    ASSERT_TRUE(platform::ReadDirectory(dir.File("link-to-dir.x"), true, nullptr, viaLink));
    ASSERT_TRUE(platform::ReadDirectory(dir.File("sub"), false, nullptr, real));
    EXPECT_EQ(viaLink.id, real.id);
    EXPECT_FALSE(real.id == listing.id);

    for (const std::string& bad : {dir.File("missing"), dir.File("a.dbx"), std::string(5000, 'a')})
        EXPECT_FALSE(platform::ReadDirectory(bad, true, nullptr, listing)) << bad.substr(0, 40);
}

TEST(Directory, RegularFileSizeFollowsLinksAndRefusesEverythingElse)
{
    TempDir dir;
    WriteFile(dir.File("a.dbx"), "12345");
    fs::create_symlink(dir.File("a.dbx"), dir.File("link.dbx"));
    ASSERT_EQ(::mkfifo(dir.File("pipe.dbx").c_str(), 0600), 0);
    EXPECT_EQ(platform::RegularFileSize(dir.File("a.dbx")), 5u);
    EXPECT_EQ(platform::RegularFileSize(dir.File("link.dbx")), 5u);
    for (const char* name : {"pipe.dbx", "missing.dbx", ""})
        EXPECT_EQ(platform::RegularFileSize(dir.File(name)), std::nullopt) << name;
}

TEST(Directory, PathsJoinWithOneSeparator)
{
    EXPECT_EQ(platform::ChildPath("/", "home"), "/home");
    EXPECT_EQ(platform::ChildPath("/home", "me"), "/home/me");
    EXPECT_EQ(platform::ChildPath("rel/", "x.dbx"), "rel/x.dbx");
    EXPECT_EQ(platform::ShownDirectoryPath("/"), "/");
    EXPECT_EQ(platform::ShownDirectoryPath("/mnt/win"), "/mnt/win");
}

// --- mounts --------------------------------------------------------------------------

namespace {

// A machine with a Windows partition, a USB disk mounted twice, a bind
// mount, snaps, a btrfs /home subvolume and the usual pseudo and network
// mounts.
constexpr const char* kMountInfo =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "22 26 0:21 / /sys rw,relatime - sysfs sysfs rw\n"
    "23 26 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw\n"
    "26 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "27 26 0:24 / /run rw,nosuid shared:5 - tmpfs tmpfs rw\n"
    "28 26 8:2 / /boot/efi rw - vfat /dev/sda2 rw\n"
    "29 26 8:17 / /mnt/Windows\\040Disk rw master:3 - fuseblk /dev/sdb1 rw,user_id=0\n"
    "30 26 8:33 / /media/usb rw - exfat /dev/sdc1 rw\n"
    "31 26 8:33 / /media/usb-again rw - exfat /dev/sdc1 rw\n"
    "32 26 8:1 /srv/data /data rw - ext4 /dev/sda1 rw\n"
    "33 26 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "34 26 0:40 / /mnt/nas rw - nfs4 nas:/export rw\n"
    "35 26 0:41 / /home/me/remote rw - fuse.sshfs me@host:/ rw\n"
    "36 26 0:42 /@home /home rw - btrfs /dev/sda3 rw,subvolid=257,subvol=/@home\n"
    "37 26 0:43 /@home/me/dir /elsewhere rw - btrfs /dev/sda3 rw,subvolid=257,subvol=/@home\n"
    "38 26 0:44 / /tmp rw - tmpfs tmpfs rw\n"
    "garbage line\n"
    "39 26 x:y / /bad rw - ext4 /dev/sdz rw\n";

bool FromDev(const std::string& source)
{
    return source.starts_with("/dev/");
}

} // namespace

TEST(Mounts, MountInfoParsesWithEscapesAndOptionalFields)
{
    const auto mounts = platform::ParseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 16u);  // the two bad lines are left out
    const platform::MountEntry& windows = mounts[6];
    EXPECT_EQ(windows.mountPoint, "/mnt/Windows Disk");
    EXPECT_EQ(windows.fsType, "fuseblk");
    EXPECT_EQ(windows.source, "/dev/sdb1");
    EXPECT_EQ(windows.root, "/");
    EXPECT_EQ(windows.superOptions, "rw,user_id=0");
    struct stat st;
    ASSERT_EQ(::stat("/", &st), 0);
    const auto table = platform::ReadMountTable();
    EXPECT_TRUE(std::any_of(table.begin(), table.end(), [&](const platform::MountEntry& m) {
        return m.mountPoint == "/" && m.device == static_cast<std::uint64_t>(st.st_dev);
    })) << "st_dev and the table's device numbers agree";
}

TEST(Mounts, PseudoAndNetworkMountsAreKnown)
{
    std::vector<std::string> excluded;
    for (const auto& m : platform::ParseMountInfo(kMountInfo))
        if (platform::IsPseudoOrNetwork(m))
            excluded.push_back(m.mountPoint);
    EXPECT_EQ(excluded, (std::vector<std::string>{"/proc", "/sys", "/dev", "/run", "/mnt/nas", "/home/me/remote"}));
}

TEST(Mounts, DrivesAreTheRootAndEachLocalDiskOnce)
{
    EXPECT_EQ(platform::DriveRootsFrom(platform::ParseMountInfo(kMountInfo), &FromDev),
              (std::vector<std::string>{"/", "/boot/efi/", "/mnt/Windows Disk/", "/media/usb/", "/home/"}));
    EXPECT_EQ(platform::DriveRootsFrom({}, &FromDev), (std::vector<std::string>{"/"}));
    const auto here = platform::LogicalDriveRoots();
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(here.front(), "/");
}
