// Large mailboxes written straight to disk, and the manifest beside them.

#include "tests/tools/OeFileReader.h"
#include "tests/tools/TestFiles.h"
#include "tools/dbxgen/BenchMailbox.h"
#include "tools/dbxgen/Manifest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

using namespace dbxgen;
using testing_oe::ReadFile;
using testing_oe::TempPath;
using testing_oe::U32;

TEST(BenchMailbox, StreamedFileReadsBackAndMatchesItsManifest)
{
    const std::string path = TempPath("bench-small.dbx");
    BenchOptions options;
    options.size = 3u << 20;
    options.seed = 5;
    options.deletedShare = 0.3;
    Manifest manifest("bench-small.dbx", 0);
    const BenchSummary summary = WriteBenchMailbox(path, options, &manifest);
    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), summary.fileSize);
    EXPECT_LE(bytes.size(), options.size);
    EXPECT_GT(bytes.size(), options.size * 3 / 4);
    ASSERT_GT(summary.deleted, 0u);
    ASSERT_GT(summary.live, 0u);

    const auto f = testing_oe::ReadOeFile(bytes);
    ASSERT_TRUE(f.errors.empty()) << f.errors.front();
    EXPECT_TRUE(f.signatureOk);
    EXPECT_EQ(f.usedFileSize, bytes.size());
    EXPECT_EQ(f.listed.size(), summary.live);
    EXPECT_EQ(f.lastIndex, summary.live + summary.deleted);
    EXPECT_EQ(testing_oe::FirstOverlap(f.extents), "");

    // The manifest agrees with the index and the freed list read
    // independently. Its order, chains and sizes are those the engine
    // recovers (Recovery.BenchMailboxMatchesItsManifest).
    const auto& entries = manifest.Entries();
    ASSERT_EQ(entries.size(), summary.live + summary.deleted);
    std::map<std::uint32_t, const testing_oe::ListedMessage*> listedByFirst;
    for (const auto& l : f.listed)
        listedByFirst[l.firstBlock] = &l;
    std::set<std::uint32_t> deletedBlocks;
    std::size_t totalBlocks = 0;
    for (const auto& e : entries) {
        totalBlocks += e.blocks.size();
        if (e.deleted) {
            deletedBlocks.insert(e.blocks.begin(), e.blocks.end());
            continue;
        }
        const auto it = listedByFirst.find(e.blocks.front());
        ASSERT_NE(it, listedByFirst.end());
        EXPECT_EQ(it->second->blocks, e.blocks);
        EXPECT_EQ(it->second->text.size(), e.size);
        EXPECT_EQ(it->second->text.compare(0, 13, "Return-Path: "), 0);
    }
    EXPECT_EQ(std::set<std::uint32_t>(f.freedBlocks.begin(), f.freedBlocks.end()), deletedBlocks);
    EXPECT_EQ(testing_oe::FindBlockHeaders(bytes).size(), totalBlocks);
}

TEST(BenchMailbox, SeedDecidesTheBytesAndShareTheDeletions)
{
    BenchOptions options;
    options.size = 1u << 20;
    const std::string a = TempPath("bench-a.dbx"), b = TempPath("bench-b.dbx");
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

    EXPECT_EQ(WriteBenchMailbox(TempPath("no/such/dir/x.dbx"), options).fileSize, 0u);
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
