// save run in-process with the file operations recorded and made to fail:
// the order of the flush, what a full disk leaves (a valid mbox, lines on
// stdout only for what is whole, a manifest of exactly what stays), and a
// mail file that shrinks while it is saved.

#include "CliRun.h"
#include "cli/CliCommon.h"
#include "dbx/IProgressSink.h"
#include "support/FileOpsRecorder.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DbxImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

using ::testing::HasSubstr;
using ::testing::Not;
using platform::FileOp;
using testsupport::CliRun;
using testsupport::Count;
using testsupport::FileOpsRecorder;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

constexpr int kEmails = 5;

// Five e-mails of about 300 bytes, one block each.
std::string MakeMailbox(const TempDir& dir)
{
    dbxgen::DbxImage image(1 << 15);
    for (int i = 0; i < kEmails; ++i) {
        image.PutLiveBlock(4096 + 1024 * static_cast<std::uint32_t>(i),
                           "From: a" + std::to_string(i) + "@example.org\r\nSubject: mail " + std::to_string(i) +
                               "\r\nDate: 3 Mar 2009 23:30:00 -0500\r\n\r\n" + std::string(200, 'x') + "\r\n",
                           0);
    }
    const std::string path = dir.File("Inbox.dbx");
    EXPECT_TRUE(image.WriteTo(path));
    return path;
}

CliRun Save(const std::vector<std::string>& args)
{
    return testsupport::InProcess(cli::RunSave, args);
}

int Lines(const std::string& text)
{
    return static_cast<int>(Count(text, "\n"));
}

// Four e-mails of two blocks, "Subject: mail <k>", for a cut at 9000: of
// e-mail 1 the second block lies behind it in the same page (read as
// zeros), of e-mail 2 in the next page (a fault); e-mail 3 wholly behind.
std::string MakeTwoBlockMailbox(const TempDir& dir)
{
    dbxgen::DbxImage image(5 * 4096);
    const std::uint32_t blocks[4][2] = {{4096, 4624}, {7664, 9216}, {8192, 12288}, {16384, 16912}};
    for (std::uint32_t k = 0; k < 4; ++k) {
        const std::string head = "Subject: mail " + std::to_string(k) + "\r\n";
        image.PutLiveBlock(blocks[k][0], head + std::string(512 - head.size(), 'x'), blocks[k][1]);
        image.PutLiveBlock(blocks[k][1], "end", 0);
    }
    const std::string path = dir.File("Shrinks.dbx");
    EXPECT_TRUE(image.WriteTo(path));
    return path;
}

// Cuts the mail file at 9000 before the first file is created: whichever
// thread writes which e-mail, it is read after the cut.
class CutBeforeFirstCreate final : public platform::FileOpsHook {
public:
    // With `cutBackFails`, a saved file cannot be cut back to what the mail
    // file still holds (a failing disk).
    explicit CutBeforeFirstCreate(std::string mailbox, bool cutBackFails = false)
        : mailbox_(std::move(mailbox)), cutBackFails_(cutBackFails)
    {
        platform::SetFileOpsHook(this);
    }
    ~CutBeforeFirstCreate() override { platform::SetFileOpsHook(nullptr); }
    bool Before(FileOp op, const std::string&, std::uint64_t) override
    {
        std::lock_guard lock(mutex_);
        if (op == FileOp::kCreate && !cut_)
            cut_ = ::truncate(mailbox_.c_str(), 9000) == 0;
        return !(op == FileOp::kCutBack && cutBackFails_);
    }

private:
    std::mutex mutex_;
    std::string mailbox_;
    bool cutBackFails_;
    bool cut_ = false;
};

} // namespace

// --- the flush: opened before the first file, done once at the end -------------------

TEST(SaveFlush, TheFolderSyncIsOpenedBeforeTheFirstFileAndRunsOnceAtTheEnd)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::vector<FileOp> order;  // the flush steps among the file's own
    } cases[] = {
        {".eml", {mailbox, dir.File("out")}, {FileOp::kOpenFolderSync, FileOp::kCreate, FileOp::kSyncFolder}},
        {"mbox",
         {mailbox, "--mbox", dir.File("out.mbox")},
         {FileOp::kOpenFolderSync, FileOp::kCreate, FileOp::kSyncFile, FileOp::kClose, FileOp::kSyncFolder}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FileOpsRecorder ops;
        ASSERT_EQ(Save(c.args).status, 0);
        std::vector<FileOp> flushOrder;
        for (const auto& step : ops.Steps())
            if (std::find(c.order.begin(), c.order.end(), step.op) != c.order.end())
                flushOrder.push_back(step.op);
        // Steps of the same kind in a row (the files) count once.
        flushOrder.erase(std::unique(flushOrder.begin(), flushOrder.end()), flushOrder.end());
        EXPECT_EQ(flushOrder, c.order);
        EXPECT_EQ(ops.Count(FileOp::kOpenFolderSync), 1);
        EXPECT_EQ(ops.Count(FileOp::kSyncFolder), 1);
    }
}

