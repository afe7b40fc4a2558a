// A mail file cut while it is open (the mail client compacted it, say):
// the scan and the reads end quietly with what could still be read. Built
// for Windows too, where the read guard is a vectored exception handler.

#include "DbxTestSupport.h"
#include "support/CutFile.h"

using dbxgen::DbxImage;
using dbxtest::Filled;
using dbxtest::PutChain;
using dbxtest::ScannedFile;
using WriteResult = dbx::DbxFile::WriteResult;
using testsupport::CutFile;
using testsupport::ReadFile;

// --- a file that shrinks while it is open ----------------------------------------------------

// The scan on one thread, and shared among threads in pieces of 64 KiB
// (a piece that holds the cut, pieces after it that other threads may
// have read first).
const dbx::ScanOptions kScanWays[] = {{1}, {3, 1u << 14, 2}};

TEST(DbxFile, TruncatedBetweenOpenAndScanListsWhatLiesBeforeTheCut)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    DbxImage image(1 << 20);
    PutChain(image, {4096}, "Subject: early\r\n", false);
    PutChain(image, {600000, 600528}, Filled("Subject: late\r\n") + "rest", false);
    for (const std::uint64_t cut : {300000u, 0u}) {
        for (const dbx::ScanOptions& way : kScanWays) {
            SCOPED_TRACE(cut);
            ScannedFile f(image, /*scan=*/false);
            ASSERT_TRUE(CutFile(f.path, cut));
            f.file.Scan(f.sink, way);
            EXPECT_TRUE(f.file.IsScanned());
            ASSERT_EQ(f.file.GetCount(), cut > 0 ? 1 : 0);
            if (cut > 0)
                EXPECT_EQ(f.file.GetAt(0)->subject, "early");
            else
                EXPECT_TRUE(f.sink.positions.empty());
        }
    }
}

TEST(DbxFile, TruncatedInsideAScanChunkKeepsEveryHitBeforeTheCut)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    // More one-block messages than a guarded stretch holds hits, all before
    // the cut in its piece of the pass, then more behind the cut in the
    // same piece and in later ones.
    constexpr std::uint32_t kBefore = 5000;
    constexpr std::uint32_t kStride = 32;
    DbxImage image(1 << 20);
    for (std::uint32_t i = 0; i < kBefore; ++i)
        image.PutLiveBlock((i + 1) * kStride, "Subject: " + std::to_string(i) + "\r\n", 0);
    for (std::uint32_t at = 210000; at < 250000; at += 1000)
        image.PutLiveBlock(at, "Subject: behind the cut\r\n", 0);
    image.PutLiveBlock(700000, "Subject: next chunk\r\n", 0);
    for (const dbx::ScanOptions& way : kScanWays) {
        ScannedFile f(image, /*scan=*/false);
        ASSERT_TRUE(CutFile(f.path, 200000 + 100));  // mid-page, mid-piece
        f.file.Scan(f.sink, way);
        ASSERT_EQ(f.file.GetCount(), static_cast<int>(kBefore));
        for (std::uint32_t i = 0; i < kBefore; ++i)
            ASSERT_EQ(f.file.GetAt(static_cast<int>(i))->subject, std::to_string(i));
        // Progress runs without gaps up to where the scan stopped.
        for (std::size_t k = 0; k < f.sink.positions.size(); ++k)
            ASSERT_EQ(f.sink.positions[k], static_cast<std::int32_t>(k));
    }
}

TEST(DbxFile, TruncatedBetweenScanAndWriteSavesWhatCanBeRead)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    DbxImage image(1 << 20);
    const std::string text = Filled("Subject: spans pages\r\n", 512 * 20);
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t i = 0; i < 20; ++i)
        offsets.push_back(4096 + i * 528);
    PutChain(image, offsets, text, false);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    ASSERT_TRUE(CutFile(f.path, 8192));  // pages beyond 8 KiB are gone

    std::string read;
    EXPECT_FALSE(f.file.ReadMessage(0, read));
    EXPECT_EQ(read, text.substr(0, read.size()));
    EXPECT_LT(read.size(), text.size());

    const std::string target = f.dir.File("partial.eml");
    EXPECT_EQ(f.file.WriteMessage(0, target), WriteResult::kCutShort);  // kept, and said to be incomplete
    EXPECT_EQ(ReadFile(target), read);
}

TEST(DbxFile, MessagesWhoseBlocksAllVanishedGiveEmptyTexts)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    DbxImage image(1 << 16);
    PutChain(image, {1024}, "Subject: stays\r\n", false);
    PutChain(image, {40000, 41000}, Filled("XXXXSubject: goes\r\n") + "more", true);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 2);
    ASSERT_TRUE(CutFile(f.path, 4096));

    std::string read;
    EXPECT_FALSE(f.file.ReadMessage(0, read));  // the deleted one, first in the list
    EXPECT_EQ(read, "");
    EXPECT_EQ(f.file.WriteMessage(0, f.dir.File("gone.eml")), WriteResult::kCutShort);
    EXPECT_EQ(ReadFile(f.dir.File("gone.eml")), "");
    EXPECT_EQ(f.Text(1), "Subject: stays\r\n");
}
