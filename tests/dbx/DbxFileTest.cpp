#include "DbxTestSupport.h"
#include "support/FileOpsRecorder.h"
#include "support/FileSizeLimit.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using dbxgen::DbxImage;
using dbxtest::Filled;
using dbxtest::PutChain;
using dbxtest::ScannedFile;
using WriteResult = dbx::DbxFile::WriteResult;
using testsupport::ReadFile;
using testsupport::WriteFile;

// --- opening and closing ------------------------------------------------------------

TEST(DbxFile, OpeningForgetsTheRecordsAndAScanRunsAgainOnlyWhileThereAreNone)
{
    DbxImage image(4096);
    image.PutLiveBlock(0, "Subject: one\r\n", 0);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    EXPECT_EQ(f.file.GetAt(-1), nullptr);
    EXPECT_NE(f.file.GetAt(0), nullptr);
    EXPECT_EQ(f.file.GetAt(1), nullptr);
    f.file.Scan(f.sink);  // a scan that found e-mails does not run again
    EXPECT_EQ(f.sink.totals.size(), 1u);
    EXPECT_EQ(f.file.GetCount(), 1);
    ASSERT_TRUE(f.file.Open(f.path));
    EXPECT_FALSE(f.file.IsScanned());
    EXPECT_EQ(f.file.GetCount(), 0);
    f.file.Close();
    EXPECT_FALSE(f.file.IsOpen());

    // One that found none (near misses everywhere) runs again.
    DbxImage misses(100000);
    for (std::size_t i = 0; i < misses.Size(); i += 4)
        misses.PutU32(i, static_cast<std::uint32_t>(i + 1));
    ScannedFile none(misses);
    ASSERT_TRUE(none.file.IsScanned());
    EXPECT_EQ(none.file.GetCount(), 0);
    none.file.Scan(none.sink);
    EXPECT_EQ(none.sink.totals.size(), 2u);

    // Files that cannot be opened stay closed and empty.
    WriteFile(f.dir.File("empty.dbx"), "");
    dbx::DbxFile file;
    EXPECT_FALSE(file.Open(f.dir.File("missing.dbx")));
    EXPECT_FALSE(file.Open(f.dir.File("empty.dbx")));
    file.Scan(f.sink);
    EXPECT_FALSE(file.IsScanned());
    EXPECT_EQ(file.GetCount(), 0);
    EXPECT_EQ(file.GetAt(0), nullptr);
}

// --- writing a message out ---------------------------------------------------------------

TEST(DbxFile, WriteMessageNeverOverwritesAndLeavesNoPartialFile)
{
    DbxImage image(1 << 14);
    PutChain(image, {1024, 2048, 3072}, Filled("Subject: big\r\n", 1500), false);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    const std::string target = f.dir.File("one.eml");
    WriteFile(target, "older mail");
    EXPECT_EQ(f.file.WriteMessage(0, target), WriteResult::kNotCreated);
    EXPECT_EQ(ReadFile(target), "older mail");
    EXPECT_EQ(f.file.WriteMessage(5, f.dir.File("no-such-record.eml")), WriteResult::kNotCreated);
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("no-such-record.eml")));
    EXPECT_EQ(f.file.WriteMessage(0, f.dir.File("no/such/folder/x.eml")), WriteResult::kNotCreated);

    // The file-size limit makes the second block's write fail like a full disk.
    const std::string full = f.dir.File("full.eml");
    {
        const testsupport::FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Set());
        EXPECT_EQ(f.file.WriteMessage(0, full), WriteResult::kNotCreated);
    }
    EXPECT_FALSE(std::filesystem::exists(full));
}

// One write per e-mail, whatever its number of blocks; a chain longer than
// the gathering buffer goes out in pieces that join up to the same bytes.
TEST(DbxFile, EachEmailIsWrittenInOneCall)
{
    constexpr std::uint32_t kLongBlocks = 2100;  // a little over 1 MiB of text
    DbxImage image(64 + (kLongBlocks + 40) * 528);
    std::string longText = "Subject: long\r\n";
    while (longText.size() < kLongBlocks * 512)
        longText += "line " + std::to_string(longText.size()) + "\r\n";
    longText.resize(kLongBlocks * 512 - 7);
    PutChain(image, dbxtest::Run(1024, 20), Filled("Subject: twenty blocks\r\n", 20 * 512 - 100), false);
    PutChain(image, dbxtest::Run(1024 + 20 * 528, 3), Filled("XXXXSubject: deleted\r\n", 3 * 512), true);
    PutChain(image, dbxtest::Run(1024 + 30 * 528, kLongBlocks), longText, false);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 3);

    const struct {
        int index;
        int writes;
    } cases[] = {{0, 1}, {1, 1}, {2, 2}};  // deleted first, then by offset
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        testsupport::FileOpsRecorder ops;
        const std::string target = f.dir.File(std::to_string(c.index) + ".eml");
        ASSERT_EQ(f.file.WriteMessage(c.index, target), WriteResult::kWhole);
        EXPECT_EQ(ops.Count(platform::FileOp::kWrite), c.writes);
        EXPECT_EQ(ReadFile(target), f.Text(c.index));
        EXPECT_EQ(ReadFile(target).size(), f.file.MessageSize(c.index));
    }
    EXPECT_EQ(ReadFile(f.dir.File("2.eml")).substr(0, longText.size()), longText);
}

