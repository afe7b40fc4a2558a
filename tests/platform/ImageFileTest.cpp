// The image reader on both systems (on Windows under Wine in the cross
// build): opening errors told in the same words, reads anywhere (past 4 GiB
// on Windows, where an offset needs both halves of an OVERLAPPED), bad
// sectors, nothing written.

#include "platform/ImageFile.h"
#include "platform/SparseFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

#ifndef _WIN32
int DenyOpen(const char*, int)
{
    errno = EACCES;
    return -1;
}
#endif

} // namespace

TEST(ImageFile, OpensFilesAndTellsWhyNot)
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
        {dir.File("empty.img"), E::kEmpty},
        {dir.Path().string(), E::kNotFileOrDisk},
#ifdef _WIN32
        {dir.File("no folder\\missing.img"), E::kMissing},
        {"NUL", E::kNotFileOrDisk},
#else
        {dir.File("pipe"), E::kNotFileOrDisk},  // and does not block
        {"/dev/null", E::kNotFileOrDisk},
#endif
    };
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
#endif
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

#ifndef _WIN32
    // The user may not read it: a seam, since tests run as root.
    platform::ImageFile::SetOpenForTesting(&DenyOpen);
    EXPECT_FALSE(image.Open(dir.File("disk.img")));
    platform::ImageFile::SetOpenForTesting(nullptr);
    EXPECT_EQ(image.LastOpenError(), E::kNoPermission);
    EXPECT_EQ(image.OpenErrno(), EACCES);
#endif
}

TEST(ImageFile, ReadsAnyRangeClippedToTheEndAndNeverWritesTheImage)
{
    TempDir dir;
    const std::string path = dir.File("disk.img");
    const std::string bytes = Counting(10000);
    WriteFile(path, bytes);
    const auto written = std::filesystem::last_write_time(path);
    {
        platform::ImageFile image;
        ASSERT_TRUE(image.Open(path));
        const struct {
            std::uint64_t pos;
            std::size_t n, expected;
        } reads[] = {{0, 10, 10}, {511, 2, 2}, {9990, 100, 10}, {10000, 5, 0}, {1ull << 40, 5, 0}, {3, 9997, 9997}};
        for (const auto& r : reads) {
            std::string out(r.n, '?');
            EXPECT_EQ(image.ReadAt(r.pos, out.data(), r.n), r.expected) << r.pos;
            EXPECT_EQ(out.substr(0, r.expected), bytes.substr(std::min<std::uint64_t>(r.pos, bytes.size()), r.expected));
        }
        // The sequential pass reads the same bytes.
        std::string whole(bytes.size(), '\0');
        std::size_t at = 0;
        while (at < whole.size())
            at += image.ReadSequential(at, whole.data() + at, 4096);
        EXPECT_EQ(whole, bytes);
        EXPECT_TRUE(image.UnreadableSectors().empty());
    }
    EXPECT_EQ(std::filesystem::last_write_time(path), written);
    EXPECT_EQ(testsupport::ReadFile(path), bytes);
}

TEST(ImageFile, BadSectorsReadAsZerosAndAreCountedOnce)
{
    TempDir dir;
    const std::string bytes = Counting(8 * 512);
    WriteFile(dir.File("disk.img"), bytes);
    platform::ImageFile image;
    ASSERT_TRUE(image.Open(dir.File("disk.img")));
    image.FailSectorsForTesting([](std::uint64_t sector) { return sector == 2 || sector == 5; });
    std::string out(bytes.size(), '?');
    ASSERT_EQ(image.ReadSequential(0, out.data(), out.size()), bytes.size());
    for (std::size_t s = 0; s < 8; ++s) {
        const std::string expected = s == 2 || s == 5 ? std::string(512, '\0') : bytes.substr(s * 512, 512);
        EXPECT_EQ(out.substr(s * 512, 512), expected) << "sector " << s;
    }
    // Read again, partly: the same sectors, listed once.
    ASSERT_EQ(image.ReadAt(1000, out.data(), 2000), 2000u);
    EXPECT_EQ(image.UnreadableSectors(), (std::vector<std::uint64_t>{2, 5}));
    EXPECT_TRUE(image.HasUnreadable(1535, 1));
    EXPECT_TRUE(image.HasUnreadable(0, 1025));
    EXPECT_FALSE(image.HasUnreadable(0, 1024));
    EXPECT_FALSE(image.HasUnreadable(1536, 1024));
}

#ifdef _WIN32
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
#endif