TEST(SaveFlush, AFailedFinalFlushNamesWhatItCoversAndExitsOne)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const struct {
        const char* what;
        std::vector<std::string> args;
        FileOp failing;
        const char* told;
    } cases[] = {
        {".eml", {mailbox, dir.File("out")}, FileOp::kSyncFolder, "the 5 files saved there may not all be on it"},
        {"mbox file", {mailbox, "--mbox", dir.File("a.mbox")}, FileOp::kSyncFile, "the 5 e-mails in it may not all be there"},
        {"mbox folder", {mailbox, "--mbox", dir.File("b.mbox")}, FileOp::kSyncFolder, "the 5 e-mails in it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FileOpsRecorder ops;
        ops.FailFrom(c.failing, 0);
        const CliRun r = Save(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, HasSubstr(c.told));
        EXPECT_EQ(Lines(r.out), kEmails + 1);  // each written whole, then the summary
    }
}

// --- a disk that fills -----------------------------------------------------------------

TEST(SaveOnAFullDisk, MboxKeepsItsWholeEntriesAndNamesTheRest)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const std::string mbox = dir.File("out.mbox"), manifest = dir.File("m.json");
    FileOpsRecorder ops;
    ops.FailWritesAfter(800, mbox);  // two entries of about 340 bytes fit
    const CliRun r = Save({mailbox, "--mbox", mbox, "--manifest", manifest});
    EXPECT_EQ(r.status, 1);
    const std::string kept = ReadFile(mbox);
    EXPECT_TRUE(kept.starts_with("From a0@example.org "));
    EXPECT_THAT(kept, HasSubstr("\nFrom a1@example.org "));
    EXPECT_THAT(kept, Not(HasSubstr("a2@example.org")));
    EXPECT_TRUE(kept.ends_with("xx\n\n"));  // ends after a whole entry
    EXPECT_EQ(Lines(r.out), 3);           // two e-mails, then the summary
    EXPECT_THAT(r.out, HasSubstr("2 e-mails saved"));
    for (int i = 2; i < kEmails; ++i)
        EXPECT_THAT(r.err, HasSubstr("e-mail " + std::to_string(i) + " is not in"));
    EXPECT_THAT(r.err, Not(HasSubstr("e-mail 1 is not in")));
    const std::string json = ReadFile(manifest);
    EXPECT_THAT(json, HasSubstr("\"size\":" + std::to_string(kept.size())));
    EXPECT_EQ(Count(json, "\"result\":\"notWritten\",\"mboxOffset\":null"), 3u);
}

TEST(SaveOnAFullDisk, AnMboxWithoutAWholeEntryIsRemoved)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const std::string mbox = dir.File("out.mbox");
    FileOpsRecorder ops;
    ops.FailWritesAfter(100);
    const CliRun r = Save({mailbox, "--mbox", mbox});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(mbox));
    EXPECT_EQ(Lines(r.out), 1);  // the summary only
    EXPECT_THAT(r.err, HasSubstr("e-mail 0 is not in"));
}

TEST(SaveOnAFullDisk, EmlFilesThatFailAreGoneAndNotListed)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const std::string folder = dir.File("out"), manifest = dir.File("m.json");
    FileOpsRecorder ops;
    ops.FailWritesAfter(700, folder);  // two files fit
    const CliRun r = Save({mailbox, folder, "--manifest", manifest});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testsupport::FilesIn(folder).size(), 2u);
    EXPECT_EQ(Lines(r.out), 3);
    EXPECT_THAT(r.err, HasSubstr("could not save e-mail "));
    EXPECT_EQ(Count(ReadFile(manifest), "\"savedName\":\""), 2u);
}

// --- a mail file that shrinks meanwhile -------------------------------------------------

