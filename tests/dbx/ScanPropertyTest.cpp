// The engine's scan against the plain reference on thousands of random,
// realistic mailboxes: messages of one to many blocks stored forwards,
// backwards, shuffled or interleaved with another, live and deleted copies,
// broken links, overwritten blocks, garbage between blocks and the odd cycle;
// on one thread, shared among threads, and read in pieces.

#include "DbxTestSupport.h"
#include "ReferenceScan.h"

#include "dbx/Scanner.h"
#include "dbx/Simd.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

using dbx::EmailRecord;
using dbxgen::DbxImage;

namespace {

constexpr std::uint32_t kSpan = dbxgen::kBlockSpan;  // 528

class LayoutMaker {
public:
    explicit LayoutMaker(std::uint32_t seed) : rng_(seed) {}

    DbxImage Make()
    {
        image_ = DbxImage();
        base_ = 4 * Pick(0, 256) * (Chance(0.2) ? 0 : 1);
        cursor_ = 0;
        const int units = Pick(1, 12);
        for (int u = 0; u < units; ++u)
            PlaceUnit();
        std::uint32_t end = SlotOffset(cursor_);
        if (Chance(0.3))
            end -= static_cast<std::uint32_t>(Pick(1, 527));  // the last block cut by the end of the file
        else
            end += static_cast<std::uint32_t>(Pick(0, 600));
        image_.Resize(end);
        for (int noise = Pick(0, 3); noise > 0; --noise)  // stray words anywhere
            image_.PutU32(4 * static_cast<std::size_t>(Pick(0, static_cast<int>(end / 4) - 1)),
                          static_cast<std::uint32_t>(rng_()));
        image_.Resize(end);
        return image_;
    }

private:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    std::uint32_t Any(const std::vector<std::uint32_t>& v)
    {
        return v[static_cast<std::size_t>(Pick(0, static_cast<int>(v.size()) - 1))];
    }
    std::uint32_t SlotOffset(int slot) const { return base_ + static_cast<std::uint32_t>(slot) * kSpan; }

    int BlockCount()
    {
        if (Chance(0.05))
            return Pick(20, 60);  // a message with an attachment
        return Pick(1, 8);
    }

    std::string Words(int count)
    {
        static const char* const kWords[] = {"lorem", "ipsum", "meeting", "Re:", "invoice", "to", "from",
                                             "the", "attached", "regards", "Subject", "=?x?B?QUJD?=", "\t"};
        std::string s;
        for (int i = 0; i < count; ++i) {
            s += kWords[Pick(0, 12)];
            s += Chance(0.1) ? "\r\n" : " ";
        }
        return s;
    }

    std::string Header()
    {
        std::string h;
        if (Chance(0.1))
            return "X-Mailer: nothing to list it by\r\n\r\n";
        if (Chance(0.2))
            h += "Reply-To: back@example.org\r\n";
        if (Chance(0.85))
            h += (Chance(0.9) ? "From: " : "from: ") + Words(2) + "<a@example.org>\r\n";
        if (Chance(0.8))
            h += (Chance(0.9) ? "To: " : "to: ") + std::string("b@example.org") + (Chance(0.1) ? "   " : "") + "\r\n";
        if (Chance(0.8)) {
            static const char* const kSubjects[] = {"Lunch?", "=?windows-1251?B?z/Do4uXy?=", "=?utf-8?B?0J/RgA==?=",
                                                    "", "=?koi8-r?Q?x?="};
            h += std::string("Subject: ") + kSubjects[Pick(0, 4)] + "\r\n";
        }
        if (Chance(0.7)) {
            static const char* const kDates[] = {"Tue, 15 Jan 2008 10:20:30 +0100", "15 Jan 2008", "10:20:30",
                                                 "31 Apr 2007 01:02:03 -0500", "Mon,  3 Feb  2003 7:8:9 +0000"};
            h += std::string("Date: ") + kDates[Pick(0, 4)] + "\r\n";
        }
        if (Chance(0.1))
            h += "Content-Type: application/octet-stream\r\n";
        return h + "\r\n";
    }

