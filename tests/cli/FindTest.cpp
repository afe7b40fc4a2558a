// quillmend-cli find as scripts and people use it: one record per mail file
// as it is found, names as bytes for scripts and as text for people, and
// exit codes that tell found from nothing found from mistakes from folders
// that could not be read. Names that are not UTF-8 reach every command as
// their bytes; JSON gives such a path as text and as its bytes in hex.

#include "CliRun.h"
#include "support/DeepFolder.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::Cli;
using testsupport::CliRun;
using testsupport::Hex;
using testsupport::Quote;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Mail files in a dotted folder, in a folder named *.dbx, one with a name
// that tries to drive the terminal and one that forges a second record.
std::string MakeTree(const TempDir& dir)
{
    const std::filesystem::path root = dir.Path() / "disk";
    std::filesystem::create_directories(root / "Backup.2008");
    std::filesystem::create_directories(root / "Mail.dbx");
    std::filesystem::create_directories(root / "empty");
    WriteFile((root / "Backup.2008/Inbox.dbx").string(), "12345");
    WriteFile((root / "Backup.2008/notes.txt").string(), "x");
    WriteFile((root / "Mail.dbx/Sent \x1B[2J.DBX").string(), "123");
    WriteFile((root / "Mail.dbx/x.dbx\n42\tforged.dbx").string(), "1");
    return root.string();
}

} // namespace

TEST(CliFind, PrintsSizeAndPathPerMailFileInWalkOrder)
{
    TempDir dir;
    const std::string root = MakeTree(dir);
    // For people: names as text, control characters as '?'.
    const CliRun plain = Cli(dir, "find " + Quote(root + "/"));
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "5\t" + root + "/Backup.2008/Inbox.dbx\n3\t" + root + "/Mail.dbx/Sent ?[2J.DBX\n1\t" + root +
                             "/Mail.dbx/x.dbx?42?forged.dbx\n");
    EXPECT_EQ(plain.err, "");  // no progress where stderr is no terminal

    // For scripts: each record ends with NUL, the name as its bytes.
    const CliRun nul = Cli(dir, "find -0 " + Quote(root));
    EXPECT_EQ(nul.status, 0) << nul.err;
    EXPECT_EQ(nul.out, std::string("5\t" + root + "/Backup.2008/Inbox.dbx") + '\0' + "3\t" + root +
                           "/Mail.dbx/Sent \x1B[2J.DBX" + '\0' + "1\t" + root + "/Mail.dbx/x.dbx\n42\tforged.dbx" + '\0');

    // Two paths over the same folders: each file once.
    const CliRun json = Cli(dir, "find " + Quote(root + "/Mail.dbx") + " --json " + Quote(root));
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "{\"path\": \"" + root + "/Mail.dbx/Sent \\u001b[2J.DBX\", \"size\": 3}\n"
                        "{\"path\": \"" + root + "/Mail.dbx/x.dbx\\n42\\tforged.dbx\", \"size\": 1}\n"
                        "{\"path\": \"" + root + "/Backup.2008/Inbox.dbx\", \"size\": 5}\n");
}