// The mail file cut between its opening and its scan, as a list or a save
// meets it when another program compacts the file meanwhile.
namespace {
int ScanCutFileAndWarn(const std::vector<std::string>& args)
{
    dbx::DbxFile file;
    dbx::NullProgressSink quiet;
    if (!file.Open(args[0]) || ::truncate(args[0].c_str(), 5000) != 0)
        return -1;
    file.Scan(quiet);
    std::printf("%d e-mails\n", file.GetCount());
    return cli::WarnIfIncomplete(args[0], file) ? 1 : 0;
}
} // namespace

TEST(ListWhileTheFileShrinks, TheListIsToldIncomplete)
{
    TempDir dir;
    const CliRun r = testsupport::InProcess(ScanCutFileAndWarn, {MakeMailbox(dir)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1 e-mails\n");  // the one before the cut
    EXPECT_THAT(r.err, HasSubstr("Inbox.dbx: warning: the list is incomplete: the file shrank while it was read"));
    EXPECT_THAT(r.err, Not(HasSubstr("chains")));
}

TEST(SaveWhileTheFileShrinks, EmlFilesOfEmailsCutShortAreKeptAndTold)
{
    TempDir dir;
    const std::string mailbox = MakeTwoBlockMailbox(dir), out = dir.File("out");
    CutBeforeFirstCreate cut(mailbox);
    const CliRun r = Save({mailbox, out});
    EXPECT_EQ(r.status, 1);
    // Every e-mail has one file: whole ones before the cut, those behind it
    // kept with what could be read, never written a second time.
    EXPECT_EQ(testsupport::FilesIn(out).size(), 4u);
    EXPECT_EQ(ReadFile(out + "/mail 0.eml").size(), 515u);
    // E-mail 1's last block lies past the cut in the page the cut ends in,
    // which reads as zeros: none of them is written as if it were mail.
    EXPECT_EQ(ReadFile(out + "/mail 1.eml").size(), 512u);
    EXPECT_EQ(ReadFile(out + "/mail 2.eml").size(), 512u);
    EXPECT_LT(ReadFile(out + "/mail 3.eml").size(), 515u);
    for (const char* told : {"e-mail 1 is incomplete", "e-mail 2 is incomplete", "e-mail 3 is incomplete"})
        EXPECT_THAT(r.err, HasSubstr(told));
    EXPECT_THAT(r.err, Not(HasSubstr("e-mail 0 is incomplete")));
    EXPECT_THAT(r.out, HasSubstr(", 3 more saved incomplete\n"));
}

TEST(SaveWhileTheFileShrinks, AFileThatCannotBeCutBackIsNotKept)
{
    TempDir dir;
    const std::string mailbox = MakeTwoBlockMailbox(dir), out = dir.File("out");
    CutBeforeFirstCreate cut(mailbox, true);
    const CliRun r = Save({mailbox, out});
    EXPECT_EQ(r.status, 1);
    // E-mail 1 would keep zeros the mail file no longer holds: not kept,
    // and told as not written.
    EXPECT_EQ(testsupport::FilesIn(out).size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(out + "/mail 1.eml"));
    EXPECT_THAT(r.err, HasSubstr("could not save e-mail 1 as"));
    EXPECT_THAT(r.out, HasSubstr(", 2 more saved incomplete, 1 could not be written\n"));
}

TEST(SaveWhileTheFileShrinks, MboxTellsWhatWasCutShortAndNamesWhatItCouldNotRead)
{
    TempDir dir;
    const std::string mailbox = MakeTwoBlockMailbox(dir), mbox = dir.File("out.mbox");
    CutBeforeFirstCreate cut(mailbox);
    const CliRun r = Save({mailbox, "--mbox", mbox});
    EXPECT_EQ(r.status, 1);
    // E-mails 1 and 2 are in it with what could be read; of 3 nothing was
    // left to read: told, and counted as not written.
    EXPECT_EQ(Count(ReadFile(mbox), "\nSubject: mail "), 3u);
    EXPECT_EQ(ReadFile(mbox).find('\0'), std::string::npos);
    for (const char* told : {"e-mail 1 is incomplete", "e-mail 2 is incomplete", "could not read e-mail 3"})
        EXPECT_THAT(r.err, HasSubstr(told));
    EXPECT_THAT(r.out, HasSubstr(", 2 more saved incomplete, 1 could not be written\n"));
}