    std::string Text(int blocks)
    {
        std::string text = Header();
        while (static_cast<int>(text.size()) < (blocks - 1) * 512 + 1) {
            text += Words(Pick(5, 40));
            if (Chance(0.1))
                text += "> From: quoted@example.org\r\n";
            if (Chance(0.02))
                text += std::string(1, '\0');
        }
        const auto size = static_cast<std::size_t>((blocks - 1) * 512 + Pick(1, 512));
        text.resize(size, 'z');
        return text;
    }

    // Writes one message into the given slots, in chain order.
    void Write(const std::vector<int>& slots, bool deleted)
    {
        std::vector<std::uint32_t> at;
        for (int s : slots)
            at.push_back(SlotOffset(s));
        std::uint32_t lastNext = 0;
        if (Chance(0.05))
            lastNext = 4 * static_cast<std::uint32_t>(Pick(1, 4000));           // a link to nowhere (or somewhere)
        else if (Chance(0.03))
            lastNext = Any(at);  // a cycle
        dbxtest::PutChain(image_, at, Text(static_cast<int>(slots.size())), deleted, lastNext);
        if (Chance(0.04)) {
            // One block overwritten by something else: the chain breaks there.
            const std::uint32_t hit = Any(at);
            image_.PutU32(hit + 4 * static_cast<std::uint32_t>(Pick(0, 3)), static_cast<std::uint32_t>(rng_()));
        }
        if (Chance(0.03)) {
            // A short block in the middle of a chain ends the searchable text.
            const std::uint32_t hit = Any(at);
            if (image_.GetU32(hit + 4) == dbxgen::kLiveBlockSize)
                image_.PutU32(hit + 8, static_cast<std::uint32_t>(Pick(0, 511)));
        }
    }

    std::vector<int> Take(int count)
    {
        std::vector<int> slots(static_cast<std::size_t>(count));
        for (int& s : slots)
            s = cursor_++;
        return slots;
    }

    void PlaceUnit()
    {
        if (Chance(0.3)) {
            // Garbage between blocks, now and then with a near-miss header.
            const int gap = Pick(1, 2);
            for (int s = 0; s < gap; ++s) {
                const std::uint32_t at = SlotOffset(cursor_++);
                image_.PutBytes(at, Words(20));
                if (Chance(0.3))
                    image_.PutHeader(at, Chance(0.5) ? 512u : 508u, Chance(0.5) ? 513u : 527u, 0);
            }
        }
        const bool deleted = Chance(0.3);
        const int mode = Pick(0, 4);
        const int count = BlockCount();
        std::vector<int> slots;
        switch (mode) {
        case 0:  // forwards
            slots = Take(count);
            break;
        case 1:  // backwards
            slots = Take(count);
            std::reverse(slots.begin(), slots.end());
            break;
        case 2:  // shuffled within its stretch of the file
            slots = Take(count);
            std::shuffle(slots.begin(), slots.end(), rng_);
            break;
        default: {
            // Interleaved block by block with a second message.
            const int other = BlockCount();
            std::vector<int> mine, theirs;
            for (int s : Take(count + other)) {
                const bool toMine = static_cast<int>(theirs.size()) >= other
                                    || (static_cast<int>(mine.size()) < count && Chance(0.5));
                (toMine ? mine : theirs).push_back(s);
            }
            if (mode == 4)
                std::reverse(mine.begin(), mine.end());
            if (Chance(0.5))
                std::reverse(theirs.begin(), theirs.end());
            Write(theirs, Chance(0.3));
            slots = mine;
            break;
        }
        }
        Write(slots, deleted);
        if (Chance(0.1)) {
            // The same message once more in the other kind of blocks.
            std::vector<int> copy = Take(static_cast<int>(slots.size()));
            if (Chance(0.5))
                std::reverse(copy.begin(), copy.end());
            for (std::size_t i = 0; i < copy.size(); ++i) {
                image_.PutBytes(SlotOffset(copy[i]), image_.Bytes().substr(SlotOffset(slots[i]), kSpan));
                image_.PutHeader(SlotOffset(copy[i]), deleted ? 512u : 508u, deleted ? 512u : 528u,
                                 i + 1 < copy.size() ? SlotOffset(copy[i + 1]) : 0);
            }
        }
    }

