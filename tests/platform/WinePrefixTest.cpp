// A Wine prefix seen from outside: the variables its programs get and
// where its Windows paths lie.

#include "platform/WinePrefix.h"

#include "support/TempDir.h"
#include "support/TestPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

namespace fs = std::filesystem;
using platform::WinePrefix;
using testsupport::RegKey;
using testsupport::TempDir;
using testsupport::TestPrefix;

// --- %VAR% expansion ----------------------------------------------------------------

namespace {

// A lookup over `vars` (upper-case names), as the prefix gives one.
auto LookupIn(const std::map<std::string, platform::VariableValue>& vars)
{
    return [&vars](std::string_view name) -> const platform::VariableValue* {
        std::string upper(name);
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto it = vars.find(upper);
        return it == vars.end() ? nullptr : &it->second;
    };
}

platform::VariableValue Value(std::string text)
{
    const std::size_t chars = platform::Utf16Length(text);
    return {std::move(text), chars};
}

} // namespace

TEST(ExpandVariables, FollowsExpandEnvironmentStrings)
{
    const std::map<std::string, platform::VariableValue> vars = {{"A", Value("alpha")}, {"EMPTY", Value("")}};
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
        EXPECT_EQ(platform::ExpandVariables(text, LookupIn(vars)), expected) << text;
}

