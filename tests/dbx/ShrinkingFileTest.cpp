// A mail file cut while it is open (the mail client compacted it, say):
// the scan and the reads end quietly with what could still be read. Built
// for Windows too, where the read guard is a vectored exception handler.

#include "DbxTestSupport.h"
#include "support/CutFile.h"

#include <cstring>
#include <memory>

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

namespace {

// A source read in pieces that gives fewer bytes than the size it told (a
// broken device, or a disk image cut while it is read).
class EndsEarly final : public dbx::ByteSource {
public:
    EndsEarly(std::string bytes, std::uint64_t end) : bytes_(std::move(bytes)), end_(end) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t Read(std::uint64_t pos, void* out, std::size_t n) const override
    {
        n = pos < end_ ? static_cast<std::size_t>(std::min<std::uint64_t>(n, end_ - pos)) : 0;
        std::memcpy(out, bytes_.data() + std::min(pos, end_), n);
        return n;
    }

private:
    std::string bytes_;
    std::uint64_t end_;
};

} // namespace

TEST(DbxFile, TruncatedBetweenOpenAndScanListsWhatLiesBeforeTheCut)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    DbxImage image(1 << 20);
    PutChain(image, {4096}, "Subject: early\r\n", false);
    PutChain(image, {600000, 600528}, Filled("Subject: late\r\n") + "rest", false);
    for (const std::uint64_t cut : {300000u, 0u}) {
        SCOPED_TRACE(cut);
        auto expectEarlyOnly = [&](const dbx::DbxFile& file, const dbxtest::RecordingSink& sink) {
            EXPECT_TRUE(file.IsScanned());
            ASSERT_EQ(file.GetCount(), cut > 0 ? 1 : 0);
            if (cut > 0)
                EXPECT_EQ(file.GetAt(0)->subject, "early");
            else
                EXPECT_TRUE(sink.positions.empty());
        };
        for (const dbx::ScanOptions& way : kScanWays) {
            ScannedFile f(image, /*scan=*/false);
            ASSERT_TRUE(CutFile(f.path, cut));
            f.file.Scan(f.sink, way);
            expectEarlyOnly(f.file, f.sink);
        }
        dbx::DbxFile read;
        ASSERT_TRUE(read.Open(std::make_unique<EndsEarly>(image.Bytes(), cut)));
        dbxtest::RecordingSink sink;
        read.Scan(sink, dbx::ScanOptions{1, 1u << 14});
        expectEarlyOnly(read, sink);
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
    DbxImage image(1 << 16);
    const std::string spans = Filled("Subject: spans pages\r\n", 512 * 20);
    PutChain(image, {1024}, "Subject: stays\r\n", false);
    PutChain(image, dbxtest::Run(4096, 20), spans, false);
    PutChain(image, {40000, 41000}, Filled("XXXXSubject: goes\r\n") + "more", true);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 3);
    ASSERT_TRUE(CutFile(f.path, 8192));  // pages beyond 8 KiB are gone

    // The deleted e-mail, first in the list, lies wholly past the cut; the
    // last one partly. Each is kept as far as it can be read, and said to be
    // incomplete.
    for (const int i : {0, 2}) {
        SCOPED_TRACE(i);
        std::string read;
        EXPECT_FALSE(f.file.ReadMessage(i, read));
        EXPECT_EQ(read, i == 0 ? "" : spans.substr(0, read.size()));
        EXPECT_LT(read.size(), spans.size());
        const std::string target = f.dir.File(std::to_string(i) + ".eml");
        EXPECT_EQ(f.file.WriteMessage(i, target), WriteResult::kCutShort);
        EXPECT_EQ(ReadFile(target), read);
    }
    EXPECT_EQ(f.Text(1), "Subject: stays\r\n");
}
