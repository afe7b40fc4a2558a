// Finding the Outlook Express store in Wine prefixes built by the tests:
// the registry steps, the expansion and mapping of the folder, and the
// mail files listed.

#include "store/StoreDiscovery.h"

#include "platform/WinePrefix.h"

#include "support/TempDir.h"
#include "support/TestPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testsupport::RegKey;
using testsupport::ScopedWinePrefix;
using testsupport::StoreRootKey;
using testsupport::TempDir;
using testsupport::TestPrefix;
using testsupport::WriteFile;

namespace {

constexpr const char* kAnnStore = "users/ann/Local Settings/Application Data/Identities/{A1}/Microsoft/Outlook Express";
constexpr const char* kBobStore = "users/ann/Local Settings/Application Data/Identities/{B2}/Microsoft/Outlook Express";
// Ann's store as the registry names it: a variable, and other letter case.
constexpr const char* kAnnValue =
    "%UserProfile%\\\\local settings\\\\APPLICATION DATA\\\\identities\\\\{A1}\\\\microsoft\\\\outlook express";

// A prefix whose profile is C:\users\ann, with two stores on disk: Ann's
// holding four mail files (one of them a folder and one a FIFO, neither a
// file) and a text file, and Bob's holding one mail file.
struct Prefix {
    TempDir dir;
    TestPrefix prefix{dir.Path() / "wine"};
    ScopedWinePrefix scoped{prefix.Root()};
    std::string annFolder;

    Prefix()
    {
        prefix.Profile("ann");
        annFolder = prefix.Folder(kAnnStore);
        for (const char* name : {"Sent Items.dbx", "Inbox.dbx", "folders.DBX", "Deleted Items.Dbx", "notes.txt"})
            WriteFile(annFolder + "/" + name, std::string(fs::path(name).stem().string().size(), 'x'));
        fs::create_directory(annFolder + "/Archive.dbx");
        ::mkfifo((annFolder + "/pipe.dbx").c_str(), 0600);
        WriteFile(prefix.Folder(kBobStore) + "/Bob.dbx", "b");
    }

    store::StoreFolder Discover(const std::string& userKeys)
    {
        prefix.UserReg(userKeys);
        return store::OpenStoreFolder(store::FindStoreFolder());
    }
};

std::vector<std::string> Names(const store::StoreFolder& found)
{
    std::vector<std::string> names;
    for (const store::MailFile& file : found.files)
        names.push_back(fs::path(file.path).filename().string());
    return names;
}

// `text` up to where `mark` begins, as a file cut short there.
std::string CutBefore(const std::string& text, const std::string& mark)
{
    return text.substr(0, text.find(mark));
}

const std::vector<std::string> kAnnFiles = {"Deleted Items.Dbx", "folders.DBX", "Inbox.dbx", "Sent Items.dbx"};

} // namespace

// --- where the store is ---------------------------------------------------------------

