// Folders, mapped files and mounts as the search and the reader meet them.

#include "platform/Directory.h"
#include "platform/FolderList.h"
#include "platform/MappedFile.h"
#include "platform/Mounts.h"

#include "support/DeepFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// --- reading a directory ---------------------------------------------------------

// Reads the directory at `path` as the search does; the error of the
// opening or the reading, or 0.
int ReadAt(const std::string& path, bool followLink, platform::NameFilter keep, platform::DirectoryListing& out,
           platform::DirectoryId* id = nullptr)
{
    out = {};
    platform::DirectoryHandle dir;
    if (const int error = dir.Open(path, followLink))
        return error;
    if (id)
        *id = dir.Id();
    return dir.Read(keep, out);
}

} // namespace

TEST(Directory, ListsKindsAndSizesWithoutFollowingLinksAndFiltersOnlyNonDirectories)
{
    using K = platform::EntryKind;
    TempDir dir;
    fs::create_directories(dir.Path() / "sub");
    fs::create_directories(dir.Path() / "not-x-dir");
    WriteFile(dir.File("a.dbx"), "12345");
    WriteFile(dir.File("b.txt"), "");
    fs::create_directory_symlink(dir.File("sub"), dir.File("link-to-dir.x"));
    fs::create_symlink(dir.File("a.dbx"), dir.File("link-to-file.x"));
    fs::create_symlink(dir.File("gone"), dir.File("dangling.x"));
    ASSERT_EQ(::mkfifo(dir.File("pipe.x").c_str(), 0600), 0);

    platform::DirectoryListing listing;
    platform::DirectoryId top;
    ASSERT_EQ(ReadAt(dir.Path().string(), false, nullptr, listing, &top), 0);
    EXPECT_EQ(Kinds(listing), (std::map<std::string, K>{{"sub", K::kDirectory},
                                                         {"not-x-dir", K::kDirectory},
                                                         {"a.dbx", K::kFile},
                                                         {"b.txt", K::kFile},
                                                         {"link-to-dir.x", K::kLink},
                                                         {"link-to-file.x", K::kLink},
                                                         {"dangling.x", K::kLink},
                                                         {"pipe.x", K::kOther}}));
    // A dangling link is no error: it names nothing to read.
    ASSERT_EQ(ReadAt(dir.Path().string(), false, &EndsInX, listing), 0);
    std::map<std::string, std::optional<std::uint64_t>> sizes;
    for (const auto& e : listing.entries)
        sizes[e.name] = e.fileSize;
    // Directories always; of the rest only what the filter keeps, sized
    // when it is (or leads to) a regular file.
    EXPECT_EQ(sizes, (std::map<std::string, std::optional<std::uint64_t>>{{"a.dbx", 5},
                                                                           {"sub", std::nullopt},
                                                                           {"not-x-dir", std::nullopt},
                                                                           {"link-to-dir.x", std::nullopt},
                                                                           {"link-to-file.x", 5},
                                                                           {"dangling.x", std::nullopt},
                                                                           {"pipe.x", std::nullopt}}));

    // A link to a directory is opened only when asked to follow it, and then
    // is the directory it leads to; a child is never opened through a link.
    platform::DirectoryId viaLink, real;
    EXPECT_NE(ReadAt(dir.File("link-to-dir.x"), false, nullptr, listing), 0);
    EXPECT_TRUE(listing.entries.empty());
    ASSERT_EQ(ReadAt(dir.File("link-to-dir.x"), true, nullptr, listing, &viaLink), 0);
    ASSERT_EQ(ReadAt(dir.File("sub"), false, nullptr, listing, &real), 0);
    EXPECT_EQ(viaLink, real);
    EXPECT_FALSE(real == top);
    platform::DirectoryHandle parent, child, back;
    ASSERT_EQ(parent.Open(dir.Path().string(), false), 0);
    EXPECT_NE(child.OpenChild(parent, "link-to-dir.x"), 0);
    ASSERT_EQ(child.OpenChild(parent, "sub"), 0);
    EXPECT_EQ(child.Id(), real);
    ASSERT_EQ(back.OpenParentOf(child), 0);
    EXPECT_EQ(back.Id(), top);

    const struct {
        std::string path;
        int error;
    } bad[] = {{dir.File("missing"), ENOENT}, {dir.File("a.dbx"), ENOTDIR}, {std::string(5000, 'a'), ENAMETOOLONG}};
    for (const auto& b : bad)
        EXPECT_EQ(ReadAt(b.path, true, nullptr, listing), b.error) << b.path.substr(0, 40);

    // The size of a regular file, also through a link; of nothing else.
    EXPECT_EQ(platform::RegularFileSize(dir.File("a.dbx")), 5u);
    EXPECT_EQ(platform::RegularFileSize(dir.File("link-to-file.x")), 5u);
    for (const char* name : {"pipe.x", "dangling.x", "sub", "missing.dbx", ""})
        EXPECT_EQ(platform::RegularFileSize(dir.File(name)), std::nullopt) << name;
}

