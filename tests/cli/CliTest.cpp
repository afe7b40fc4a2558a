// The command-line tool as scripts use it: run the real binary, check its
// output, files and exit status.

#include "CliRun.h"
#include "dbx/DbxFile.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DbxImage.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using testsupport::Cli;
using testsupport::CliRun;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

// One live e-mail with an attachment mark, one deleted e-mail with a
// subject that tries to drive the terminal.
std::string MakeMailbox(const TempDir& dir)
{
    dbxgen::DbxImage image(1 << 14);
    image.PutLiveBlock(4096,
                       "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Quarterly \"report\"\r\n"
                       "Date: Tue, 15 Jan 2008 10:20:30 +0000\r\nContent-Type: application/pdf\r\n\r\nbody",
                       0);
    image.PutDeletedBlock(8192, "XXXXm: gone\r\nTo: eve@example.org\r\nSubject: Caf\xE9 \x1B[2J\r\n\r\nbye", 0);
    const std::string path = dir.File("Inbox.dbx");
    EXPECT_TRUE(image.WriteTo(path));
    return path;
}

} // namespace

// --- list ---------------------------------------------------------------------------

TEST(Cli, ListJsonHasTheContractedFieldsInOrder)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const CliRun r = Cli(dir, "list " + Quote(mailbox) + " --json", "TZ=UTC ");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "[\n"
              "{\"index\":0,\"status\":\"Deleted\",\"from\":\"\",\"to\":\"eve@example.org\","
              "\"subject\":\"Caf\xC3\xA9 \\u001b[2J\",\"date\":\"\",\"filetime\":0,\"hasAttachment\":false,"
              "\"blocks\":[8192],\"size\":512},\n"
              "{\"index\":1,\"status\":\"Existing\",\"from\":\"Ann <ann@example.org>\",\"to\":\"bob@example.org\","
              "\"subject\":\"Quarterly \\\"report\\\"\",\"date\":\"2008-01-15 10:20:30\",\"filetime\":128448660300000000,"
              "\"hasAttachment\":true,\"blocks\":[4096],\"size\":155}\n"
              "]\n");
}

TEST(Cli, ListJsonShowsEveryDemoEmailDeletedOnesFirst)
{
    TempDir dir;
    const dbxgen::Mailbox demo = dbxgen::MakeDemoMailbox();
    const std::string path = dir.File("Inbox.dbx");
    ASSERT_TRUE(demo.WriteTo(path));
    const CliRun r = Cli(dir, "list " + Quote(path) + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto expected = demo.RecoveryOrder();
    ASSERT_EQ(expected.size(), demo.Messages().size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string entry = "{\"index\":" + std::to_string(i) + ",\"status\":\"" +
                                  (expected[i]->deleted ? "Deleted" : "Existing") + "\"";
        at = r.out.find(entry, at);
        ASSERT_NE(at, std::string::npos) << entry;
        const std::string blocks = "\"blocks\":[" + std::to_string(expected[i]->blocks.front());
        EXPECT_EQ(r.out.find(blocks, at), r.out.find("\"blocks\":[", at)) << i;
        const std::string size = "\"size\":" + std::to_string(expected[i]->text.size()) + "}";
        EXPECT_NE(r.out.find(size, at), std::string::npos) << i;
    }
    EXPECT_EQ(r.out.find("{\"index\":" + std::to_string(expected.size())), std::string::npos);
}

TEST(Cli, ListTableIsSafeOnATerminal)
{
    TempDir dir;
    const CliRun r = Cli(dir, "list " + Quote(MakeMailbox(dir)), "TZ=UTC ");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Deleted"), std::string::npos);
    EXPECT_NE(r.out.find("2008-01-15 10:20:30  @  Ann <ann@example.org>"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);  // the escape sequence is defused
    EXPECT_NE(r.out.find("Caf\xC3\xA9 ?[2J"), std::string::npos);
    EXPECT_NE(r.out.find("2 e-mails"), std::string::npos);
}

// --- cat -------------------------------------------------------------------------------

TEST(Cli, CatWritesExactlyWhatSaveWrites)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(mailbox));
    dbx::IProgressSink quiet;
    file.Scan(quiet);
    for (int i = 0; i < file.GetCount(); ++i) {
        const std::string written = dir.File("m" + std::to_string(i) + ".eml");
        ASSERT_TRUE(file.WriteMessage(i, written));
        const CliRun r = Cli(dir, "cat " + Quote(mailbox) + " " + std::to_string(i));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, ReadFile(written));
    }
    const CliRun bad = Cli(dir, "cat " + Quote(mailbox) + " 2");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("no e-mail with index 2"), std::string::npos);
    EXPECT_EQ(Cli(dir, "cat " + Quote(mailbox) + " -1").status, 2);
}

// --- save ------------------------------------------------------------------------------

TEST(Cli, SaveWritesChosenEmailsAndNeverOverwrites)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const std::string out = dir.File("out folder");
    CliRun r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out) + " --existing");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/Quarterly _report_.eml"));
    EXPECT_NE(r.out.find("1 e-mail saved"), std::string::npos);

    r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out) + " --index 0,1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/Caf\xE9 \x1B[2J.eml"));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 3);  // the second copy of e-mail 1 got a clock name
}

TEST(Cli, SaveReportsEmailsThatCouldNotBeWritten)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    // With a file-size limit of 0 no e-mail can be written: like a full disk.
    const CliRun r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(dir.File("out")), "trap '' XFSZ; ulimit -f 0; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not save e-mail"), std::string::npos);
}

// --- usage ------------------------------------------------------------------------------

TEST(Cli, UsageErrorsAndUnopenableFilesExitWithTwo)
{
    TempDir dir;
    EXPECT_EQ(Cli(dir, "").status, 2);
    EXPECT_EQ(Cli(dir, "frobnicate").status, 2);
    EXPECT_EQ(Cli(dir, "list").status, 2);
    EXPECT_EQ(Cli(dir, "save x.dbx out --existing --deleted").status, 2);
    EXPECT_EQ(Cli(dir, "save x.dbx out --index 1,x").status, 2);
    const CliRun missing = Cli(dir, "list " + Quote(dir.File("missing.dbx")));
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("missing.dbx: No such file or directory"), std::string::npos) << missing.err;
    const CliRun folder = Cli(dir, "list " + Quote(dir.Path().string()));
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find("is a directory"), std::string::npos);

    const CliRun help = Cli(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: quillmend-cli"), std::string::npos);
    EXPECT_EQ(Cli(dir, "--version").status, 0);
}