TEST(DbxFile, DeletedMessagesGetSpacesOverEachBlocksFirstFourBytes)
{
    DbxImage image(8192);
    PutChain(image, {1024, 2048, 3072}, Filled("FREESubject: deleted\r\n", 1024) + "LINKend of it", true);
    image.PutLiveBlock(4096, "Subject: live\r\n", 0);
    // A chain whose first block lies at the end of the file, cut to 100
    // bytes: the second block's overwritten bytes start at text offset 100.
    image.PutDeletedBlock(5120, Filled("XXXXSubject: after the cut\r\n", 512), 0);
    image.PutDeletedBlock(8192 - 16 - 100, Filled("XXXXFrom: a@example.org\r\n", 512), 5120);
    image.Resize(8192);
    ScannedFile f(image);
    // Deleted first, in file order: the whole chain, the cut one; then the live one.
    ASSERT_EQ(f.file.GetCount(), 3);
    ASSERT_EQ(f.file.GetAt(0)->subject, "deleted");
    ASSERT_EQ(f.file.GetAt(1)->from, "a@example.org");
    const std::string target = f.dir.File("d.eml");
    ASSERT_EQ(f.file.WriteMessage(0, target), WriteResult::kWhole);
    const std::string written = ReadFile(target);
    ASSERT_EQ(written.size(), 3u * 512u);  // deleted blocks always give 512 bytes
    EXPECT_EQ(written.substr(0, 8), "    Subj");
    EXPECT_EQ(written.substr(512, 4), "    ");
    EXPECT_EQ(written.substr(1024, 13), "    end of it");
    EXPECT_EQ(written.substr(1024 + 13, 4), std::string(4, '\0'));  // the block's unused rest
    // The damage that travels beside the text names exactly those spaces.
    const dbx::TextDamage damage = f.file.Damage(0);
    EXPECT_EQ(damage.overwritten, (std::vector<dbx::TextDamage::Range>{{0, 4}, {512, 4}, {1024, 4}}));
    EXPECT_TRUE(damage.paddedEnd);
    EXPECT_EQ(f.file.MessageSize(1), 612u);
    EXPECT_EQ(f.file.Damage(1).overwritten, (std::vector<dbx::TextDamage::Range>{{0, 4}, {100, 4}}));
    EXPECT_TRUE(f.file.Damage(2).Empty());
    EXPECT_TRUE(f.file.Damage(3).Empty());
}

// --- the mail file itself ---------------------------------------------------------------------

TEST(DbxFile, TheMailFileIsNeverWritten)
{
    DbxImage image(1 << 16);
    PutChain(image, {1024, 2048}, Filled("From: a@x\r\nSubject: live\r\n") + "tail", false);
    PutChain(image, {8192}, "XXXXSubject: deleted\r\n", true);
    PutChain(image, {20000, 12000}, Filled("Subject: backwards\r\n") + "end", false);
    ScannedFile f(image, /*scan=*/false);
    // An old modification time, so that any write would show; the change
    // time taken afterwards would move on any write or change of attributes.
    const timespec old[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, f.path.c_str(), old, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat(f.path.c_str(), &before), 0);

    // What the preview and the Save command do with each e-mail, and once
    // more, as the browse window may.
    for (const std::string round : {"a", "b"}) {
        ASSERT_TRUE(f.file.Open(f.path));
        f.file.Scan(f.sink);
        ASSERT_EQ(f.file.GetCount(), 3);
        for (int i = 0; i < f.file.GetCount(); ++i) {
            const std::string name = round + std::to_string(i);
            EXPECT_EQ(f.file.WriteMessage(i, f.dir.File(name + ".mht")), WriteResult::kWhole);
            EXPECT_EQ(f.file.WriteMessage(i, f.dir.File(name + ".eml")), WriteResult::kWhole);
            f.Text(i);
        }
    }
    f.file.Close();

    struct stat after {};
    ASSERT_EQ(::stat(f.path.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(f.path), image.Bytes());
    EXPECT_EQ(std::tie(after.st_size, after.st_mtim.tv_sec, after.st_mtim.tv_nsec, after.st_mode),
              std::tie(before.st_size, before.st_mtim.tv_sec, before.st_mtim.tv_nsec, before.st_mode));
    EXPECT_EQ(std::tie(after.st_ctim.tv_sec, after.st_ctim.tv_nsec), std::tie(before.st_ctim.tv_sec, before.st_ctim.tv_nsec));
}