// --- paths longer than PATH_MAX ---------------------------------------------------------

TEST(Directory, PathsLongerThanPathMaxAreOpenedAndReadInPieces)
{
    TempDir dir;
    // 30 folders of 200 bytes: a path of some 6,000 bytes, with a link and a
    // ".." on the way that must mean what they mean in a whole path.
    const testsupport::DeepFolder deep(dir.Path().string(), std::string(200, 'd'), 30);
    ASSERT_GT(deep.path.size(), static_cast<std::size_t>(PATH_MAX));
    ASSERT_EQ(::symlinkat(".", deep.Fd(), "here"), 0);
    testsupport::WriteFileAt(deep.Fd(), "Deep.dbx", "123456");
    const std::string file = deep.path + "/here/../" + deep.Last() + "/Deep.dbx";

    EXPECT_EQ(platform::RegularFileSize(file), 6u);
    struct stat st;
    EXPECT_EQ(platform::StatDeep(deep.path + "/here", st, false), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    platform::MappedFile mapped;
    ASSERT_TRUE(mapped.Open(file));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped.Data()), 6), "123456");
    EXPECT_EQ(mapped.ReadableSize(), 6u);
    EXPECT_TRUE(platform::IsFolder(deep.path));
    EXPECT_FALSE(platform::Exists(deep.path + "/nothing"));

    platform::DirectoryListing listing;
    ASSERT_EQ(ReadAt(deep.path, false, nullptr, listing), 0);
    EXPECT_EQ(Kinds(listing).size(), 2u);
    // One name longer than a piece can be is refused as too long.
    const int fd = platform::OpenDeep(dir.File(std::string(PATH_MAX + 10, 'x')), O_RDONLY);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST(Directory, PathsJoinWithOneSeparator)
{
    EXPECT_EQ(platform::ChildPath("/", "home"), "/home");
    EXPECT_EQ(platform::ChildPath("/home", "me"), "/home/me");
    EXPECT_EQ(platform::ChildPath("rel/", "x.dbx"), "rel/x.dbx");
    EXPECT_EQ(platform::ShownDirectoryPath("/"), "/");
    EXPECT_EQ(platform::ShownDirectoryPath("/mnt/win"), "/mnt/win");
}

// --- mapped files -------------------------------------------------------------------

TEST(MappedFile, MapsWholeRegularFilesOnly)
{
    TempDir dir;
    WriteFile(dir.File("a.dbx"), "0123456789");
    WriteFile(dir.File("b.dbx"), "bbbbbbbb");
    WriteFile(dir.File("empty.dbx"), "");
    ASSERT_EQ(::mkfifo(dir.File("fifo.dbx").c_str(), 0600), 0);
    platform::MappedFile file;
    ASSERT_TRUE(file.Open(dir.File("a.dbx")));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), 10), "0123456789");
    ASSERT_TRUE(file.Open(dir.File("b.dbx")));  // the first mapping is released
    EXPECT_EQ(file.Size(), 8u);

    platform::MappedFile moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_EQ(moved.Size(), 0u);

    // Nor a folder (""), nor a FIFO, which must not block either.
    ASSERT_TRUE(file.Open(dir.File("a.dbx")));
    for (const char* name : {"missing.dbx", "empty.dbx", "", "fifo.dbx"}) {
        EXPECT_FALSE(file.Open(dir.File(name))) << name;
        EXPECT_FALSE(file.IsOpen()) << "a failed open leaves it closed";
    }
}

