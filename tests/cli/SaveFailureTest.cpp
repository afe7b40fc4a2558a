// save run in-process with the file operations recorded and made to fail:
// the order of the flush, and what a full disk leaves (a valid mbox, lines
// on stdout only for what is whole, a manifest of exactly what stays).

#include "CliRun.h"
#include "cli/CliCommon.h"
#include "support/FileOpsRecorder.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DbxImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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
        EXPECT_NE(r.err.find(c.told), std::string::npos) << r.err;
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
    EXPECT_NE(kept.find("\nFrom a1@example.org "), std::string::npos);
    EXPECT_EQ(kept.find("a2@example.org"), std::string::npos);
    EXPECT_TRUE(kept.ends_with("xx\n\n"));  // ends after a whole entry
    EXPECT_EQ(Lines(r.out), 3);           // two e-mails, then the summary
    EXPECT_NE(r.out.find("2 e-mails saved"), std::string::npos) << r.out;
    for (int i = 2; i < kEmails; ++i)
        EXPECT_NE(r.err.find("e-mail " + std::to_string(i) + " is not in"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("e-mail 1 is not in"), std::string::npos);
    const std::string json = ReadFile(manifest);
    EXPECT_NE(json.find("\"size\":" + std::to_string(kept.size())), std::string::npos) << json;
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
    EXPECT_NE(r.err.find("e-mail 0 is not in"), std::string::npos) << r.err;
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
    EXPECT_EQ(Count(ReadFile(manifest), "\"savedName\":\""), 2u);
}
