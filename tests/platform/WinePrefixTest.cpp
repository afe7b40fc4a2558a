// A Wine prefix seen from outside: the variables its programs get and
// where its Windows paths lie.

#include "platform/WinePrefix.h"

#include "support/TempDir.h"
#include "support/TestPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using platform::WinePrefix;
using testsupport::RegKey;
using testsupport::TempDir;
using testsupport::TestPrefix;

// --- %VAR% expansion ----------------------------------------------------------------

TEST(ExpandVariables, FollowsExpandEnvironmentStrings)
{
    const std::map<std::string, std::string> vars = {{"A", "alpha"}, {"EMPTY", ""}};
    auto lookup = [&](std::string_view name) -> const std::string* {
        std::string upper(name);
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto it = vars.find(upper);
        return it == vars.end() ? nullptr : &it->second;
    };
    const std::pair<const char*, const char*> cases[] = {
        {"%a%\\x", "alpha\\x"},         // names ignore case
        {"%NOPE%%A%", "%NOPE%alpha"},  // an unknown name stays, and scanning goes on after it
        {"x%EMPTY%y", "xy"},
        {"100%", "100%"},               // never closed
        {"%%", "%%"},
        {"a%A", "a%A"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(platform::ExpandVariables(text, lookup), expected) << text;
}

// --- variables of the prefix --------------------------------------------------------

TEST(WinePrefix, ProfileListGivesTheProfileAndStoredVariablesSeeIt)
{
    TempDir dir;
    TestPrefix prefix(dir.Path());
    prefix.SystemReg(RegKey("Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000")
                     + "\"ProfileImagePath\"=str(2):\"%SystemDrive%\\\\users\\\\ann\"\n"
                     + RegKey("System\\CurrentControlSet\\Control\\Session Manager\\Environment")
                     + "\"ComSpec\"=str(2):\"%SystemRoot%\\\\system32\\\\cmd.exe\"\n\"WHO\"=\"machine\"\n");
    prefix.UserReg(RegKey("Environment") + "\"TEMP\"=str(2):\"%USERPROFILE%\\\\Temp\"\n\"WHO\"=\"user\"\n"
                   "\"USERPROFILE\"=\"C:\\\\elsewhere\"\n"
                   + RegKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")
                   + "\"AppData\"=\"C:\\\\users\\\\ann\\\\Application Data\"\n");
    const WinePrefix wine(prefix.Root(), "someone-else");

    const std::map<std::string, std::string> expected = {
        {"UserProfile", "C:\\users\\ann"},  // the stored USERPROFILE does not win
        {"USERNAME", "ann"},
        {"HOMEDRIVE", "C:"},
        {"HOMEPATH", "\\users\\ann"},
        {"APPDATA", "C:\\users\\ann\\Application Data"},
        {"LOCALAPPDATA", "C:\\users\\ann\\AppData\\Local"},
        {"TEMP", "C:\\users\\ann\\Temp"},
        {"ComSpec", "C:\\windows\\system32\\cmd.exe"},
        {"WHO", "user"},
    };
    for (const auto& [name, value] : expected) {
        ASSERT_TRUE(wine.Variable(name)) << name;
        EXPECT_EQ(*wine.Variable(name), value) << name;
    }
    EXPECT_FALSE(wine.Variable("NOT_SET"));
}

TEST(WinePrefix, WithoutAProfileEntryTheUserFolderIsFoundOnDisk)
{
    struct Case {
        const char* what;
        std::vector<std::string> users;  // folders under drive_c/users besides Public
        std::string login;
        const char* profile;             // nullptr: USERPROFILE stays unset
    };
    const Case cases[] = {
        {"the login name's folder", {"ann", "bob"}, "bob", "C:\\users\\bob"},
        {"the only user folder", {"ann"}, "root", "C:\\users\\ann"},
        {"several and none matches", {"ann", "bob"}, "root", nullptr},
        {"none at all", {}, "root", nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        TestPrefix prefix(dir.Path());
        for (const std::string& user : c.users)
            prefix.Folder("users/" + user);
        const WinePrefix wine(prefix.Root(), c.login);
        if (c.profile) {
            ASSERT_TRUE(wine.Variable("USERPROFILE")) << c.what;
            EXPECT_EQ(*wine.Variable("USERPROFILE"), c.profile) << c.what;
        } else {
            EXPECT_FALSE(wine.Variable("USERPROFILE")) << c.what;
            EXPECT_EQ(wine.Expand("%UserProfile%\\x"), "%UserProfile%\\x") << c.what;
        }
    }
}

// --- Windows paths in the prefix ----------------------------------------------------

TEST(WinePrefix, WindowsPathsMapIntoTheDriveMatchingCaseOnlyWhenNeeded)
{
    TempDir dir;
    TestPrefix prefix(dir.Path());
    const std::string driveC = fs::canonical(dir.Path() / "drive_c").string();
    prefix.Folder("users/ann/Local Settings/Application Data");
    prefix.Folder("Same/x");
    prefix.Folder("same/y");  // differs from "Same" only in case
    const WinePrefix wine(prefix.Root(), "ann");

    const std::pair<const char*, std::string> cases[] = {
        {"C:\\users\\ann\\Local Settings", driveC + "/users/ann/Local Settings"},
        {"c:\\USERS\\Ann\\local settings\\APPLICATION DATA", driveC + "/users/ann/Local Settings/Application Data"},
        {"C:/users/ann/", driveC + "/users/ann"},
        {"C:\\same\\y", driveC + "/same/y"},  // exact first
        {"C:\\SAME\\x", driveC + "/Same/x"},  // else the first in byte order
        {"C:\\users\\..\\..\\users\\.\\ann", driveC + "/users/ann"},
        {"C:\\users\\nobody\\Mail", driveC + "/users/nobody/Mail"},  // kept as written
        {"C:", driveC},
        {"D:\\x", ""},  // no such drive
        {"\\\\server\\share", ""},
        {"relative\\path", ""},
        {"", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(wine.ToUnixPath(path), expected) << path;
}

TEST(WinePrefix, OtherDrivesComeFromDosdevicesAndCFallsBackToDriveC)
{
    TempDir dir;
    TestPrefix prefix(dir.Path());
    fs::create_directories(dir.Path() / "media" / "Mail");
    fs::create_directory_symlink(dir.Path() / "media", dir.Path() / "dosdevices" / "d:");
    fs::remove(dir.Path() / "dosdevices" / "c:");
    const WinePrefix wine(prefix.Root(), "root");
    EXPECT_EQ(wine.ToUnixPath("d:\\mail"), fs::canonical(dir.Path() / "media" / "Mail").string());
    EXPECT_EQ(wine.ToUnixPath("C:\\users"), fs::canonical(dir.Path() / "drive_c" / "users").string());
}
