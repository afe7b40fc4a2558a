#include "platform/ImageFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

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

int DenyOpen(const char*, int)
{
    errno = EACCES;
    return -1;
}

} // namespace

TEST(ImageFile, OpensFilesAndTellsWhyNot)
{
    TempDir dir;
    WriteFile(dir.File("disk.img"), Counting(5000));
    WriteFile(dir.File("empty.img"), "");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    platform::ImageFile image;
    using E = platform::ImageFile::OpenError;
    const struct {
        std::string path;
        E error;
    } refused[] = {
        {dir.File("missing.img"), E::kMissing},
        {dir.File("empty.img"), E::kEmpty},
        {dir.File("pipe"), E::kNotFileOrDisk},  // and does not block
        {dir.Path().string(), E::kNotFileOrDisk},
        {"/dev/null", E::kNotFileOrDisk},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.path);
        EXPECT_FALSE(image.Open(r.path));
        EXPECT_EQ(image.LastOpenError(), r.error);
        EXPECT_FALSE(image.IsOpen());
    }
    ASSERT_TRUE(image.Open(dir.File("disk.img")));
    EXPECT_EQ(image.Size(), 5000u);
    EXPECT_EQ(image.SectorSize(), 512u);
    EXPECT_FALSE(image.IsDevice());

    // The user may not read it: a seam, since tests run as root.
    platform::ImageFile::SetOpenForTesting(&DenyOpen);
    EXPECT_FALSE(image.Open(dir.File("disk.img")));
    platform::ImageFile::SetOpenForTesting(nullptr);
    EXPECT_EQ(image.LastOpenError(), E::kNoPermission);
    EXPECT_EQ(image.OpenErrno(), EACCES);
}

TEST(ImageFile, ReadsAnyRangeClippedToTheEnd)
{
    TempDir dir;
    const std::string bytes = Counting(10000);
    WriteFile(dir.File("disk.img"), bytes);
    platform::ImageFile image;
    ASSERT_TRUE(image.Open(dir.File("disk.img")));
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

TEST(ImageFile, NeverWritesTheImage)
{
    TempDir dir;
    const std::string path = dir.File("disk.img");
    WriteFile(path, Counting(3 * 4096 + 17));
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    {
        platform::ImageFile image;
        ASSERT_TRUE(image.Open(path));
        std::string out(4096, '\0');
        for (std::uint64_t at = 0; at < image.Size(); at += 4096)
            image.ReadSequential(at, out.data(), out.size());
    }
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(testsupport::ReadFile(path), Counting(3 * 4096 + 17));
}
