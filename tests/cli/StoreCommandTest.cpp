// `quillmend-cli store` against Wine prefixes built by the test: output,
// JSON shape, exit status, and paths that are not text.

#include "CliRun.h"
#include "support/TempDir.h"
#include "support/TestPrefix.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::Cli;
using testsupport::CliRun;
using testsupport::Hex;
using testsupport::Quote;
using testsupport::StoreRootKey;
using testsupport::TempDir;
using testsupport::TestPrefix;
using testsupport::WriteFile;

namespace {

// Runs `quillmend-cli store <args>` with WINEPREFIX set to `prefix`.
CliRun Store(const TempDir& dir, const std::string& prefix, const std::string& args)
{
    return Cli(dir, "store " + args, "WINEPREFIX=" + Quote(prefix) + " ");
}

// A prefix under `name` whose store folder (C:\users\ann\Mail, named in
// other case) holds `files` (name, bytes).
std::string MakePrefix(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files,
                       const std::string& name = "wine")
{
    TestPrefix prefix(dir.Path() / name);
    prefix.Profile("ann");
    const std::string folder = prefix.Folder("users/ann/Mail");
    for (const auto& [file, bytes] : files)
        WriteFile(folder + "/" + file, bytes);
    prefix.UserReg(StoreRootKey("{A1}", "str(2):\"%USERPROFILE%\\\\MAIL\""));
    return prefix.Root();
}

// The JSON of a prefix with one identity, `members` being its store's.
std::string OneIdentity(const std::string& members)
{
    return "{" + members + ",\"identities\":[\n{\"identity\":\"{A1}\",\"username\":\"\"," + members + "}\n]}\n";
}

} // namespace

TEST(CliStore, ListsTheFolderThenSizeAndPathOfEachMailFile)
{
    TempDir dir;
    const std::string prefix = MakePrefix(dir, {{"Sent.dbx", "12345"}, {"inbox.DBX", "123"}, {"a.txt", "1"}});
    const std::string folder = fs::canonical(dir.Path() / "wine/drive_c/users/ann/Mail").string();

    const CliRun text = Store(dir, prefix, "");
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "{A1}: " + folder + "\n3\t" + folder + "/inbox.DBX\n5\t" + folder + "/Sent.dbx\n");
    EXPECT_EQ(text.err, "");

    const CliRun json = Store(dir, prefix, "--json");
    EXPECT_EQ(json.status, 0) << json.err;
    const std::string members = "\"registryValue\":\"%USERPROFILE%\\\\MAIL\",\"folder\":\"" + folder + "\",\"files\":[\n"
                                "{\"path\":\"" + folder + "/inbox.DBX\",\"size\":3},\n"
                                "{\"path\":\"" + folder + "/Sent.dbx\",\"size\":5}\n],\"reason\":null";
    EXPECT_EQ(json.out, OneIdentity(members));

    // A store without mail files is still found.
    TempDir empty;
    const CliRun none = Store(empty, MakePrefix(empty, {}), "");
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "{A1}: " + fs::canonical(empty.Path() / "wine/drive_c/users/ann/Mail").string() + "\n");
}

TEST(CliPaths, TheStoreGivesItsFolderAndFilesWithTheirBytes)
{
    for (const std::string name : {"Entw\xFCrfe", "bad\xC3("}) {
        TempDir dir;
        const CliRun json = Store(dir, MakePrefix(dir, {{"Inbox.dbx", "123"}}, name), "--json");
        const std::string real = fs::canonical(dir.Path() / name / "drive_c/users/ann/Mail").string();
        EXPECT_EQ(json.status, 0) << json.err;
        EXPECT_THAT(json.out, HasSubstr("\"folderHex\":\"" + Hex(real) + "\""));
        EXPECT_THAT(json.out, HasSubstr("\"pathHex\":\"" + Hex(real + "/Inbox.dbx") + "\""));
        EXPECT_THAT(json.out, Not(HasSubstr(name)));  // JSON is text
    }
}

TEST(CliStore, AStoreFolderThatIsGoneExitsWithOneAndSaysWhy)
{
    TempDir dir;
    TestPrefix prefix(dir.Path() / "wine");
    prefix.UserReg(StoreRootKey("{A1}", "\"C:\\\\gone\""));
    const CliRun json = Store(dir, prefix.Root(), "--json");
    EXPECT_EQ(json.status, 1);
    const std::string members = "\"registryValue\":\"C:\\\\gone\",\"folder\":null,\"files\":[],\"reason\":\"the store folder "
                                + fs::canonical(dir.Path() / "wine/drive_c").string() + "/gone does not exist\"";
    EXPECT_EQ(json.out, OneIdentity(members));
    EXPECT_THAT(json.err, HasSubstr("does not exist"));
}

