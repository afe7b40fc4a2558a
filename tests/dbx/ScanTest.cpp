#include "DbxTestSupport.h"

#include "dbx/Scanner.h"

#include <functional>
#include <numeric>

using dbx::BlockRef;
using dbxgen::DbxImage;
using dbxtest::Filled;
using dbxtest::PutChain;
using dbxtest::ScannedFile;

// --- the worked example -------------------------------------------------------------

TEST(Scan, WorkedExampleOfThreeBlocks)
{
    DbxImage image(4096);
    image.PutLiveBlock(1024, Filled("From: ann@example.org\r\nSubject: live\r\n"), 2048);
    image.PutLiveBlock(2048, std::string(100, 'y'), 0);
    image.PutDeletedBlock(3072, "XXXXSubject: gone\r\n", 0);
    ScannedFile f(image);

    ASSERT_EQ(f.sink.totals, std::vector<std::int32_t>{1228});
    std::vector<std::int32_t> expected(1022);
    std::iota(expected.begin(), expected.end(), 0);  // 0..1019 scan, 1020 deleted, 1021 live
    EXPECT_EQ(f.sink.positions, expected);

    ASSERT_EQ(f.file.GetCount(), 2);
    const dbx::EmailRecord& deleted = *f.file.GetAt(0);
    EXPECT_TRUE(deleted.isDeleted);
    EXPECT_EQ(deleted.blocks, (std::vector<BlockRef>{{3072, 528, 512, 0}}));
    EXPECT_EQ(deleted.subject, "gone");
    const std::string deletedText = f.Text(0);
    ASSERT_EQ(deletedText.size(), 512u);
    EXPECT_EQ(deletedText.substr(0, 10), "    Subjec");

    const dbx::EmailRecord& live = *f.file.GetAt(1);
    EXPECT_FALSE(live.isDeleted);
    EXPECT_EQ(live.blocks, (std::vector<BlockRef>{{1024, 512, 512, 2048}, {2048, 512, 100, 0}}));
    EXPECT_EQ(live.from, "ann@example.org");
    EXPECT_EQ(f.Text(1).size(), 612u);
    EXPECT_EQ(f.file.MessageSize(1), 612u);
}

// --- which positions are examined ------------------------------------------------------

TEST(Scan, TinyFilesAreScannedWithoutExaminingAnything)
{
    for (int size = 1; size <= 19; ++size) {
        DbxImage image(static_cast<std::size_t>(size));
        ScannedFile f(image);
        EXPECT_TRUE(f.file.IsScanned());
        EXPECT_EQ(f.file.GetCount(), 0);
        EXPECT_EQ(f.sink.totals, std::vector<std::int32_t>{static_cast<std::int32_t>(size / 4 * 1.2)}) << size;
        EXPECT_TRUE(f.sink.positions.empty()) << size;
    }
}

TEST(Scan, TheLastExaminedPositionIsSixteenBytesBeforeTheEnd)
{
    // A full first block links to a block at the last examined position
    // (4 * (size/4 - 5)); one word further it is no longer seen.
    for (std::uint32_t shift : {0u, 4u}) {
        const std::uint32_t last = 4096;
        DbxImage image;
        image.PutLiveBlock(1024, Filled("Subject: edge\r\n"), last + shift);
        image.PutLiveBlock(last + shift, "abcd", 0);
        image.Resize(last + 20);
        ScannedFile f(image);
        ASSERT_EQ(f.file.GetCount(), 1);
        EXPECT_EQ(f.file.GetAt(0)->blocks.size(), shift == 0 ? 2u : 1u);
        EXPECT_EQ(f.sink.positions.size(), (last + 20) / 4 - 4 + 1);
    }
}

// --- building chains -----------------------------------------------------------------

namespace {

// A record the scan must list: its blocks in chain order, its subject.
struct Listed {
    std::vector<std::uint32_t> offsets;
    std::string subject;
    bool deleted = false;
};

} // namespace

