// quillmend-cli find as scripts use it: one line per mail file as it is
// found, and exit codes that tell found from nothing found from mistakes.

#include "CliRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::Cli;
using testsupport::CliRun;
using testsupport::Quote;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Mail files in a dotted folder, in a folder named *.dbx, and one with a
// name that tries to drive the terminal.
std::string MakeTree(const TempDir& dir)
{
    const std::filesystem::path root = dir.Path() / "disk";
    std::filesystem::create_directories(root / "Backup.2008");
    std::filesystem::create_directories(root / "Mail.dbx");
    std::filesystem::create_directories(root / "empty");
    WriteFile((root / "Backup.2008/Inbox.dbx").string(), "12345");
    WriteFile((root / "Backup.2008/notes.txt").string(), "x");
    WriteFile((root / "Mail.dbx/Sent \x1B[2J.DBX").string(), "123");
    return root.string();
}

} // namespace

TEST(CliFind, PrintsSizeAndPathPerMailFileInWalkOrder)
{
    TempDir dir;
    const std::string root = MakeTree(dir);
    const CliRun plain = Cli(dir, "find " + Quote(root + "/"));
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "5\t" + root + "/Backup.2008/Inbox.dbx\n3\t" + root + "/Mail.dbx/Sent \x1B[2J.DBX\n");
    EXPECT_EQ(plain.err, "");  // no progress where stderr is no terminal

    // Two paths over the same folders: each file once.
    const CliRun json = Cli(dir, "find " + Quote(root + "/Mail.dbx") + " --json " + Quote(root));
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "{\"path\": \"" + root + "/Mail.dbx/Sent \\u001b[2J.DBX\", \"size\": 3}\n"
                        "{\"path\": \"" + root + "/Backup.2008/Inbox.dbx\", \"size\": 5}\n");
}

TEST(CliFind, ExitCodesTellFoundFromNothingFromMistakes)
{
    TempDir dir;
    const std::string root = MakeTree(dir);
    const struct {
        std::string args;
        int status;
        const char* err;
    } cases[] = {
        {"find " + Quote(root + "/empty"), 1, ""},
        {"find " + Quote(root + "/missing"), 2, "no such folder"},
        {"find " + Quote(root + "/Backup.2008/Inbox.dbx"), 2, "not a folder"},
        {"find --recursive " + Quote(root), 2, "unexpected argument"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
}
