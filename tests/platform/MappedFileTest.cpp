#include "platform/GuardedRead.h"
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

TEST(MappedFile, MapsAWholeRegularFile)
{
    TempDir dir;
    WriteFile(dir.File("a.dbx"), "0123456789");
    platform::MappedFile file;
    ASSERT_TRUE(file.Open(dir.File("a.dbx")));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), 10), "0123456789");

    platform::MappedFile moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_EQ(moved.Size(), 0u);
}

TEST(MappedFile, RefusesWhatCannotBeMapped)
{
    TempDir dir;
    WriteFile(dir.File("empty.dbx"), "");
    ASSERT_EQ(::mkfifo(dir.File("fifo.dbx").c_str(), 0600), 0);
    platform::MappedFile file;
    EXPECT_FALSE(file.Open(dir.File("missing.dbx")));
    EXPECT_FALSE(file.Open(dir.File("empty.dbx")));
    EXPECT_FALSE(file.Open(dir.Path().string()));      // a directory
    EXPECT_FALSE(file.Open(dir.File("fifo.dbx")));     // must not block either
    EXPECT_FALSE(file.IsOpen());
}

TEST(MappedFile, ReopeningReleasesTheFirstMapping)
{
    TempDir dir;
    WriteFile(dir.File("a.dbx"), "aaaa");
    WriteFile(dir.File("b.dbx"), "bbbbbbbb");
    platform::MappedFile file;
    ASSERT_TRUE(file.Open(dir.File("a.dbx")));
    ASSERT_TRUE(file.Open(dir.File("b.dbx")));
    EXPECT_EQ(file.Size(), 8u);
    EXPECT_FALSE(file.Open(dir.File("missing.dbx")));
    EXPECT_FALSE(file.IsOpen());  // a failed open leaves it closed
}

// --- a file that shrinks while mapped ---------------------------------------------

TEST(GuardedRead, ReadsPastTheNewEndFailQuietly)
{
    TempDir dir;
    const std::string path = dir.File("shrinks.dbx");
    WriteFile(path, std::string(64 * 1024, 'm'));
    platform::MappedFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);

    char buffer[512];
    EXPECT_TRUE(platform::GuardedCopy(buffer, file.Data() + 1024, sizeof buffer, file.Data(), file.Size()));
    EXPECT_EQ(buffer[0], 'm');
    EXPECT_FALSE(platform::GuardedCopy(buffer, file.Data() + 32 * 1024, sizeof buffer, file.Data(), file.Size()));
    // The guard is usable again after a fault, and repeatedly.
    EXPECT_FALSE(platform::GuardedCopy(buffer, file.Data() + 60 * 1024, sizeof buffer, file.Data(), file.Size()));
    EXPECT_TRUE(platform::GuardedCopy(buffer, file.Data(), sizeof buffer, file.Data(), file.Size()));

    int reached = 0;
    auto walk = [&] {
        for (std::size_t at = 0; at < file.Size(); at += 4096, ++reached)
            (void)*static_cast<const volatile std::uint8_t*>(file.Data() + at);
    };
    EXPECT_FALSE(platform::Guarded(file.Data(), file.Size(), walk));
    EXPECT_EQ(reached, 1);
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
    std::vector<platform::MappedFile> files(300);
    bool allOpen = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string path = dir.File(std::to_string(i) + ".dbx");
        WriteFile(path, "mail " + std::to_string(i));
        allOpen = files[i].Open(path) && allOpen;
    }
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_TRUE(allOpen);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(files[299].Data()), 8), "mail 299");
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
