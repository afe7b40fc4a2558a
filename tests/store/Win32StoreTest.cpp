// The store lookup through the real registry functions: keys written by the
// test itself into HKEY_CURRENT_USER of the scratch Wine prefix the cross
// build runs its tests in (never into a real user's registry).

#include "store/StoreDiscovery.h"

#include "platform/Directory.h"
#include "platform/FsPath.h"
#include "platform/Registry.h"

#include "support/LinuxSide.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// HKEY_CURRENT_USER\Identities as a test writes it, removed again after.
class TestIdentities {
public:
    TestIdentities() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities"); }
    ~TestIdentities() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities"); }

    static void Set(const std::wstring& key, const std::wstring& name, const std::wstring& text,
                    DWORD type = REG_SZ)
    {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(RegSetValueExW(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes),
                  ERROR_SUCCESS);
        RegCloseKey(h);
    }
    static void SetStoreRoot(const std::wstring& identity, const std::wstring& root)
    {
        Set(L"Identities\\" + identity + L"\\Software\\Microsoft\\Outlook Express\\5.0", L"Store Root", root,
            REG_EXPAND_SZ);
    }
};

} // namespace

TEST(Win32Store, TheRegistryIsReadThroughWindowsInItsOwnOrder)
{
    if (!testsupport::UnderWine())
        GTEST_SKIP() << "writes HKEY_CURRENT_USER\\Identities: only in a scratch Wine prefix";
    TestIdentities identities;
    TempDir dir;
    const std::string first = dir.File("First Store");
    const std::string other = dir.File("Other");
    CreateDirectoryW(platform::ToFsPath(first).c_str(), nullptr);
    CreateDirectoryW(platform::ToFsPath(other).c_str(), nullptr);
    WriteFile(first + "\\Inbox.dbx", std::string(100, 'i'));
    WriteFile(first + "\\Sent Items.DBX", std::string(50, 's'));
    WriteFile(first + "\\Folders.txt", "x");
    WriteFile(other + "\\Deleted Items.dbx", "d");

    // Sorted ignoring case "{aaaa}" comes first, though 'B' < 'a'.
    TestIdentities::Set(L"Identities\\{BBBB}", L"Username", L"Ann \u00C5berg");
    TestIdentities::SetStoreRoot(L"{BBBB}", L"%QM_TEST_STORES%\\Other");
    TestIdentities::Set(L"Identities\\{aaaa}", L"Username", L"Tom");
    TestIdentities::SetStoreRoot(L"{aaaa}", platform::ToFsPath(first).native());
    TestIdentities::Set(L"Identities", L"Last User ID", L"{bbbb}");
    ASSERT_TRUE(SetEnvironmentVariableW(L"QM_TEST_STORES", dir.Path().native().c_str()));

    platform::RegistryKey key;
    ASSERT_TRUE(key.Open("identities"));  // case ignored
    std::string name;
    ASSERT_TRUE(key.EnumKey(0, name));
    EXPECT_EQ(name, "{aaaa}");
    ASSERT_TRUE(key.EnumKey(1, name));
    EXPECT_EQ(name, "{BBBB}");
    EXPECT_FALSE(key.EnumKey(2, name));
    ASSERT_TRUE(key.Open("Identities\\{BBBB}"));
    ASSERT_TRUE(key.QueryValue("Username", name));
    EXPECT_EQ(name, "Ann \xC3\x85" "berg");
    EXPECT_FALSE(key.QueryValue("Missing", name));
    EXPECT_FALSE(key.Open("Identities\\{CCCC}"));
    EXPECT_EQ(platform::ExpandEnvironment("%QM_TEST_STORES%\\x %NOT_SET_ANYWHERE%"),
              dir.Path().string() + "\\x %NOT_SET_ANYWHERE%");
    EXPECT_TRUE(platform::RegistryProblem().empty());

    EXPECT_EQ(store::FindStoreFolder(), first);
    const std::vector<store::IdentityStore> stores = store::FindIdentityStores();
    ASSERT_EQ(stores.size(), 2u);
    EXPECT_EQ(stores[0].identity, "{aaaa}");
    EXPECT_EQ(stores[0].username, "Tom");
    ASSERT_TRUE(stores[0].store.found);
    ASSERT_EQ(stores[0].store.files.size(), 2u);  // ".dbx" in any case, in name order
    EXPECT_EQ(stores[0].store.files[0].path, first + "\\Inbox.dbx");
    EXPECT_EQ(stores[0].store.files[0].size, 100u);
    EXPECT_EQ(stores[0].store.files[1].path, first + "\\Sent Items.DBX");
    EXPECT_EQ(stores[1].username, "Ann \xC3\x85" "berg");
    ASSERT_TRUE(stores[1].store.found);
    EXPECT_EQ(stores[1].store.folder, other);
    ASSERT_EQ(stores[1].store.files.size(), 1u);
    EXPECT_EQ(store::FurtherStores(stores).size(), 1u);
}

TEST(Win32Store, NoIdentitiesIsSaidPlainly)
{
    if (!testsupport::UnderWine())
        GTEST_SKIP() << "removes HKEY_CURRENT_USER\\Identities: only in a scratch Wine prefix";
    TestIdentities identities;
    std::string why;
    EXPECT_EQ(store::FindStoreFolder(&why), "");
    EXPECT_EQ(why, "no Outlook Express identity in the registry of the current user");
    EXPECT_TRUE(store::FindIdentityStores().empty());
}
