#include "DbxTestSupport.h"
#include "support/FileOpsRecorder.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using dbxgen::DbxImage;
using dbxtest::Filled;
using dbxtest::PutChain;
using dbxtest::ScannedFile;
using WriteResult = dbx::DbxFile::WriteResult;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

// --- opening and closing ------------------------------------------------------------

TEST(DbxFile, OpeningForgetsTheRecordsAndGetAtAnswersOnlyForThem)
{
    DbxImage image(4096);
    image.PutLiveBlock(0, "Subject: one\r\n", 0);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    EXPECT_EQ(f.file.GetAt(-1), nullptr);
    EXPECT_NE(f.file.GetAt(0), nullptr);
    EXPECT_EQ(f.file.GetAt(1), nullptr);
    ASSERT_TRUE(f.file.Open(f.path));
    EXPECT_FALSE(f.file.IsScanned());
    EXPECT_EQ(f.file.GetCount(), 0);
    f.file.Close();
    EXPECT_FALSE(f.file.IsOpen());

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

TEST(DbxFile, WriteMessageNeverOverwrites)
{
    DbxImage image(4096);
    image.PutLiveBlock(0, "Subject: one\r\n\r\nbody", 0);
    ScannedFile f(image);
    const std::string target = f.dir.File("one.eml");
    WriteFile(target, "older mail");
    EXPECT_EQ(f.file.WriteMessage(0, target), WriteResult::kNotCreated);
    EXPECT_EQ(ReadFile(target), "older mail");

    const std::string fresh = f.dir.File("fresh.eml");
    EXPECT_EQ(f.file.WriteMessage(0, fresh), WriteResult::kWhole);
    EXPECT_EQ(ReadFile(fresh), "Subject: one\r\n\r\nbody");
    EXPECT_EQ(f.file.WriteMessage(5, f.dir.File("no-such-record.eml")), WriteResult::kNotCreated);
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("no-such-record.eml")));
}

// One write per e-mail, whatever its number of blocks; a chain longer than
// the gathering buffer goes out in pieces that join up to the same bytes.
TEST(DbxFile, EachEmailIsWrittenInOneCall)
{
    constexpr std::uint32_t kLongBlocks = 2100;  // a little over 1 MiB of text
    DbxImage image(64 + (kLongBlocks + 40) * 528);
    std::vector<std::uint32_t> shortChain, deletedChain, longChain;
    for (std::uint32_t i = 0; i < 20; ++i)
        shortChain.push_back(1024 + i * 528);
    for (std::uint32_t i = 0; i < 3; ++i)
        deletedChain.push_back(1024 + (20 + i) * 528);
    for (std::uint32_t i = 0; i < kLongBlocks; ++i)
        longChain.push_back(1024 + (30 + i) * 528);
    std::string longText = "Subject: long\r\n";
    while (longText.size() < kLongBlocks * 512)
        longText += "line " + std::to_string(longText.size()) + "\r\n";
    longText.resize(kLongBlocks * 512 - 7);
    PutChain(image, shortChain, Filled("Subject: twenty blocks\r\n", 20 * 512 - 100), false);
    PutChain(image, deletedChain, Filled("XXXXSubject: deleted\r\n", 3 * 512), true);
    PutChain(image, longChain, longText, false);
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
    DbxImage image(1 << 14);
    const std::string text = Filled("FREESubject: deleted\r\n", 1024) + "LINKend of it";
    PutChain(image, {1024, 2048, 3072}, text, true);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
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
    EXPECT_TRUE(f.file.Damage(1).Empty());
}

TEST(DbxFile, DamageFollowsBlocksCutShortByTheEndOfTheFile)
{
    // The chain's first block lies at the end of the file, cut to 100 bytes,
    // so the second block's overwritten bytes start at text offset 100.
    DbxImage image(8192);
    image.PutDeletedBlock(1024, Filled("XXXXSubject: after the cut\r\n", 512), 0);
    image.PutDeletedBlock(8192 - 16 - 100, Filled("XXXXFrom: a@example.org\r\n", 512), 1024);
    image.Resize(8192);
    ScannedFile f(image);
    int cut = -1;
    for (int i = 0; i < f.file.GetCount(); ++i)
        if (f.file.GetAt(i)->blocks.size() == 2)
            cut = i;
    ASSERT_GE(cut, 0);
    EXPECT_EQ(f.file.MessageSize(cut), 612u);
    EXPECT_EQ(f.file.Damage(cut).overwritten, (std::vector<dbx::TextDamage::Range>{{0, 4}, {100, 4}}));

    DbxImage live(4096);
    live.PutLiveBlock(0, "Subject: live\r\n", 0);
    ScannedFile l(live);
    EXPECT_TRUE(l.file.Damage(0).Empty());
}

TEST(DbxFile, FailedWriteReportsFalseAndLeavesNoPartialFile)
{
    DbxImage image(1 << 14);
    PutChain(image, {1024, 2048, 3072}, Filled("Subject: big\r\n", 1500), false);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    EXPECT_EQ(f.file.WriteMessage(0, f.dir.File("no/such/folder/x.eml")), WriteResult::kNotCreated);

    // The file-size limit makes the second block's write fail like a full disk.
    const std::string target = f.dir.File("full.eml");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const WriteResult written = f.file.WriteMessage(0, target);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(written, WriteResult::kNotCreated);
    EXPECT_FALSE(std::filesystem::exists(target));
}

// --- the mail file itself ---------------------------------------------------------------------

TEST(DbxFile, TheMailFileIsNeverWritten)
{
    DbxImage image(1 << 16);
    PutChain(image, {1024, 2048}, Filled("From: a@x\r\nSubject: live\r\n") + "tail", false);
    PutChain(image, {8192}, "XXXXSubject: deleted\r\n", true);
    PutChain(image, {20000, 12000}, Filled("Subject: backwards\r\n") + "end", false);
    TempDir dir;
    const std::string path = dir.File("mail.dbx");
    ASSERT_TRUE(image.WriteTo(path));
    // An old modification time, so that any write would show; the change
    // time taken afterwards would move on any write or change of attributes.
    const timespec old[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    {
        dbx::DbxFile file;
        ASSERT_TRUE(file.Open(path));
        dbxtest::RecordingSink sink;
        file.Scan(sink);
        ASSERT_EQ(file.GetCount(), 3);
        for (int i = 0; i < file.GetCount(); ++i) {
            // What the preview and the Save command do with each e-mail.
            EXPECT_EQ(file.WriteMessage(i, dir.File("preview" + std::to_string(i) + ".mht")), WriteResult::kWhole);
            EXPECT_EQ(file.WriteMessage(i, dir.File("saved" + std::to_string(i) + ".eml")), WriteResult::kWhole);
            std::string text;
            EXPECT_TRUE(file.ReadMessage(i, text));
        }
        ASSERT_TRUE(file.Open(path));  // and once more, as the browse window may
        file.Scan(sink);
    }

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(path), image.Bytes());
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
    EXPECT_EQ(after.st_mode, before.st_mode);
}
