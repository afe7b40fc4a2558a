// Large mailboxes written straight to disk, and the manifest beside them
// (read back in RecoveryTest.cpp).

#include "support/TempDir.h"
#include "tests/tools/OeFileReader.h"
#include "tools/dbxgen/BenchMailbox.h"
#include "tools/dbxgen/Manifest.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace dbxgen;
using testing_oe::U32;
using testsupport::ReadFile;

TEST(BenchMailbox, SeedDecidesTheBytesAndShareTheDeletions)
{
    BenchOptions options;
    options.size = 1u << 20;
    const testsupport::TempDir dir;
    const std::string a = dir.File("bench-a.dbx"), b = dir.File("bench-b.dbx");
    WriteBenchMailbox(a, options);
    WriteBenchMailbox(b, options);
    EXPECT_EQ(ReadFile(a), ReadFile(b));
    options.seed = 2;
    WriteBenchMailbox(b, options);
    EXPECT_NE(ReadFile(a), ReadFile(b));

    options.deletedShare = 0;
    EXPECT_EQ(WriteBenchMailbox(b, options).deleted, 0u);
    EXPECT_EQ(U32(ReadFile(b), 0x48), 0u);
    options.deletedShare = 1;
    const auto all = WriteBenchMailbox(b, options);
    EXPECT_EQ(all.live, 0u);
    const std::string bytes = ReadFile(b);
    EXPECT_EQ(U32(bytes, 0xC4), 0u);
    EXPECT_EQ(U32(bytes, 0xE4), 0u);
    EXPECT_TRUE(testing_oe::ReadOeFile(bytes).errors.empty());

    EXPECT_EQ(WriteBenchMailbox(dir.File("no/such/dir/x.dbx"), options).fileSize, 0u);
    options.size = 5ull << 30;
    EXPECT_THROW(WriteBenchMailbox(b, options), std::length_error);
}

TEST(Manifest, JsonShowsRawBytesAsUtf8)
{
    EXPECT_EQ(JsonString("a\"b\\c\r\n"), "\"a\\\"b\\\\c\\u000d\\u000a\"");
    EXPECT_EQ(JsonString("M\xFCller \x80"), "\"Müller €\"");
    Manifest m("x.dbx", 1234);
    ManifestEntry e;
    e.deleted = true;
    e.blocks = {10964, 11492};
    e.size = 1024;
    e.subject = "=?koi8-r?B?8w==?=";
    m.Add(e);
    std::ostringstream out;
    m.Write(out);
    const std::string json = out.str();
    EXPECT_NE(json.find("\"fileSize\": 1234"), std::string::npos);
    EXPECT_NE(json.find("\"status\": \"Deleted\""), std::string::npos);
    EXPECT_NE(json.find("\"blocks\": [10964, 11492]"), std::string::npos);
    EXPECT_NE(json.find("\"subject\": \"=?koi8-r?B?8w==?=\""), std::string::npos);
}