TEST(Scan, ChainsFollowTheLinksOfOneKindAndEndAtTheirFirstRepeat)
{
    const struct {
        const char* name;
        std::function<void(DbxImage&)> lay;
        std::vector<Listed> listed;
    } cases[] = {
        {"ascending",
         [](DbxImage& i) {
             PutChain(i, {1024, 2048, 3072}, Filled("From: a@x\r\nSubject: up\r\n", 1024) + "end", false);
         },
         {{{1024, 2048, 3072}, "up"}}},
        {"descending: starts at its highest block",
         [](DbxImage& i) {
             PutChain(i, {3072, 2048, 1024}, Filled("Subject: down\r\n", 1024) + "Subject: inner\r\n", false);
         },
         {{{3072, 2048, 1024}, "down"}}},
        {"a continuation below its start may also start a record",
         [](DbxImage& i) {
             PutChain(i, {5120, 1024}, Filled("Subject: whole\r\n") + "Subject: tail\r\n", false);
             i.PutLiveBlock(2048, "From: someone else\r\n", 0);  // breaks the adjacency
         },
         {{{1024}, "tail"}, {{2048}, ""}, {{5120, 1024}, "whole"}}},
        {"only exact headers at aligned positions are blocks",
         [](DbxImage& i) {
             i.PutLiveBlock(0, Filled("Subject: head\r\n"), 2048);
             i.PutLiveBlock(2048, Filled("a"), 4096);  // length 512: fine
             i.PutLiveBlock(4096, "", 6144);           // length 0 is a block too
             i.PutHeader(6144, 512, 513, 0);           // too long: not a block
             i.PutLiveBlock(8192, Filled("Subject: odd\r\n"), 9218);
             i.PutU32(9218, 9218);  // a header two bytes off alignment is never examined
             i.PutU32(9222, 512);
             i.PutU32(9226, 10);
         },
         {{{0, 2048, 4096}, "head"}, {{8192}, "odd"}}},
        {"a broken link keeps the blocks reached so far",
         [](DbxImage& i) { PutChain(i, {1024, 2048}, Filled("Subject: cut\r\n") + "rest", false, 9999); },
         {{{1024, 2048}, "cut"}}},
        {"chains without From, To or Subject are dropped",
         [](DbxImage& i) { PutChain(i, {1024}, "X-Mailer: nothing useful\r\n\r\nbody\r\n", false); },
         {}},
        {"live and deleted copies are both listed, deleted first",
         [](DbxImage& i) {
             const std::string text = "From: a@x\r\nSubject: twice\r\n\r\nbody";
             PutChain(i, {1024}, text, false);
             PutChain(i, {4096}, "XXXX" + text.substr(4), true);
         },
         {{{4096}, "twice", true}, {{1024}, "twice"}}},
        {"kinds are never chained together; deleted headers are blocks whatever their link",
         [](DbxImage& i) {
             i.PutDeletedBlock(1024, Filled("XXXXSubject: d\r\n"), 2048);
             i.PutLiveBlock(2048, "more text\r\n", 0);
             i.PutDeletedBlock(4000, "XXXXSubject: far\r\n", 0xFFFFFFF0u);
         },
         {{{1024}, "d", true}, {{4000}, "far", true}}},
        {"cycles end at the first block already in the chain",
         [](DbxImage& i) {
             i.PutLiveBlock(1024, Filled("Subject: loop\r\n"), 2048);
             i.PutLiveBlock(2048, Filled("y"), 1024);                 // back to the start
             i.PutLiveBlock(4096, Filled("Subject: self\r\n"), 4096);  // to itself
             i.PutDeletedBlock(8192, Filled("XXXXSubject: d\r\n"), 9216);
             i.PutDeletedBlock(9216, Filled("z"), 10240);
             i.PutDeletedBlock(10240, Filled("z"), 9216);  // back into the middle
         },
         // 1024 is skipped as a start (the next block links back to it), so
         // the live loop is entered at 2048.
         {{{8192, 9216, 10240}, "d", true}, {{2048, 1024}, "loop"}, {{4096}, "self"}}},
        {"a block at offset 0 is taken once, though its last-block link (0) names it",
         [](DbxImage& i) { i.PutLiveBlock(0, "Subject: at zero\r\n", 0); },
         {{{0}, "at zero"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DbxImage image(1 << 14);
        c.lay(image);
        ScannedFile f(image);
        ASSERT_EQ(f.file.GetCount(), static_cast<int>(c.listed.size()));
        for (int k = 0; k < f.file.GetCount(); ++k) {
            EXPECT_EQ(f.Offsets(k), c.listed[k].offsets) << k;
            EXPECT_EQ(f.file.GetAt(k)->subject, c.listed[k].subject) << k;
            EXPECT_EQ(f.file.GetAt(k)->isDeleted, c.listed[k].deleted) << k;
        }
    }
}

// --- damaged files ---------------------------------------------------------------------------

TEST(Scan, PayloadPastTheEndIsCutAtTheEnd)
{
    DbxImage image(8192);
    image.PutLiveBlock(1024, Filled("Subject: near the end\r\n"), 8000);
    image.PutLiveBlock(8000, Filled("w"), 0);
    image.Resize(8100);  // 84 payload bytes of the second block remain
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    EXPECT_EQ(f.file.MessageSize(0), 512u + 84u);
    EXPECT_EQ(f.Text(0).size(), 596u);
}

TEST(Scan, BackwardsMessageStaysWholePastTheWorkBudget)
{
    // A long message stored backwards, each block followed in the file by an
    // unrelated one: every block starts a chain through all lower ones
    // (quadratic without a bound). Its body blocks mention "to: ", so each of
    // those chains is an e-mail too: far more work than the budget allows.
    // The whole message still comes out, and the work stays bounded.
    constexpr std::uint32_t kBlocks = 1600;
    DbxImage image;
    auto at = [](std::uint32_t k) { return 528 + 2 * 528 * k; };  // block k of the message, 0 = last
    for (std::uint32_t k = 0; k < kBlocks; ++k) {
        const std::string text = k + 1 == kBlocks ? "From: a@x\r\nSubject: big\r\n" : "to: piece " + std::to_string(k) + "\r\n";
        image.PutLiveBlock(at(k), text, k == 0 ? 0 : at(k - 1));
        image.PutLiveBlock(at(k) + 528, "X-Filler: no\r\n", 0);
    }
    image.Resize(at(kBlocks) + 528);
    const ScannedFile f(image);
    const dbx::DbxFile& file = f.file;

    ASSERT_EQ(file.GetCount(), static_cast<int>(kBlocks));  // one record per chain start, in file order
    const dbx::EmailRecord& whole = *file.GetAt(file.GetCount() - 1);
    EXPECT_EQ(whole.subject, "big");
    ASSERT_EQ(whole.blocks.size(), kBlocks);
    for (std::uint32_t i = 0; i < kBlocks; ++i)
        ASSERT_EQ(whole.blocks[i].offset, at(kBlocks - 1 - i));
    // Chains are walked from the highest start down: the upper pieces are
    // exact, the lowest were cut where the work ran out.
    EXPECT_EQ(file.GetAt(file.GetCount() - 2)->blocks.size(), kBlocks - 1);
    EXPECT_EQ(file.GetAt(1)->blocks.size(), 1u);
    std::uint64_t listed = 0;
    for (const dbx::EmailRecord& r : file.Records())
        listed += r.blocks.size();
    const std::uint64_t n = 2 * kBlocks;
    const std::uint64_t bound = dbx::Scanner::kStepsPerBlock * n + dbx::Scanner::kStepAllowance + 2 * n;
    EXPECT_LE(listed, bound);
    EXPECT_GT(listed, dbx::Scanner::kStepAllowance);
    // Progress: one step per examined position, then the chains' steps within the bound, in order.
    const std::uint64_t steps = f.sink.positions.size() - (image.Size() / 4 - 4);
    EXPECT_LE(steps, bound);
    EXPECT_GT(steps, dbx::Scanner::kStepAllowance);
    for (std::size_t k = 0; k < f.sink.positions.size(); ++k)
        ASSERT_EQ(f.sink.positions[k], static_cast<std::int32_t>(k));
}

TEST(Scan, FilesPackedWithFakeHeadersListABoundedNumberOfEmails)
{
    // A header every 32 bytes, each with a tiny Subject: 32,768 "e-mails" in
    // 1 MiB. No real file holds more than one per 528-byte block; the scan
    // lists at most one per 256 bytes (plus an allowance) and so keeps its
    // memory in proportion to the file.
    constexpr std::uint32_t kSize = 1 << 20;
    DbxImage image(kSize);
    for (std::uint32_t at = 0; at + 32 <= kSize; at += 32)
        image.PutLiveBlock(at, "Subject: s\r\n", 0);
    ScannedFile f(image, false);
    const std::uint64_t cap = kSize / dbx::Scanner::kBytesPerRecord + dbx::Scanner::kRecordAllowance;
    // The same whatever the threads, and whether the cap falls at the end of
    // a round of chains or inside one (the next round already walked).
    const dbx::ScanOptions options[] = {{1}, {2}, {3, 1u << 16, 1000}, {2, 1u << 16, 4096 * 2}, {2, 1u << 16, 7}};
    for (const dbx::ScanOptions& o : options) {
        dbx::DbxFile file;
        ASSERT_TRUE(file.Open(f.path));
        dbx::NullProgressSink quiet;
        file.Scan(quiet, o);
        const std::string which = std::to_string(o.threads) + " threads, rounds of " + std::to_string(o.roundChains);
        EXPECT_EQ(static_cast<std::uint64_t>(file.GetCount()), cap) << which;
        // It says what it left out: every header starts a chain but the one
        // at offset 0, which the next one's 0 link seems to name.
        EXPECT_EQ(file.OmittedChains(), kSize / 32 - 1 - cap) << which;
        // Those listed are whole and in file order.
        EXPECT_EQ(file.GetAt(0)->subject, "s") << which;
        EXPECT_LT(file.GetAt(0)->blocks[0].offset, file.GetAt(1)->blocks[0].offset) << which;
    }
}

TEST(Scan, AFloodOfFakeDeletedHeadersNeverHidesExistingMail)
{
    // Free space packed with fake deleted headers ("To: x" every 32 bytes)
    // below and above a genuine existing e-mail: the deleted kind fills its
    // own budget, the existing e-mail is still listed, after all deleted ones.
    constexpr std::uint32_t kSize = 4 << 20;
    constexpr std::uint32_t kReal = 2 << 20;
    DbxImage image(kSize);
    for (std::uint32_t at = 0; at + 32 <= kSize; at += 32)
        if (at < kReal || at >= kReal + 1024)
            image.PutDeletedBlock(at, "XXXXTo: x\r\n", 0);  // the first four bytes read as spaces
    PutChain(image, {kReal, kReal + 528}, Filled("From: a@x\r\nSubject: real\r\n") + "body", false);
    ScannedFile f(image);

    const int count = f.file.GetCount();
    ASSERT_GT(count, 1);
    const dbx::EmailRecord& last = *f.file.GetAt(count - 1);
    EXPECT_FALSE(last.isDeleted);
    EXPECT_EQ(last.subject, "real");
    EXPECT_EQ(last.blocks.size(), 2u);
    EXPECT_TRUE(f.file.GetAt(count - 2)->isDeleted);
    EXPECT_GT(f.file.OmittedChains(), 0u);
}