TEST(CliFind, ExitCodesTellFoundFromNothingFromMistakes)
{
    TempDir dir;
    const std::string root = MakeTree(dir);
    // Operands are paths as given: "sp " is not "sp".
    std::filesystem::create_directories(root + "/sp");
    std::filesystem::create_directories(root + "/sp ");
    WriteFile(root + "/sp/Not this.dbx", "x");
    const struct {
        std::string args;
        int status;
        const char* err;
    } cases[] = {
        {"find " + Quote(root + "/empty"), 1, ""},
        {"find " + Quote(root + "/sp "), 1, ""},
        {"find -- " + Quote(root + "/missing"), 2, "no such folder"},
        {"find " + Quote(root + "/Backup.2008/Inbox.dbx"), 2, "not a folder"},
        {"find --recursive " + Quote(root), 2, "unexpected argument"},
        {"find -0 --json " + Quote(root), 2, "-0 and --json cannot be used together"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_THAT(r.err, HasSubstr(c.err)) << c.args << ": " << r.err;
    }
    // Output that could not be written is no list of what is there.
    const CliRun full = Cli(dir, "find " + Quote(root), "trap '' XFSZ; ulimit -f 0; ");
    EXPECT_EQ(full.status, 2);
    EXPECT_THAT(full.err, HasSubstr("could not be written"));
    const CliRun help = Cli(dir, "find --help");
    EXPECT_THAT(help.out, HasSubstr("The plain output is for people"));
}

TEST(CliFind, FoldersThatCannotBeReadAreNamedAndExitWithThree)
{
    TempDir dir;
    const std::string root = MakeTree(dir);
    WriteFile(root + "/empty/Locked.dbx", "x");
    ASSERT_EQ(::chmod((root + "/empty").c_str(), 0), 0);
    // Permissions bind root only when it gives up its rights.
    const std::string asUser = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (!asUser.empty() && std::system("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "setpriv is not installed";
    const struct {
        std::string options;
        std::string lastLine;
    } cases[] = {
        {"", "1\t" + root + "/Mail.dbx/x.dbx?42?forged.dbx\n"},
        {"--json ", "{\"unreadable\": [{\"path\": \"" + root + "/empty\", \"error\": \"Permission denied\"}]}\n"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(dir, "find " + c.options + Quote(root), asUser);
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_TRUE(r.out.ends_with(c.lastLine)) << r.out;
        EXPECT_EQ(r.err, "quillmend-cli: find: " + root + "/empty: Permission denied\n");
    }
    // Nothing found, and not everything read: still 3, never "none there".
    EXPECT_EQ(Cli(dir, "find " + Quote(root + "/empty"), asUser).status, 3);
    ::chmod((root + "/empty").c_str(), 0755);
}

TEST(CliFind, AMailFileDeeperThanAPathMayBeLongIsFoundAndOpens)
{
    TempDir dir;
    const std::string mailbox = dir.File("Inbox.dbx");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(mailbox));
    const testsupport::DeepFolder deep(dir.Path().string(), std::string(250, 'm'), 20);
    ASSERT_EQ(::renameat(AT_FDCWD, mailbox.c_str(), deep.Fd(), "Deep.dbx"), 0);
    const std::string path = deep.path + "/Deep.dbx";
    ASSERT_GT(path.size(), 4096u);

    // With few descriptors to spare, as in a crowded session.
    const CliRun found = Cli(dir, "find -0 " + Quote(dir.Path().string()), "ulimit -n 40; ");
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out.substr(found.out.find('\t') + 1), path + '\0');
    const CliRun list = Cli(dir, "list --json " + Quote(path));
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_THAT(list.out, HasSubstr("\"index\":10")) << list.out.substr(0, 200);
}

TEST(CliPaths, FindListAndSaveTakeNamesThatAreNotTextAsTheirBytes)
{
    // A Latin-1 name from an old disk and a broken UTF-8 one, as the tool shows them.
    const struct {
        std::string bytes, shown;
    } names[] = {{"Entw\xFCrfe", "Entw\xC3\xBCrfe"}, {"bad\xC3(", "bad\xC3\x83("}};
    for (const auto& name : names) {
        TempDir dir;
        const std::string root = dir.Path().string();
        std::filesystem::create_directory(root + "/" + name.bytes);
        const std::string mailbox = root + "/" + name.bytes + "/" + name.bytes + ".dbx";
        ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(mailbox));
        const std::string shown = root + "/" + name.shown + "/" + name.shown + ".dbx";

        const CliRun plain = Cli(dir, "find " + Quote(root));
        EXPECT_TRUE(plain.out.ends_with("\t" + shown + "\n")) << plain.out;
        const CliRun json = Cli(dir, "find --json " + Quote(root));
        EXPECT_EQ(json.out.substr(json.out.rfind("{\"path\"")),
                  "{\"path\": \"" + shown + "\", \"pathHex\": \"" + Hex(mailbox) + "\", \"size\": " +
                      std::to_string(std::filesystem::file_size(mailbox)) + "}\n");

        EXPECT_EQ(Cli(dir, "list " + Quote(mailbox)).status, 0);
        const std::string out = root + "/o\xFFut " + name.bytes;
        const CliRun save = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out) + " --index 0,1 --manifest " +
                                         Quote(root + "/m.json"));
        EXPECT_EQ(save.status, 0) << save.err;
        // A name that is text stays readable in a folder whose name is not.
        EXPECT_THAT(save.out, HasSubstr("/\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 \xD1\x82\xD1\x80"
                                        "\xD0\xB5\xD1\x82\xD0\xB8\xD0\xB9 \xD0\xBA\xD0\xB2\xD0\xB0\xD1\x80.eml\n"));
        const std::string manifest = testsupport::ReadFile(root + "/m.json");
        EXPECT_THAT(manifest, HasSubstr("\"path\":\"" + shown + "\",\"pathHex\":\"" + Hex(mailbox) + "\""));
        EXPECT_THAT(manifest, HasSubstr("\"folderHex\":\"" + Hex(out) + "\""));
    }
}
