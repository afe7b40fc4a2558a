// The disks and partitions a person can choose from, read from a tree laid
// out as /sys/block is.

#include "platform/BlockDevices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// A folder of sysfs: `files` as "relative/path=content" lines.
void Make(const testsupport::TempDir& dir, const std::string& folder, std::initializer_list<const char*> files)
{
    for (const char* entry : files) {
        const std::string line = entry;
        const std::size_t eq = line.find('=');
        const std::filesystem::path path = std::filesystem::path(dir.File("block")) / folder / line.substr(0, eq);
        std::filesystem::create_directories(path.parent_path());
        testsupport::WriteFile(path.string(), line.substr(eq + 1) + "\n");
    }
}

} // namespace

TEST(BlockDevices, DisksThenTheirPartitionsWithSizesModelsAndMountPoints)
{
    testsupport::TempDir dir;
    Make(dir, "sdb", {"size=1000", "dev=8:16", "removable=1", "device/vendor=Kingston", "device/model=DataTraveler  "});
    Make(dir, "sda", {"size=976773168", "dev=8:0", "removable=0", "device/vendor=ATA", "device/model=ATA WDC WD5000"});
    // Partitions by their number, not their name; one of no size left out.
    Make(dir, "sda/sda10", {"size=2048", "dev=8:10", "partition=10"});
    Make(dir, "sda/sda2", {"size=4096", "dev=8:2", "partition=2"});
    Make(dir, "sda/sda3", {"size=0", "dev=8:3", "partition=3"});
    Make(dir, "sda/holders/x", {"size=1"});  // not a partition: no "partition" file
    Make(dir, "loop0", {"size=2048", "dev=7:0", "loop/backing_file=/home/ann/old-disk.img"});
    Make(dir, "loop1", {"size=0", "dev=7:1"});  // unused
    Make(dir, "zram0", {"size=8192", "dev=252:0"});
    Make(dir, "mmcblk0", {"size=64", "dev=179:not a number", "device/name=SD32G"});

    std::vector<platform::MountEntry> mounts(3);
    mounts[0].device = platform::DeviceNumber(8, 2);
    mounts[0].mountPoint = "/home";
    mounts[1].device = platform::DeviceNumber(8, 2);
    mounts[1].mountPoint = "/srv/bind";
    mounts[2].device = platform::DeviceNumber(8, 16);
    mounts[2].mountPoint = "/media/ann/STICK";

    const auto devices = platform::ListBlockDevices(dir.File("block"), "/devfake/", mounts);
    struct Expected {
        const char* name;
        std::uint64_t size;
        const char* model;
        bool partition;
        bool removable;
        std::vector<std::string> mounts;
    } const expected[] = {
        {"loop0", 2048 * 512, "/home/ann/old-disk.img", false, false, {}},
        {"mmcblk0", 64 * 512, "SD32G", false, false, {}},
        {"sda", 976773168ull * 512, "ATA WDC WD5000", false, false, {}},
        {"sda2", 4096 * 512, "", true, false, {"/home", "/srv/bind"}},
        {"sda10", 2048 * 512, "", true, false, {}},
        {"sdb", 1000 * 512, "Kingston DataTraveler", false, true, {"/media/ann/STICK"}},
    };
    ASSERT_EQ(devices.size(), std::size(expected));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(devices[i].name, expected[i].name);
        EXPECT_EQ(devices[i].path, std::string("/devfake/") + expected[i].name);
        EXPECT_EQ(devices[i].size, expected[i].size);
        EXPECT_EQ(devices[i].model, expected[i].model);
        EXPECT_EQ(devices[i].partition, expected[i].partition);
        EXPECT_EQ(devices[i].removable, expected[i].removable);
        EXPECT_EQ(devices[i].mountPoints, expected[i].mounts);
    }
    EXPECT_TRUE(platform::ListBlockDevices(dir.File("none"), "/dev/", mounts).empty());
}