TEST(CliStore, SaysWhatIsWrongWithThePrefix)
{
    TempDir dir;
    const std::string file = dir.File("file");
    WriteFile(file, "x");
    const std::string empty = dir.File("empty");
    fs::create_directory(empty);
    const std::string home = dir.File("home");
    fs::create_directory(home);
    TestPrefix noIdentity(dir.Path() / "wine");
    noIdentity.UserReg("");
    struct Case {
        std::string environment;  // shell words before the command
        std::string reason;
    };
    const Case cases[] = {
        {"WINEPREFIX=" + Quote(dir.File("missing")) + " ", "the Wine prefix " + dir.File("missing") + " does not exist"},
        {"WINEPREFIX=" + Quote(file) + " ", "the Wine prefix " + file + " is not a folder"},
        {"WINEPREFIX=" + Quote(empty) + " ", empty + " is not a Wine prefix: it has no user.reg"},
        {"WINEPREFIX=" + Quote(noIdentity.Root()) + " ",
         "no Outlook Express identity in the Wine prefix " + noIdentity.Root()},
        {"unset WINEPREFIX; HOME=" + Quote(home) + " ",
         "no Wine prefix: WINEPREFIX is not set and " + home + "/.wine does not exist"},
    };
    for (const Case& c : cases) {
        const CliRun text = Cli(dir, "store", c.environment);
        EXPECT_EQ(text.status, 1) << c.reason;
        EXPECT_EQ(text.out, "") << c.reason;
        EXPECT_EQ(text.err, "quillmend-cli: store: no Outlook Express store found: " + c.reason + "\n");
        const CliRun json = Cli(dir, "store --json", c.environment);
        EXPECT_EQ(json.status, 1) << c.reason;
        EXPECT_EQ(json.out, std::string("{\"registryValue\":\"\",\"folder\":null,\"files\":[],\"reason\":")
                                + "\"" + c.reason + "\"" + ",\"identities\":[]}\n");
    }
}

TEST(CliStore, ListsTheStoreOfEveryIdentity)
{
    TempDir dir;
    TestPrefix prefix(dir.Path() / "wine");
    const std::string ann = prefix.Folder("mail/ann");
    const std::string bob = prefix.Folder("mail/bob");
    WriteFile(bob + "/Inbox.dbx", "12");
    const std::string bobFolder = fs::canonical(bob).string();
    const std::string identities = testsupport::RegKey("Identities") + "\"Last User ID\"=\"{B2}\"\n"
                                   + testsupport::RegKey("Identities\\{A1}") + "\"Username\"=\"Main Identity\"\n"
                                   + testsupport::RegKey("Identities\\{B2}") + "\"Username\"=\"Bob\\n\\x1b[31m\"\n"
                                   + StoreRootKey("{B2}", "\"C:\\\\mail\\\\bob\"");

    // The first identity has no store: Bob's is listed, and the first's
    // reason is said.
    prefix.UserReg(identities);
    const CliRun text = Store(dir, prefix.Root(), "");
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "Bob??[31m {B2}: " + bobFolder + "\n2\t" + bobFolder + "/Inbox.dbx\n");
    EXPECT_THAT(text.err, HasSubstr("store: the first identity, Main Identity {A1}, has no store: no Outlook Express "
                                    "settings for identity {A1}"));
    const CliRun json = Store(dir, prefix.Root(), "--json");
    EXPECT_EQ(json.status, 0);
    EXPECT_THAT(json.out, HasSubstr("\"identities\":[\n{\"identity\":\"{A1}\",\"username\":\"Main Identity\","
                                    "\"registryValue\":\"\",\"folder\":null,\"files\":[],"
                                    "\"reason\":\"no Outlook Express settings for identity {A1}"));
    EXPECT_THAT(json.out, HasSubstr("{\"identity\":\"{B2}\",\"username\":\"Bob\\n\\u001b[31m\","
                                    "\"registryValue\":\"C:\\\\mail\\\\bob\",\"folder\":\"" + bobFolder +
                                    "\",\"files\":[\n{\"path\":\"" + bobFolder +
                                    "/Inbox.dbx\",\"size\":2}\n],\"reason\":null}\n]}\n"));

    // With a store of its own, the first identity comes first.
    prefix.UserReg(identities + StoreRootKey("{A1}", "\"C:\\\\mail\\\\ann\""));
    const CliRun both = Store(dir, prefix.Root(), "");
    EXPECT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out, "Main Identity {A1}: " + fs::canonical(ann).string() + "\nBob??[31m {B2}: " + bobFolder + "\n2\t"
                            + bobFolder + "/Inbox.dbx\n");
    EXPECT_EQ(both.err, "");
}

TEST(CliStore, UsageErrorsExitWithTwo)
{
    TempDir dir;
    for (const char* args : {"--bogus", "extra", "--json extra"}) {
        const CliRun r = Store(dir, dir.File("none"), args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_THAT(r.err, HasSubstr("usage: quillmend-cli store")) << args;
    }
    EXPECT_EQ(Store(dir, dir.File("none"), "--help").status, 0);
}
