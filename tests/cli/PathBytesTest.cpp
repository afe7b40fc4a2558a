// Names that are not UTF-8 through the command-line tool: a Latin-1 name
// from an old disk and a broken UTF-8 one reach every command as their
// bytes, and every JSON output gives such a path as readable text and as
// its exact bytes in hex.

#include "CliRun.h"
#include "support/TempDir.h"
#include "support/TestPrefix.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::Cli;
using testsupport::CliRun;
using testsupport::Quote;
using testsupport::TempDir;

namespace {

struct OddName {
    std::string bytes;
    std::string shown;  // as the tool shows it
};
const OddName kNames[] = {{"Entw\xFCrfe", "Entw\xC3\xBCrfe"}, {"bad\xC3(", "bad\xC3\x83("}};

std::string Hex(std::string_view bytes)
{
    std::string hex;
    for (const char c : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
        hex += two;
    }
    return hex;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CliPaths, FindListAndSaveTakeNamesThatAreNotTextAsTheirBytes)
{
    for (const OddName& name : kNames) {
        TempDir dir;
        const std::string root = dir.Path().string();
        fs::create_directory(root + "/" + name.bytes);
        const std::string mailbox = root + "/" + name.bytes + "/" + name.bytes + ".dbx";
        ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(mailbox));
        const std::string shown = root + "/" + name.shown + "/" + name.shown + ".dbx";

        const CliRun plain = Cli(dir, "find " + Quote(root));
        EXPECT_TRUE(plain.out.ends_with("\t" + shown + "\n")) << plain.out;
        const CliRun json = Cli(dir, "find --json " + Quote(root));
        EXPECT_EQ(json.out.substr(json.out.rfind("{\"path\"")),
                  "{\"path\": \"" + shown + "\", \"pathHex\": \"" + Hex(mailbox) + "\", \"size\": " +
                      std::to_string(fs::file_size(mailbox)) + "}\n");

        EXPECT_EQ(Cli(dir, "list " + Quote(mailbox)).status, 0);
        const std::string out = root + "/o\xFFut " + name.bytes;
        const CliRun save = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out) + " --index 0,1 --manifest " +
                                         Quote(root + "/m.json"));
        EXPECT_EQ(save.status, 0) << save.err;
        // A name that is text stays readable in a folder whose name is not.
        EXPECT_TRUE(Has(save.out, "/\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 "
                                  "\xD1\x82\xD1\x80\xD0\xB5\xD1\x82\xD0\xB8\xD0\xB9 "
                                  "\xD0\xBA\xD0\xB2\xD0\xB0\xD1\x80.eml\n")) << save.out;
        const std::string manifest = testsupport::ReadFile(root + "/m.json");
        EXPECT_TRUE(Has(manifest, "\"path\":\"" + shown + "\",\"pathHex\":\"" + Hex(mailbox) + "\"")) << manifest;
        EXPECT_TRUE(Has(manifest, "\"folderHex\":\"" + Hex(out) + "\"")) << manifest;
    }
}

TEST(CliPaths, TheStoreGivesItsFolderAndFilesWithTheirBytes)
{
    for (const OddName& name : kNames) {
        TempDir dir;
        testsupport::TestPrefix prefix(dir.Path() / name.bytes);
        prefix.Profile("ann");
        const std::string folder = prefix.Folder("users/ann/Mail");
        testsupport::WriteFile(folder + "/Inbox.dbx", "123");
        prefix.UserReg(testsupport::StoreRootKey("{A1}", "str(2):\"%USERPROFILE%\\\\Mail\""));
        const std::string real = fs::canonical(folder).string();

        const CliRun json = Cli(dir, "store --json", "WINEPREFIX=" + Quote(prefix.Root()) + " ");
        EXPECT_EQ(json.status, 0) << json.err;
        EXPECT_TRUE(Has(json.out, "\"folderHex\":\"" + Hex(real) + "\"")) << json.out;
        EXPECT_TRUE(Has(json.out, "\"pathHex\":\"" + Hex(real + "/Inbox.dbx") + "\"")) << json.out;
        EXPECT_FALSE(Has(json.out, name.bytes));  // JSON is text
    }
}
