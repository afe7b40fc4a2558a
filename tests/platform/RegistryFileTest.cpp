// Wine's registry text files: value encodings, key order and damaged input.

#include "platform/RegistryFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using platform::RegistryFile;

namespace {

const std::string kHeader = "WINE REGISTRY Version 2\n"
                            ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";

// Value `name` of key `key` as a narrow read gives it; nullopt when missing.
std::optional<std::string> Read(const std::string& body, const std::string& key, const std::string& name)
{
    const auto file = RegistryFile::Parse(kHeader + body);
    if (!file)
        return std::nullopt;
    const auto id = file->FindKey(key);
    const auto value = id ? file->FindValue(*id, name) : std::nullopt;
    if (!value)
        return std::nullopt;
    return platform::RegistryValueText(value->type, value->data);
}

std::vector<std::string> SubKeys(const RegistryFile& file, const std::string& key)
{
    std::vector<std::string> names;
    const auto id = file.FindKey(key);
    for (std::size_t i = 0; id; ++i) {
        auto name = file.SubKeyName(*id, i);
        if (!name)
            break;
        names.push_back(*name);
    }
    return names;
}

} // namespace

// --- values -------------------------------------------------------------------------

const std::string kKey = "[Software\\\\Test] 1700000000\n#time=1d9a5b2c3d4e5f6\n";

TEST(RegistryFile, ValuesReadAsANarrowReadGivesThem)
{
    const struct {
        const char* what;
        std::string body;
        std::optional<std::string> expected;
        std::string name = "v";
        std::string key = "Software\\Test";
    } cases[] = {
        {"plain string with escapes", kKey + "\"v\"=\"a\\\\b\\\"c\\td\"\n", "a\\b\"c\td"},
        {"hex escapes: short, four digits before a hex digit, a surrogate pair",
         kKey + "\"v\"=\"caf\\xe9 \\x4e2d0 \\xd83d\\xde00\"\n", "caf\xC3\xA9 \xE4\xB8\xAD" "0 \xF0\x9F\x98\x80"},
        {"octal and C escapes", kKey + "\"v\"=\"\\101\\0102\\e\"\n", "A\b" "2\x1B"},
        {"str(2): expandable string", kKey + "\"v\"=str(2):\"%UserProfile%\\\\x\"\n", "%UserProfile%\\x"},
        {"str(7): multi-string stops at its first NUL", kKey + "\"v\"=str(7):\"one\\0two\\0\"\n", "one"},
        {"hex(2): UTF-16LE over continuation lines",
         kKey + "\"v\"=hex(2):43,00,3a,00,5c,00,e9,00,\\\n  78,00,\\\n  00,00\n\"w\"=\"after\"\n", "C:\\\xC3\xA9x"},
        {"the line after a continued value is read as usual",
         kKey + "\"v\"=hex(2):41,00,\\\n  00,00\n\"w\"=\"after\"\n", "after", "w"},
        {"hex(1): a string written as bytes", kKey + "\"v\"=hex(1):41,00,42,00,00,00\n", "AB"},
        {"dword: its bytes up to the first NUL", kKey + "\"v\"=dword:00636261\n", "abc"},
        {"hex: binary bytes up to the first NUL", kKey + "\"v\"=hex:41,42,00,43\n", "AB"},
        {"default value", kKey + "@=\"default\"\n", "default", ""},
        {"value names ignore case; the later line counts",
         kKey + "\"Store Root\"=\"first\"\n\"STORE ROOT\"=\"second\"\n", "second", "store root", "software\\TEST"},
        {"a key written twice keeps the values of both",
         kKey + "\"a\"=\"1\"\n\n[Other] 1\n\n" + kKey + "\"b\"=\"2\"\n", "1", "a"},
        {"#class= and #link lines and comments are skipped", kKey + "#class=\"x\"\n#link\n; comment\n\"v\"=\"yes\"\n",
         "yes"},
        {"CR LF line ends", "[Software\\\\Test] 1\r\n\"v\"=\"crlf\"\r\n", "crlf"},
        {"escaped brackets and \\x in key names", "[A\\\\b\\[1\\]\\xe9] 1\n\"v\"=\"k\"\n", "k", "v",
         "a\\B[1]\xC3\x89"},
        {"missing value", kKey + "\"v\"=\"x\"\n", std::nullopt, "w"},
        {"a malformed header hides the values up to the next header",
         kKey + "\"v\"=\"old\"\n[Software\\\\Test 1\n\"v\"=\"hidden\"\n", "old"},
        {"damaged data leaves the value empty", kKey + "\"v\"=hex:41,zz\n", ""},
        {"hex byte above 0xff is damage", kKey + "\"v\"=hex:141,42\n", ""},
        {"a string cut before its closing quote is empty", kKey + "\"v\"=str(2):\"C:\\\\us", ""},
        {"hex data cut after a continuation mark is empty", kKey + "\"v\"=hex(2):43,00,\\", ""},
        {"a value before the first key belongs to no key", "\"v\"=\"x\"\n" + kKey, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(c.body, c.key, c.name), c.expected) << c.what;
}

// --- keys ---------------------------------------------------------------------------

TEST(RegistryFile, KeysEnumerateByUpperCaseNameAndImpliedParentsExist)
{
    // Windows compares upper-cased names: '_' (0x5F) sorts after the
    // letters, not before them as it would in lower case.
    auto file = RegistryFile::Parse(kHeader + "[Id\\\\b] 1\n[Id\\\\_x] 1\n[Id\\\\a2] 1\n[Id\\\\A] 1\n"
                                              "[Id\\\\\\xe9] 1\n[Id\\\\B] 1\n");
    ASSERT_TRUE(file);
    EXPECT_EQ(SubKeys(*file, "Id"), (std::vector<std::string>{"A", "a2", "b", "_x", "\xC3\xA9"}));

    file = RegistryFile::Parse(kHeader + "[Identities\\\\{G}\\\\Software\\\\Microsoft\\\\Outlook Express"
                                         "\\\\5.0] 1\n\"Store Root\"=\"x\"\n");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->FindKey("Identities\\{g}\\software"));
    EXPECT_EQ(SubKeys(*file, "Identities"), std::vector<std::string>{"{G}"});
    EXPECT_EQ(SubKeys(*file, "Identities\\{G}\\Software\\Microsoft\\Outlook Express"), std::vector<std::string>{"5.0"});
    EXPECT_FALSE(file->FindKey("Identities\\{H}"));
    EXPECT_EQ(file->RelativeTo(), "\\User\\S-1-5-21-0-0-0-1000");
}

TEST(RegistryFile, OnlyAWineRegistryFileIsReadAndTooDeepAKeyIsDamage)
{
    for (const std::string text : {"", "WINE REGISTRY Version 1\n[A] 1\n", "REGEDIT4\n[A]\n", "WINE REGISTRY Vers"})
        EXPECT_FALSE(RegistryFile::Parse(text)) << text;
    EXPECT_TRUE(RegistryFile::Parse("WINE REGISTRY Version 2\r\n"));

    std::string deep;
    for (std::size_t i = 0; i < RegistryFile::kMaxDepth; ++i)
        deep += "k\\\\";
    const auto file = RegistryFile::Parse(kHeader + "[" + deep + "] 1\n\"v\"=\"512\"\n[" + deep + "x] 1\n\"v\"=\"513\"\n");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->KeyCount(), RegistryFile::kMaxDepth + 1);
}