TEST(ExpandVariables, AReferenceThatWouldPassTheCapStaysAsWritten)
{
    const std::size_t cap = platform::kMaxVariableChars;
    // 10,000 characters, as UTF-8 of one, two and four bytes (a four-byte
    // one is two UTF-16 units).
    const std::map<std::string, platform::VariableValue> vars = {
        {"A", Value(std::string(10000, 'a'))},
        {"E", Value(std::string(10000, '\xA9'))},  // not UTF-8: each byte counts as one
        {"U", Value([] { std::string u; for (int i = 0; i < 5000; ++i) u += "\xF0\x9F\x98\x80"; return u; }())},
    };
    EXPECT_EQ(vars.at("U").chars, 10000u);
    EXPECT_EQ(vars.at("E").chars, 10000u);
    struct Case {
        std::string text;
        std::size_t chars;  // of the result
        std::size_t left;   // references left as written
    };
    const Case cases[] = {
        {"%A%%A%%A%", 30000, 0},
        {"%A%%A%%A%%A%", 30000 + 3, 1},               // the fourth would pass the cap
        {"%A%%A%%A%" + std::string(2767, 'x'), cap, 0},  // exactly at the cap
        {"%A%%A%%A%" + std::string(2768, 'x'), 20000 + 3 + 2768, 1},  // the rest counts as written
        {"%U%%U%%U%%U%", 30000 + 3, 1},
        {"%E%%E%%E%%E%", 30000 + 3, 1},
        {std::string(cap + 1, 'x') + "%A%", cap + 4, 1},  // longer than the cap as written: nothing put in
    };
    for (const Case& c : cases) {
        const std::string out = platform::ExpandVariables(c.text, LookupIn(vars));
        EXPECT_EQ(platform::Utf16Length(out), c.chars) << c.text.size();
        std::size_t left = 0;
        for (std::size_t at = out.find("%A%"); at != std::string::npos; at = out.find("%A%", at + 1))
            ++left;
        for (const char* ref : {"%U%", "%E%"})
            left += out.find(ref) != std::string::npos ? 1 : 0;
        EXPECT_EQ(left, c.left) << c.text.size();
    }

    // A budget: each value put in is taken from it; past it, references stay.
    std::size_t budget = 25000;
    EXPECT_EQ(platform::ExpandVariables("%A%%A%%A%", LookupIn(vars), &budget), std::string(20000, 'a') + "%A%");
    EXPECT_EQ(budget, 5000u);
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
    // Other drives come from dosdevices; without its link C: is drive_c.
    fs::create_directories(dir.Path() / "media" / "Mail");
    fs::create_directory_symlink("../media", dir.Path() / "dosdevices" / "d:");  // relative, as c: is
    fs::remove(dir.Path() / "dosdevices" / "c:");
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
        {"d:\\mail", fs::canonical(dir.Path() / "media" / "Mail").string()},
        {"E:\\x", ""},  // no such drive
        {"\\\\server\\share", ""},
        {"relative\\path", ""},
        {"", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(wine.ToUnixPath(path), expected) << path;
}

// --- hostile variables ----------------------------------------------------------------

namespace {

// An [Environment] key whose values each refer `repeat` times to the one
// before, the first being `start` characters long.
std::string ChainedVariables(int values, int repeat, std::size_t start)
{
    std::string keys = RegKey("Environment") + "\"V0\"=\"" + std::string(start, 'x') + "\"\n";
    for (int i = 1; i < values; ++i) {
        keys += "\"V" + std::to_string(i) + "\"=str(2):\"";
        for (int n = 0; n < repeat; ++n)
            keys += "%V" + std::to_string(i - 1) + "%";
        keys += "\"\n";
    }
    return keys;
}

} // namespace

TEST(WinePrefix, HostileVariablesStayWithinTheCapAndTheWorkWithinItsBudget)
{
    std::string manyValues = RegKey("Environment") + "\"BIG\"=\"" + std::string(30000, 'b') + "\"\n";
    for (int i = 0; i < 300; ++i)  // 300 x 30,000 bytes would be 9 MB
        manyValues += "\"M" + std::to_string(i) + "\"=str(2):\"%BIG%\"\n";
    auto repeated = [](const std::string& piece, int times) {
        std::string out;
        for (int n = 0; n < times; ++n)
            out += piece;
        return out;
    };
    const std::string v1 = repeated(std::string(1000, 'x'), 32) + repeated("%V0%", 32);
    const std::string v2 = v1 + repeated("%V1%", 63);
    const struct {
        const char* what;
        std::string userKeys;
        std::vector<std::pair<const char*, std::optional<std::string>>> values;  // some of what it gives
    } cases[] = {
        // V1 takes 32 copies of V0 and keeps the other 32 references; V2 and
        // V3 take one copy of the value before and keep 63 references; V4
        // would pass the cap with one, and keeps all 64.
        {"2 KB: five values, each 64 references to the one before", ChainedVariables(5, 64, 1000),
         {{"V1", v1}, {"V2", v2}, {"V3", v2 + repeated("%V2%", 63)}, {"V4", repeated("%V3%", 64)}}},
        {"twenty values, each 1,000 references to the one before", ChainedVariables(20, 1000, 32), {}},
        // Past the budget, the references stay as written.
        {"300 values of one 30,000-character variable", manyValues,
         {{"M0", std::string(30000, 'b')}, {"M299", "%BIG%"}}},
        {"a value longer than the cap is not set",
         RegKey("Environment") + "\"LONG\"=\"" + std::string(platform::kMaxVariableChars + 1, 'x') + "\"\n\"FULL\"=\""
             + std::string(platform::kMaxVariableChars, 'x') + "\"\n",
         {{"LONG", std::nullopt}, {"FULL", std::string(platform::kMaxVariableChars, 'x')}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        TestPrefix prefix(dir.Path());
        prefix.UserReg(c.userKeys);
        const WinePrefix wine(prefix.Root(), "root");
        ASSERT_TRUE(wine.CurrentUser());
        EXPECT_LE(wine.ExpansionWork(), WinePrefix::kMaxExpansionBytes);
        for (const auto& [name, value] : wine.Variables()) {
            EXPECT_LE(platform::Utf16Length(value.text), platform::kMaxVariableChars) << name;
            EXPECT_EQ(value.chars, platform::Utf16Length(value.text)) << name;
        }
        for (const auto& [name, value] : c.values) {
            const auto* found = wine.Variable(name);
            EXPECT_EQ(found ? std::optional<std::string>(*found) : std::nullopt, value) << name;
        }
    }
}

// --- what is wrong with a prefix ------------------------------------------------------

TEST(WinePrefix, SaysWhyThereIsNoRegistryToRead)
{
    // (A missing prefix, a file and an empty folder: see the store command's tests.)
    TempDir dir;
    const std::string notRegistry = dir.File("other");
    fs::create_directory(notRegistry);
    testsupport::WriteFile(notRegistry + "/user.reg", "REGEDIT4\n");
    const std::string folderUserReg = dir.File("odd");
    fs::create_directories(folderUserReg + "/user.reg");
    const std::string good = dir.File("good");
    TestPrefix(good).UserReg("");

    const std::pair<std::string, std::string> cases[] = {
        {notRegistry, notRegistry + "/user.reg is not a Wine registry file"},
        {folderUserReg, folderUserReg + "/user.reg is not a file"},
        {good, ""},
    };
    for (const auto& [root, problem] : cases) {
        const WinePrefix wine(root, "root");
        EXPECT_EQ(wine.Problem(), problem) << root;
        EXPECT_EQ(wine.CurrentUser() != nullptr, problem.empty()) << root;
    }
}
