// A mail file of more than 4 GiB, sparse so that it costs no disk: blocks
// just below and across the 2 GiB mark, near the top of what a 32-bit
// offset can name, and past 4 GiB where no header can name its position.

#include "DbxTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using dbx::BlockRef;

namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

// Writes a block header and its payload at `at` (64-bit) of an open file.
void PutBlock(int fd, std::uint64_t at, std::uint32_t self, std::string_view payload, std::uint32_t next)
{
    dbxgen::DbxImage block;
    block.PutLiveBlock(0, payload, next);
    block.PutU32(0, self);
    ASSERT_EQ(::pwrite(fd, block.Bytes().data(), block.Size(), static_cast<off_t>(at)),
              static_cast<ssize_t>(block.Size()));
}

} // namespace

TEST(LargeFile, EveryPositionAThirtyTwoBitOffsetNamesIsScannedAndNoMore)
{
    if (sizeof(void*) < 8)
        GTEST_SKIP() << "a 4 GiB file cannot be mapped whole here";
    testsupport::TempDir dir;
    const std::string path = dir.File("huge.dbx");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::uint64_t size = 4 * kGiB + 64 * 1024;
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);

    // One message whose blocks lie below 2 GiB, across it, above it and near
    // 4 GiB, so that every link needs the full unsigned range.
    const std::string head = dbxtest::Filled("From: far@example.org\r\nSubject: far apart\r\n");
    const std::string across(512, '2');
    const std::string above(512, '3');
    const std::string last = "the end\r\n";
    PutBlock(fd, 0x1000, 0x1000, head, 0x7FFFFFF0u);
    PutBlock(fd, 0x7FFFFFF0u, 0x7FFFFFF0u, across, 0x80000400u);  // payload runs over the 2 GiB mark
    PutBlock(fd, 0x80000400u, 0x80000400u, above, 0xFFFFFD00u);
    PutBlock(fd, 0xFFFFFD00u, 0xFFFFFD00u, last, 0);
    // The highest position examined; its payload lies past 4 GiB.
    PutBlock(fd, 0xFFFFFFF0u, 0xFFFFFFF0u, "Subject: at the top\r\n", 0);
    // Past 4 GiB a header would name only the low 32 bits of its position:
    // such positions are never examined.
    PutBlock(fd, 4 * kGiB + 0x2000, 0x2000, "Subject: must not be seen\r\n", 0);
    PutBlock(fd, 4 * kGiB + 0x8000, 0x8000, "Subject: nor this\r\n", 0x1000);

    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    ::close(fd);
    if (static_cast<std::uint64_t>(st.st_blocks) * 512 > 64 * 1024 * 1024)
        GTEST_SKIP() << "the file system here does not keep files sparse";

    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(path));
    dbxtest::CountingSink sink;
    file.Scan(sink);

    // 2^30 positions (0 .. 0xFFFFFFFC) and the 20 % for the chain passes.
    EXPECT_EQ(sink.total, static_cast<std::int32_t>((kGiB + 4) * 1.2));
    EXPECT_TRUE(sink.ordered);
    EXPECT_GE(sink.calls, kGiB);

    ASSERT_EQ(file.GetCount(), 2);
    const dbx::EmailRecord& far = *file.GetAt(0);
    EXPECT_EQ(far.subject, "far apart");
    EXPECT_EQ(far.blocks, (std::vector<BlockRef>{{0x1000, 512, 512, 0x7FFFFFF0u},
                                                 {0x7FFFFFF0u, 512, 512, 0x80000400u},
                                                 {0x80000400u, 512, 512, 0xFFFFFD00u},
                                                 {0xFFFFFD00u, 512, 9, 0}}));
    std::string text;
    ASSERT_TRUE(file.ReadMessage(0, text));
    EXPECT_EQ(text, head + across + above + last);

    EXPECT_EQ(file.GetAt(1)->subject, "at the top");
    EXPECT_EQ(file.GetAt(1)->blocks, (std::vector<BlockRef>{{0xFFFFFFF0u, 512, 21, 0}}));
    const std::string saved = dir.File("top.eml");
    ASSERT_EQ(file.WriteMessage(1, saved), dbx::DbxFile::WriteResult::kWhole);
    EXPECT_EQ(testsupport::ReadFile(saved), "Subject: at the top\r\n");
}