TEST(MappedFile, KeepsNoDescriptorOpenSoAnyNumberOfFilesCanBeMapped)
{
    TempDir dir;
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<platform::MappedFile> files(100);
    bool allOpen = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string path = dir.File(std::to_string(i) + ".dbx");
        WriteFile(path, "mail " + std::to_string(i));
        allOpen = files[i].Open(path) && allOpen;
    }
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_TRUE(allOpen);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(files[99].Data()), 7), "mail 99");
}

TEST(MappedFile, ReadableSizeFollowsTheMappedFileOnly)
{
    TempDir dir;
    const std::string path = dir.File("a.dbx");
    WriteFile(path, std::string(10000, 'a'));
    platform::MappedFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(file.ReadableSize(), 10000u);
    ASSERT_EQ(::truncate(path.c_str(), 3000), 0);
    EXPECT_EQ(file.ReadableSize(), 3000u);
    ASSERT_EQ(::truncate(path.c_str(), 20000), 0);
    EXPECT_EQ(file.ReadableSize(), 10000u);  // never more than is mapped
    // A fresh copy renamed over it (as a mail client compacting a folder
    // does) leaves the mapped file as it was.
    WriteFile(dir.File("b.dbx"), "new");
    std::filesystem::rename(dir.File("b.dbx"), path);
    EXPECT_EQ(file.ReadableSize(), 10000u);
    file.Close();
    EXPECT_EQ(file.ReadableSize(), 0u);
}

// --- mounts --------------------------------------------------------------------------

namespace {

// A machine with a Windows partition, a USB disk mounted twice, one that
// udisks mounted under /run/media, a ZFS dataset, a bind mount, snaps, a
// btrfs /home subvolume and the usual memory, pseudo and network mounts.
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
    "40 27 8:49 / /run/media/me/USB\\040STICK rw - vfat /dev/sdd1 rw\n"
    "41 27 0:50 / /run/user/1000 rw - tmpfs tmpfs rw\n"
    "42 41 0:51 / /run/user/1000/doc rw - fuse.portal portal rw\n"
    "43 23 0:52 / /dev/shm rw - tmpfs tmpfs rw\n"
    "44 26 0:53 / /tank/mail rw - zfs tank/mail rw\n"
    "45 26 0:54 / /media/enc rw - fuse.gocryptfs /home/me/.enc rw\n"
    "46 22 0:55 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
    "47 26 0:56 / /mnt/share rw - cifs //server/share rw\n"
    "48 26 254:0 / /mnt/odd rw - minix /dev/mapper/odd rw\n"
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
    ASSERT_EQ(mounts.size(), 25u);  // the two bad lines are left out
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

TEST(Mounts, LocalDisksAreKnownByTypeOrBlockDeviceWhereverTheyAreMounted)
{
    std::vector<std::string> local;
    for (const auto& m : platform::ParseMountInfo(kMountInfo))
        if (platform::IsLocalDisk(m, &FromDev))
            local.push_back(m.mountPoint);
    // Not memory (/run, /tmp, /dev/shm, /run/user), kernel, network or FUSE
    // file systems without a device, nor software images (the snap).
    EXPECT_EQ(local, (std::vector<std::string>{"/", "/boot/efi", "/mnt/Windows Disk", "/media/usb", "/media/usb-again",
                                               "/data", "/home", "/elsewhere", "/run/media/me/USB STICK", "/tank/mail",
                                               "/mnt/odd"}));
    // The ZFS dataset by its type alone; the minix disk by its device alone.
    EXPECT_TRUE(platform::IsLocalDisk(platform::ParseMountInfo(kMountInfo)[20], [](const std::string&) { return false; }));
    EXPECT_FALSE(platform::IsLocalDisk(platform::ParseMountInfo(kMountInfo)[24], [](const std::string&) { return false; }));
}

TEST(Mounts, DrivesAreTheRootAndEachLocalDiskOnce)
{
    EXPECT_EQ(platform::DriveRootsFrom(platform::ParseMountInfo(kMountInfo), &FromDev),
              (std::vector<std::string>{"/", "/boot/efi/", "/mnt/Windows Disk/", "/media/usb/", "/home/",
                                        "/run/media/me/USB STICK/", "/tank/mail/", "/mnt/odd/"}));
    EXPECT_EQ(platform::DriveRootsFrom({}, &FromDev), (std::vector<std::string>{"/"}));
    const auto here = platform::LogicalDriveRoots();
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(here.front(), "/");
}
