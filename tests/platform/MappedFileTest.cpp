#include "platform/MappedFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::WriteFile;

// --- opening ------------------------------------------------------------------

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

// --- descriptors and a file that changes --------------------------------------------

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