    std::mt19937 rng_;
    DbxImage image_;
    std::uint32_t base_ = 0;
    int cursor_ = 0;
};

std::string Describe(const EmailRecord& r)
{
    std::string s = (r.isDeleted ? "deleted [" : "live [");
    for (const dbx::BlockRef& b : r.blocks)
        s += std::to_string(b.offset) + " ";
    return s + "] from=" + r.from + " to=" + r.to + " subject=" + r.subject;
}

} // namespace

TEST(ScanProperty, MatchesThePlainReferenceOnRandomRealisticMailboxes)
{
    const dbxtest::FixedClock clock(128'000'000'000'000'000);
    testsupport::TempDir dir;
    const std::string path = dir.File("random.dbx");
    // Fewer where the build runs slowly: instrumented, or under Wine
    // (QUILLMEND_SCAN_LAYOUTS).
    const char* setting = std::getenv("QUILLMEND_SCAN_LAYOUTS");
    const std::uint32_t kLayouts = setting && std::atoi(setting) > 0 ? static_cast<std::uint32_t>(std::atoi(setting)) : 3000;
    std::size_t records = 0, multiBlock = 0;
    for (std::uint32_t seed = 1; seed <= kLayouts; ++seed) {
        // Half the layouts through the 16-byte inner loops where the CPU has wider ones.
        dbx::simd::SetBaselineForTesting(seed % 2 == 0);
        const DbxImage image = LayoutMaker(seed).Make();
        std::filesystem::remove(path);  // a fresh file is much cheaper than truncating the old one
        ASSERT_TRUE(image.WriteTo(path));
        dbx::DbxFile file;
        ASSERT_EQ(file.Open(path), image.Size() > 0);
        dbx::NullProgressSink quiet;
        dbxtest::CountingSink steps;
        file.Scan(steps, dbx::ScanOptions{1});

        const std::vector<EmailRecord> expected = dbxtest::ReferenceScan(image.Bytes());
        const std::vector<EmailRecord>& actual = file.Records();
        for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
            ASSERT_TRUE(i < expected.size() && i < actual.size() && expected[i] == actual[i])
                << "seed " << seed << ", record " << i << "\n  reference: "
                << (i < expected.size() ? Describe(expected[i]) : "none") << "\n  engine:    "
                << (i < actual.size() ? Describe(actual[i]) : "none");
        }
        records += actual.size();
        for (const EmailRecord& r : actual)
            multiBlock += r.blocks.size() > 1;

        // Shared among threads, in pieces small enough that every layout has
        // many seams and rounds, the scan lists the same and reports the
        // same steps.
        if (image.Size() > 0) {
            dbx::DbxFile shared;
            ASSERT_TRUE(shared.Open(path));
            dbxtest::CountingSink sharedSteps;
            shared.Scan(sharedSteps, dbx::ScanOptions{3, 1u + seed % 97, 1u + seed % 7});
            ASSERT_EQ(shared.Records(), actual) << "seed " << seed;
            ASSERT_EQ(shared.OmittedChains(), file.OmittedChains()) << "seed " << seed;
            ASSERT_TRUE(sharedSteps.ordered && steps.ordered) << "seed " << seed;
            ASSERT_EQ(sharedSteps.calls, steps.calls) << "seed " << seed;
            ASSERT_EQ(sharedSteps.total, steps.total) << "seed " << seed;
        }

        // Read in pieces instead of mapped (as a carved file is), the scan
        // lists the same and reads the same texts. One layout in ten.
        if (seed % 10 == 0 && image.Size() > 0) {
            auto source = std::make_unique<dbx::ImageSource>();
            ASSERT_TRUE(source->Open(path));
            dbx::DbxFile read;
            ASSERT_TRUE(read.Open(std::move(source)));
            read.Scan(quiet);
            ASSERT_EQ(read.Records(), actual) << "seed " << seed;
            for (int i = 0; i < read.GetCount(); ++i) {
                std::string a, b;
                ASSERT_TRUE(read.ReadMessage(i, a) && file.ReadMessage(i, b));
                ASSERT_EQ(a, b) << "seed " << seed << ", record " << i;
            }
        }
    }
    dbx::simd::SetBaselineForTesting(false);
    // The layouts must really exercise the chains, not only one-block mail.
    EXPECT_GT(records, 10 * kLayouts);
    EXPECT_GT(multiBlock, 3 * kLayouts);
}
