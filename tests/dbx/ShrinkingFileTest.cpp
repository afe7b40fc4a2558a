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
    // An early and a late e-mail, cut between them, at 0 or behind both; and more
    // one-block e-mails than a guarded stretch holds hits, all before a cut
    // inside a page and a piece of the pass, more behind it in that piece
    // and in later ones.
    DbxImage two(1 << 20), many(1 << 20);
    PutChain(two, {4096}, "Subject: early\r\n", false);
    PutChain(two, {600000, 600528}, Filled("Subject: late\r\n") + "rest", false);
    std::vector<std::string> numbers;
    for (std::uint32_t i = 0; i < 5000; ++i) {
        numbers.push_back(std::to_string(i));
        many.PutLiveBlock((i + 1) * 32, "Subject: " + numbers.back() + "\r\n", 0);
    }
    for (std::uint32_t at = 210000; at < 250000; at += 1000)
        many.PutLiveBlock(at, "Subject: behind the cut\r\n", 0);
    many.PutLiveBlock(700000, "Subject: next chunk\r\n", 0);
    const struct {
        const DbxImage& image;
        std::uint64_t cut;
        std::vector<std::string> subjects;
    } cases[] = {{two, 300000, {"early"}},
                 {two, 0, {}},
                 {two, (1 << 20) - 100, {"early", "late"}},  // inside the last page: zeros there, no fault
                 {many, 200000 + 100, numbers}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut);
        auto expectBeforeTheCut = [&](const dbx::DbxFile& file, const dbxtest::RecordingSink& sink) {
            EXPECT_TRUE(file.IsScanned());
            EXPECT_TRUE(file.CutWhileScanned());
            ASSERT_EQ(file.GetCount(), static_cast<int>(c.subjects.size()));
            for (int i = 0; i < file.GetCount(); ++i)
                ASSERT_EQ(file.GetAt(i)->subject, c.subjects[static_cast<std::size_t>(i)]);
            // Progress runs without gaps up to where the scan stopped.
            EXPECT_EQ(sink.positions.empty(), c.cut == 0);
            for (std::size_t k = 0; k < sink.positions.size(); ++k)
                ASSERT_EQ(sink.positions[k], static_cast<std::int32_t>(k));
        };
        for (const dbx::ScanOptions& way : kScanWays) {
            ScannedFile f(c.image, /*scan=*/false);
            ASSERT_TRUE(CutFile(f.path, c.cut));
            f.file.Scan(f.sink, way);
            expectBeforeTheCut(f.file, f.sink);
        }
        dbx::DbxFile read;
        ASSERT_TRUE(read.Open(std::make_unique<EndsEarly>(c.image.Bytes(), c.cut)));
        dbxtest::RecordingSink sink;
        read.Scan(sink, dbx::ScanOptions{1, 1u << 14});
        expectBeforeTheCut(read, sink);
    }
}

namespace {

// Cuts the file at `path` to `size` bytes once the scan has reported
// position `at` done: blocks it found before that may now lie past the end.
class CutWhenReached final : public dbx::IProgressSink {
public:
    CutWhenReached(std::string path, std::int32_t at, std::uint64_t size) : path_(std::move(path)), at_(at), size_(size) {}
    void SetPos(std::int32_t pos) override
    {
        if (pos >= at_ && !cut)
            cut = CutFile(path_, size_);
    }
    bool cut = false;

private:
    std::string path_;
    std::int32_t at_;
    std::uint64_t size_;
};

} // namespace

TEST(DbxFile, TruncatedDuringTheScanListsNoBlockPastTheCut)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    // A chain from before the cut into the part the pass has read already,
    // and an e-mail wholly in that part: both found before the file is cut.
    DbxImage image(1 << 20);
    PutChain(image, {4096, 100000}, Filled("Subject: spans the cut\r\n", 700), false);
    PutChain(image, {120000}, "Subject: gone\r\n", false);
    for (const dbx::ScanOptions& way : kScanWays) {
        ScannedFile f(image, /*scan=*/false);
        CutWhenReached cut(f.path, 1 << 15, 50000);  // reported after the pass's second 128 KiB
        f.file.Scan(cut, dbx::ScanOptions{way.threads, 1u << 15, way.roundChains});
        ASSERT_TRUE(cut.cut);
        EXPECT_TRUE(f.file.CutWhileScanned());
        ASSERT_EQ(f.file.GetCount(), 1);
        EXPECT_EQ(f.file.GetAt(0)->subject, "spans the cut");
        EXPECT_EQ(f.file.GetAt(0)->blocks.size(), 1u);  // the block past the cut is not named
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
    EXPECT_FALSE(f.file.CutWhileScanned());  // the list was whole when made

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
