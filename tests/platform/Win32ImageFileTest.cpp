// The image reader's and the sparse writer's Win32 branches: opening errors
// told as on POSIX systems, reads at 64-bit offsets (past 4 GiB, where an
// offset needs both halves of an OVERLAPPED), bad sectors, nothing written.

#include "platform/FsPath.h"
#include "platform/ImageFile.h"
#include "platform/SparseFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Counting(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

} // namespace

TEST(Win32ImageFile, OpensFilesAndTellsWhyNotInTheSameWords)
{
    TempDir dir;
    WriteFile(dir.File("disk.img"), Counting(5000));
    WriteFile(dir.File("empty.img"), "");
    platform::ImageFile image;
    using E = platform::ImageFile::OpenError;
    const struct {
        std::string path;
        E error;
    } refused[] = {
        {dir.File("missing.img"), E::kMissing},
        {dir.File("no folder\\missing.img"), E::kMissing},
        {dir.File("empty.img"), E::kEmpty},
        {dir.Path().string(), E::kNotFileOrDisk},
        {"NUL", E::kNotFileOrDisk},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.path);
        EXPECT_FALSE(image.Open(r.path));
        EXPECT_EQ(image.LastOpenError(), r.error);
        EXPECT_FALSE(image.IsOpen());
    }
    EXPECT_FALSE(image.Open(dir.File("missing.img")));
    EXPECT_EQ(image.OpenErrno(), ENOENT);  // an errno value, for strerror
    ASSERT_TRUE(image.Open(dir.File("disk.img")));
    EXPECT_EQ(image.Size(), 5000u);
    EXPECT_EQ(image.SectorSize(), 512u);
    EXPECT_FALSE(image.IsDevice());
}

TEST(Win32ImageFile, ReadsPastFourGibibytesWhereTheBytesAre)
{
    TempDir dir;
    const std::string path = dir.File("large.img");
    constexpr std::uint64_t kFar = (5ull << 30) + 3;
    {
        platform::SparseFile sparse;
        ASSERT_TRUE(sparse.Create(path));
        ASSERT_TRUE(sparse.WriteAt(0, "head", 4));
        ASSERT_TRUE(sparse.WriteAt(kFar, "tail", 4));
        ASSERT_TRUE(sparse.Finish(kFar + 100));
    }
    platform::SparseFile again;
    EXPECT_FALSE(again.Create(path));  // never over a file that exists

    platform::ImageFile image;
    ASSERT_TRUE(image.Open(path));
    ASSERT_EQ(image.Size(), kFar + 100);
    const struct {
        std::uint64_t pos;
        std::size_t n;
        std::string bytes;
    } reads[] = {
        {0, 4, "head"},
        {kFar, 4, "tail"},
        {kFar - 2, 6, std::string(2, '\0') + "tail"},
        {4ull << 30, 3, std::string(3, '\0')},  // the low half of the offset is 0
        {kFar + 98, 10, std::string(2, '\0')},   // clipped to the end
        {kFar + 100, 5, ""},
    };
    for (const auto& r : reads) {
        std::string out(r.n, '?');
        EXPECT_EQ(image.ReadAt(r.pos, out.data(), r.n), r.bytes.size()) << r.pos;
        EXPECT_EQ(out.substr(0, r.bytes.size()), r.bytes) << r.pos;
    }
}

TEST(Win32ImageFile, BadSectorsReadAsZerosAndTheImageIsNeverWritten)
{
    TempDir dir;
    const std::string path = dir.File("disk.img");
    const std::string bytes = Counting(8 * 512);
    WriteFile(path, bytes);
    WIN32_FILE_ATTRIBUTE_DATA before{};
    ASSERT_TRUE(GetFileAttributesExW(platform::ToFsPath(path).c_str(), GetFileExInfoStandard, &before));
    {
        platform::ImageFile image;
        ASSERT_TRUE(image.Open(path));
        image.FailSectorsForTesting([](std::uint64_t sector) { return sector == 2 || sector == 5; });
        std::string out(bytes.size(), '?');
        std::size_t at = 0;
        while (at < out.size())
            at += image.ReadSequential(at, out.data() + at, 1000);
        for (std::size_t s = 0; s < 8; ++s) {
            const std::string expected = s == 2 || s == 5 ? std::string(512, '\0') : bytes.substr(s * 512, 512);
            EXPECT_EQ(out.substr(s * 512, 512), expected) << "sector " << s;
        }
        EXPECT_EQ(image.UnreadableSectors(), (std::vector<std::uint64_t>{2, 5}));
    }
    WIN32_FILE_ATTRIBUTE_DATA after{};
    ASSERT_TRUE(GetFileAttributesExW(platform::ToFsPath(path).c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime), 0);
    EXPECT_EQ(testsupport::ReadFile(path), bytes);
}