TEST(StoreDiscovery, FindsTheFirstIdentitysStore)
{
    const std::string kAnnValueText = "%UserProfile%\\local settings\\APPLICATION DATA\\identities\\{A1}\\microsoft"
                                      "\\outlook express";
    const struct {
        const char* what;
        std::string userKeys;
        std::string registryValue;       // what FindStoreFolder gives
        std::vector<std::string> files;  // names listed; empty with no store
        bool found;
        const char* folder = nullptr;    // the folder found, under drive_c
    } cases[] = {
        {"no Identities key", RegKey("Software\\Wine") + "\"Version\"=\"win2k\"\n", "", {}, false},
        {"an identity without Outlook Express settings",
         RegKey("Identities\\{A1}") + "\"Username\"=\"Main Identity\"\n", "", {}, false},
        {"%UserProfile% expanded, the path matched ignoring case",
         StoreRootKey("{A1}", std::string("str(2):\"") + kAnnValue + "\""), kAnnValueText, kAnnFiles, true, kAnnStore},
        {"a REG_SZ value, read whatever its type",
         StoreRootKey("{A1}", std::string("\"") + kAnnValue + "\""), kAnnValueText, kAnnFiles, true, kAnnStore},
        {"a hex(2): value over continuation lines",
         StoreRootKey("{B2}", "hex(2):43,00,3a,00,5c,00,55,00,53,00,45,00,52,00,53,00,5c,00,61,00,6e,00,\\\n"
                              "  6e,00,5c,00,4c,00,6f,00,63,00,61,00,6c,00,20,00,53,00,65,00,74,00,74,00,\\\n"
                              "  69,00,6e,00,67,00,73,00,5c,00,61,00,70,00,70,00,6c,00,69,00,63,00,61,00,\\\n"
                              "  74,00,69,00,6f,00,6e,00,20,00,64,00,61,00,74,00,61,00,5c,00,69,00,64,00,\\\n"
                              "  65,00,6e,00,74,00,69,00,74,00,69,00,65,00,73,00,5c,00,7b,00,62,00,32,00,\\\n"
                              "  7d,00,5c,00,6d,00,69,00,63,00,72,00,6f,00,73,00,6f,00,66,00,74,00,5c,00,\\\n"
                              "  6f,00,75,00,74,00,6c,00,6f,00,6f,00,6b,00,20,00,65,00,78,00,70,00,72,00,\\\n"
                              "  65,00,73,00,73,00,00,00"),
         "C:\\USERS\\ann\\Local Settings\\application data\\identities\\{b2}\\microsoft\\outlook express",
         {"Bob.dbx"}, true},
        {"several identities: the first in name order, not in file order",
         StoreRootKey("{B2}", "\"C:\\\\users\\\\ann\\\\x\"") + RegKey("Identities")
             + "\"Default User ID\"=\"{B2}\"\n" + StoreRootKey("{A1}", std::string("\"") + kAnnValue + "\""),
         kAnnValueText, kAnnFiles, true, kAnnStore},
        {"variables further on are not expanded",
         StoreRootKey("{A1}", "\"C:\\\\%USERNAME%\\\\Mail\""), "C:\\%USERNAME%\\Mail", {}, false},
        {"a folder that does not exist", StoreRootKey("{A1}", "\"C:\\\\gone\""), "C:\\gone", {}, false},
        {"a value naming no drive", StoreRootKey("{A1}", "\"\\\\\\\\server\\\\mail\""), "\\\\server\\mail",
         {}, false},
        {"user.reg cut inside the value: the damaged value is not used",
         CutBefore(StoreRootKey("{A1}", std::string("str(2):\"") + kAnnValue + "\""), "APPLICATION"), "",
         {}, false},
        {"user.reg cut in a line after the store's key",
         StoreRootKey("{A1}", std::string("str(2):\"") + kAnnValue + "\"") + "\n[Software\\\\Wi",
         kAnnValueText, kAnnFiles, true, kAnnStore},
        {"a store without mail files is found and empty", StoreRootKey("{A1}", "\"%USERPROFILE%\\\\empty store\""),
         "%USERPROFILE%\\empty store", {}, true, "users/ann/Empty Store"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Prefix wine;
        wine.prefix.Folder("users/ann/Empty Store");
        const store::StoreFolder found = wine.Discover(c.userKeys);
        EXPECT_EQ(found.registryValue, c.registryValue);
        EXPECT_EQ(found.found, c.found) << found.why;
        EXPECT_EQ(Names(found), c.files);
        if (c.folder) {
            EXPECT_EQ(fs::canonical(found.folder), fs::canonical(wine.dir.Path() / "wine/drive_c" / c.folder));
        }
    }
}

TEST(StoreDiscoveryFolder, NoPrefixOrAnUnreadableRegistryIsNoStore)
{
    // Too big to be a registry Wine wrote: not read at all (sparse, so cheap).
    Prefix wine;
    wine.prefix.UserReg(StoreRootKey("{A1}", std::string("\"") + kAnnValue + "\""));
    fs::resize_file(wine.dir.Path() / "wine/user.reg", platform::WinePrefix::kMaxHiveBytes + 1);
    std::string why;
    EXPECT_EQ(store::FindStoreFolder(&why), "");
    EXPECT_EQ(why, wine.prefix.Root() + "/user.reg is too big to be a registry file Wine wrote");
    // The empty value names no folder here: nothing is listed, not "/".
    const store::StoreFolder none = store::OpenStoreFolder("");
    EXPECT_EQ(none.folder, "");
    EXPECT_FALSE(none.found);
    EXPECT_TRUE(none.files.empty());
}

// --- every identity ---------------------------------------------------------------------

namespace {

std::string Identity(std::string_view id, std::string_view username)
{
    return RegKey("Identities\\" + std::string(id)) + "\"Username\"=\"" + std::string(username) + "\"\n";
}

// "username=folder name" of each identity, and of the further stores.
std::vector<std::string> Summary(const std::vector<store::IdentityStore>& identities)
{
    std::vector<std::string> out;
    for (const store::IdentityStore& identity : identities)
        out.push_back(identity.username + "="
                      + (identity.store.found ? fs::path(identity.store.folder).filename().string() : "-"));
    return out;
}

std::vector<std::string> Further(const std::vector<store::IdentityStore>& identities)
{
    std::vector<std::string> out;
    for (const store::IdentityStore* identity : store::FurtherStores(identities))
        out.push_back(identity->username);
    return out;
}

} // namespace

TEST(StoreIdentities, EveryIdentityInTheOrderOutlookExpressPicksThemOneStorePerFolder)
{
    struct Case {
        const char* what;
        std::string userKeys;
        std::vector<std::string> identities;  // first identity first, then Outlook Express's order
        std::vector<std::string> further;     // those with a place of their own
    };
    const std::string ids = RegKey("Identities") + "\"Last User ID\"=\"{c3}\"\n\"Default User ID\"=\"{B2}\"\n";
    const std::string four = Identity("{A1}", "Ann") + Identity("{B2}", "Bob") + Identity("{C3}", "Cy")
                             + Identity("{D4}", "Di");
    const std::string stores = StoreRootKey("{A1}", "\"C:\\\\mail\\\\ann\"") + StoreRootKey("{B2}", "\"C:\\\\mail\\\\bob\"")
                               + StoreRootKey("{C3}", "\"C:\\\\mail\\\\cy\"") + StoreRootKey("{D4}", "\"C:\\\\mail\\\\di\"");
    const Case cases[] = {
        {"last, default, then by name", ids + four + stores, {"Ann=ann", "Cy=cy", "Bob=bob", "Di=di"},
         {"Cy", "Bob", "Di"}},
        {"no last or default user", four + stores, {"Ann=ann", "Bob=bob", "Cy=cy", "Di=di"}, {"Bob", "Cy", "Di"}},
        {"the first has no settings: the others are still found",
         ids + four + StoreRootKey("{C3}", "\"C:\\\\mail\\\\cy\"") + StoreRootKey("{D4}", "\"C:\\\\mail\\\\di\""),
         {"Ann=-", "Cy=cy", "Bob=-", "Di=di"}, {"Cy", "Di"}},
        {"one folder, however spelt, is listed once",
         four + StoreRootKey("{A1}", "\"C:\\\\mail\\\\ann\"") + StoreRootKey("{B2}", "\"C:\\\\MAIL\\\\Ann\"")
             + StoreRootKey("{C3}", "\"C:\\\\mail\\\\..\\\\mail\\\\cy\"") + StoreRootKey("{D4}", "\"C:\\\\mail\\\\cy\""),
         {"Ann=ann", "Bob=ann", "Cy=cy", "Di=cy"}, {"Cy"}},
        {"a folder that does not exist gets no place",
         four + stores + StoreRootKey("{B2}", "\"C:\\\\mail\\\\gone\""), {"Ann=ann", "Bob=-", "Cy=cy", "Di=di"},
         {"Cy", "Di"}},
        {"last and default naming no identity, or the first",
         RegKey("Identities") + "\"Last User ID\"=\"{00000000-0000-0000-0000-000000000000}\"\n"
                                "\"Default User ID\"=\"{a1}\"\n" + four + stores,
         {"Ann=ann", "Bob=bob", "Cy=cy", "Di=di"}, {"Bob", "Cy", "Di"}},
        {"no Identities key", RegKey("Software\\Wine"), {}, {}},
    };
    for (const Case& c : cases) {
        Prefix wine;
        for (const char* name : {"ann", "bob", "cy", "di"})
            wine.prefix.Folder(std::string("mail/") + name);
        wine.prefix.UserReg(c.userKeys);
        const std::vector<store::IdentityStore> identities = store::FindIdentityStores();
        EXPECT_EQ(Summary(identities), c.identities) << c.what;
        EXPECT_EQ(Further(identities), c.further) << c.what;
    }
}

TEST(StoreIdentities, AHostileRegistryGivesBoundedIdentitiesAndNames)
{
    Prefix wine;
    std::string keys = RegKey("Identities") + "\"Last User ID\"=\"{zzzz}\"\n";
    for (int i = 0; i < 2000; ++i)
        keys += RegKey("Identities\\{" + std::to_string(10000 + i) + "}");
    keys += Identity("{zzzz}", std::string(100000, 'n'));
    wine.prefix.UserReg(keys);
    const std::vector<store::IdentityStore> identities = store::FindIdentityStores();
    ASSERT_EQ(identities.size(), store::kMaxIdentities);
    // The last user lies past the identities looked at: not among them.
    for (const store::IdentityStore& identity : identities) {
        EXPECT_NE(identity.identity, "{zzzz}");
        EXPECT_FALSE(identity.store.found);
        EXPECT_NE(identity.store.why, "");
    }
    // A long user name is cut, at a character's start.
    wine.prefix.UserReg(Identity("{A1}", std::string(300, 'x') + "\xC3\xA9"));
    EXPECT_EQ(store::FindIdentityStores().at(0).username, std::string(256, 'x'));
}

TEST(StoreDiscoveryFolder, APrefixMadeAfterTheFirstLookIsReadAgain)
{
    TempDir dir;
    const std::string root = dir.File("later");
    fs::create_directory(root);
    ScopedWinePrefix scoped(root);
    std::string why;
    EXPECT_EQ(store::FindStoreFolder(&why), "");
    EXPECT_EQ(why, root + " is not a Wine prefix: it has no user.reg");
    TestPrefix(root).UserReg("");
    store::FindStoreFolder(&why);
    EXPECT_EQ(why, "no Outlook Express identity in the Wine prefix " + root);
}
