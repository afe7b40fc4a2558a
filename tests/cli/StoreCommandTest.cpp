// `quillmend-cli store` against Wine prefixes built by the test: output,
// JSON shape and exit status.

#include "CliRun.h"
#include "support/TempDir.h"
#include "support/TestPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::Cli;
using testsupport::CliRun;
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

// A prefix whose store folder (C:\users\ann\Mail, named in other case)
// holds `files` (name, bytes).
std::string MakePrefix(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files)
{
    TestPrefix prefix(dir.Path() / "wine");
    prefix.Profile("ann");
    const std::string folder = prefix.Folder("users/ann/Mail");
    for (const auto& [name, bytes] : files)
        WriteFile(folder + "/" + name, bytes);
    prefix.UserReg(StoreRootKey("{A1}", "str(2):\"%USERPROFILE%\\\\MAIL\""));
    return prefix.Root();
}

} // namespace

TEST(CliStore, ListsTheFolderThenSizeAndPathOfEachMailFile)
{
    TempDir dir;
    const std::string prefix = MakePrefix(dir, {{"Sent.dbx", "12345"}, {"inbox.DBX", "123"}, {"a.txt", "1"}});
    const std::string folder = fs::canonical(dir.Path() / "wine/drive_c/users/ann/Mail").string();

    const CliRun text = Store(dir, prefix, "");
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, folder + "\n3\t" + folder + "/inbox.DBX\n5\t" + folder + "/Sent.dbx\n");
    EXPECT_EQ(text.err, "");

    const CliRun json = Store(dir, prefix, "--json");
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "{\"registryValue\":\"%USERPROFILE%\\\\MAIL\",\"folder\":\"" + folder + "\",\"files\":[\n"
                        "{\"path\":\"" + folder + "/inbox.DBX\",\"size\":3},\n"
                        "{\"path\":\"" + folder + "/Sent.dbx\",\"size\":5}\n]}\n");
}

TEST(CliStore, AStoreWithoutMailFilesIsStillFound)
{
    TempDir dir;
    const CliRun r = Store(dir, MakePrefix(dir, {}), "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, fs::canonical(dir.Path() / "wine/drive_c/users/ann/Mail").string() + "\n");
}

TEST(CliStore, NoStoreExitsWithOneAndSaysWhy)
{
    TempDir dir;
    TestPrefix prefix(dir.Path() / "wine");
    prefix.UserReg("");
    const CliRun text = Store(dir, prefix.Root(), "");
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, "");
    EXPECT_NE(text.err.find("no Outlook Express store found: no Outlook Express identity in the Wine prefix "
                            + prefix.Root()),
              std::string::npos)
        << text.err;

    prefix.UserReg(StoreRootKey("{A1}", "\"C:\\\\gone\""));
    const CliRun json = Store(dir, prefix.Root(), "--json");
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "{\"registryValue\":\"C:\\\\gone\",\"folder\":null,\"files\":[]}\n");
    EXPECT_NE(json.err.find("does not exist"), std::string::npos) << json.err;
}

TEST(CliStore, UsageErrorsExitWithTwo)
{
    TempDir dir;
    for (const char* args : {"--bogus", "extra", "--json extra"}) {
        const CliRun r = Store(dir, dir.File("none"), args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage: quillmend-cli store"), std::string::npos) << args;
    }
    EXPECT_EQ(Store(dir, dir.File("none"), "--help").status, 0);
}
