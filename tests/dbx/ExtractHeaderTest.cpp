#include "DbxTestSupport.h"
#include "PlainHeader.h"

#include "dbx/HeaderFields.h"

#include <random>
#include <thread>

using dbx::EmailRecord;
using dbxgen::DbxImage;
using dbxtest::Filled;
using dbxtest::PutChain;

namespace {

// Lays `text` out in `image` as one chain at `stride`, 2 * `stride`, ...
// and gives its record.
EmailRecord LaidOut(DbxImage& image, std::string_view text, bool deleted, std::uint32_t stride = 4096)
{
    const auto offsets = dbxtest::Run(stride, std::max<std::size_t>((text.size() + 511) / 512, 1), stride);
    PutChain(image, offsets, text, deleted);
    EmailRecord record;
    record.isDeleted = deleted;
    for (std::uint32_t at : offsets)
        record.blocks.push_back({at, deleted ? 528u : 512u, deleted ? 512u : image.GetU32(at + 8), 0});
    return record;
}

EmailRecord Extract(std::string_view text, bool deleted = false, bool* found = nullptr)
{
    DbxImage image;
    EmailRecord record = LaidOut(image, text, deleted);
    const bool r = dbx::ExtractHeader(image.Bytes(), record);
    if (found)
        *found = r;
    return record;
}

std::string Subject(std::string_view value)
{
    return Extract("Subject: " + std::string(value) + "\r\n\r\n").subject;
}

} // namespace

// --- which line gives which field --------------------------------------------------

TEST(ExtractHeader, EachFieldComesFromItsLabelledLine)
{
    const struct {
        std::string text;
        std::string EmailRecord::*field;
        std::string value;
        bool deleted = false;
    } cases[] = {
        // To prefers a line-initial "To: " over one inside Reply-To.
        {"Reply-To: r@x\r\nFrom: f@x\r\nTo: t@x\r\n\r\n", &EmailRecord::to, "t@x"},
        {"Reply-To: r@x\r\nFrom: f@x\r\n\r\n", &EmailRecord::to, "r@x"},
        {"From: f@x\r\nto: lower@x\r\n\r\n", &EmailRecord::to, "lower@x"},
        // Lower-case labels are the second choice.
        {"from: f@x\r\nSubject: \r\nsubject: second try\r\n\r\n", &EmailRecord::from, "f@x"},
        {"from: f@x\r\nSubject: \r\nsubject: second try\r\n\r\n", &EmailRecord::subject, "second try"},
        {"From: " + std::string(2000, 'f') + "\r\n\r\n", &EmailRecord::from, std::string(511, 'f')},
        // A deleted block's first four bytes are hidden from the search.
        {"From: first@x\r\nSubject: s\r\n\r\nFrom: quoted@x\r\n", &EmailRecord::from, "quoted@x", true},
        // The text ends at a zero byte; a line cut short gives no value.
        {std::string("From: f@x\r\n\0Subject: after zero\r\n", 34), &EmailRecord::subject, ""},
        {"From: f@x\r\nSubject: no line end", &EmailRecord::subject, ""},
        // Only Base64 words in other charsets than UTF-8 are decoded, to
        // their bytes as they are ("Привет" in windows-1251 here).
        {"Subject: =?windows-1251?B?z/Do4uXy?=\r\n\r\n", &EmailRecord::subject, "\xCF\xF0\xE8\xE2\xE5\xF2"},
        {"Subject: =?utf-8?B?0J/RgNC40LLQtdGC?=\r\n\r\n", &EmailRecord::subject, "=?utf-8?B?0J/RgNC40LLQtdGC?="},
        {"Subject: =?UTF-8?B?0J/RgNC40LLQtdGC?=\r\n\r\n", &EmailRecord::subject, "=?UTF-8?B?0J/RgNC40LLQtdGC?="},
        {"Subject: =?iso-8859-1?Q?Caf=E9?=\r\n\r\n", &EmailRecord::subject, "=?iso-8859-1?Q?Caf=E9?="},
        {"Subject: Re: =?koi8-r?B?8NLJ18XU?=\r\n\r\n", &EmailRecord::subject, "Re: =?koi8-r?B?8NLJ18XU?="},
        // "?B?" is case-sensitive.
        {"Subject: =?koi8-r?b?8NLJ18XU?=\r\n\r\n", &EmailRecord::subject, "=?koi8-r?b?8NLJ18XU?="},
        // A zero byte ends the decoded subject.
        {"Subject: =?x?B?QQBC?=\r\n\r\n", &EmailRecord::subject, "A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Extract(c.text, c.deleted).*c.field, c.value) << c.text.substr(0, 60);
}

TEST(ExtractHeader, TheAttachmentMarkMayBeAnywhereAndABadDateIsNone)
{
    EXPECT_TRUE(Extract("Subject: s\r\n\r\nsee: Content-Type: application/pdf\r\n").hasAttachment);
    EXPECT_FALSE(Extract("Subject: s\r\nContent-Type: text/plain\r\n\r\n").hasAttachment);
    EXPECT_FALSE(Extract("Subject: s\r\ncontent-type: application/pdf\r\n\r\n").hasAttachment);
    EXPECT_EQ(Extract("Subject: s\r\n\r\n").date, 0u);
    EXPECT_EQ(Extract("Subject: s\r\nDate: 15 Foo 2008\r\n\r\n").date, 0u);
}

TEST(ExtractHeader, EncodedSubjectsAreDecodedFromTheValueAsCut)
{
    // The value is cut at 511 characters before decoding: 494 digits remain.
    const std::string big = "=?windows-1251?B?" + std::string(800, 'Q') + "?=";
    EXPECT_EQ(Subject(big).size(), 370u);
    EXPECT_EQ(Subject("=?x?B?" + std::string(400, 'Q') + "?=").size(), 300u);
    // Fewer than three question marks: nothing to decode, and nothing else
    // to list it by.
    bool found = true;
    EXPECT_EQ(Extract("Subject: =?B?xyz\r\n\r\n", false, &found).subject, "");
    EXPECT_FALSE(found);
    // A line cut short gives no value, but the record is still listed by its other fields.
    Extract("From: f@x\r\nSubject: no line end", false, &found);
    EXPECT_TRUE(found);
}

TEST(ExtractHeader, TextEndsAtAShortBlock)
{
    // No zero byte after the short block's text: its length alone ends it.
    DbxImage image;
    EmailRecord r = LaidOut(image, Filled("From: f@x\r\n") + Filled("short\r\n") + "Subject: beyond it\r\n", false);
    image.PutU32(r.blocks[1].offset + 8, 7);
    r.blocks[1].dataLength = 7;
    ASSERT_TRUE(dbx::ExtractHeader(image.Bytes(), r));
    EXPECT_EQ(r.from, "f@x");
    EXPECT_EQ(r.subject, "");
}

TEST(ExtractHeader, EmptyTextsBlocksPastTheEndAndNoBlocksAreHarmless)
{
    // A fresh thread has no text buffer yet: an empty text must not touch it.
    std::thread([] {
        EmailRecord empty;
        empty.blocks = {{0, 512, 0, 0}};
        EXPECT_FALSE(dbx::ExtractHeader(std::string(64, '\0'), empty));

        // Blocks whose payload lies beyond the (shrunken) view give no text.
        EmailRecord beyond;
        beyond.blocks = {{0xFFFFFF00u, 512, 512, 0}};
        EXPECT_FALSE(dbx::ExtractHeader(std::string(64, 'x'), beyond));
        beyond.isDeleted = true;
        EXPECT_FALSE(dbx::ExtractHeader(std::string(64, 'x'), beyond));

        // A record without blocks is left as it is.
        EmailRecord none;
        none.subject = "kept";
        none.date = 42;
        EXPECT_FALSE(dbx::ExtractHeader("Subject: x\r\n", none));
        EXPECT_EQ(none.subject, "kept");
        EXPECT_EQ(none.date, 42u);
    }).join();
}

// --- long texts, against the plain search ---------------------------------------------------------

namespace {

// Random header-like text: labels (also cut short), runs of spaces, line
// ends of every kind, long lines and long-folded ones, now and then a zero
// byte, and labels put right across the 64 KiB seams at which the search
// reads on. Each text draws on its own few of the pieces, so most labels are
// missing from most texts and are searched for to the end.
std::string RandomText(std::mt19937& rng, std::size_t size)
{
    static const char* const kPieces[] = {"From: ", "from: ", "To: ", "to: ", "\r\nTo: ", "Reply-To: ", "Date: ",
                                          "date: ", "Subject: ", "subject: ", "Content-Type: application",
                                          "Content-Type: app", "From:", "Subj", "\r\n", "\r", "\n", " ", "   ",
                                          "Tue, 15 Jan 2008 10:20:30 +0100", "a@example.org", "lorem ipsum",
                                          "=?koi8-r?B?8NLJ18XU?=", "\t"};
    constexpr int kCount = 24;
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::vector<int> own;
    for (int i = 0; i < kCount; ++i)
        if (i >= 14 || pick(4) == 0)  // every text has the fillers, few of the labels
            own.push_back(i);
    const bool zeros = pick(8) == 0;
    std::string text;
    while (text.size() < size) {
        const int roll = pick(100);
        if (roll < 3)
            text.append(static_cast<std::size_t>(pick(6000)), ' ');  // spaces across chunk ends
        else if (roll < 5)
            text.append(static_cast<std::size_t>(pick(9000)), 'w');   // a line longer than a chunk
        else if (roll < 6 && zeros && pick(10) == 0)
            text.push_back('\0');
        else if (roll == 99)
            for (int k = 0; k < 800; ++k)
                text += "\r\n x";  // a line folded on and on, past the longest line kept
        else
            text += kPieces[own[static_cast<std::size_t>(pick(static_cast<int>(own.size())))]];
        for (std::size_t seam = 65536; seam < size; seam += 65536)
            if (text.size() + 30 > seam && text.size() < seam && pick(3) == 0)
                text += kPieces[pick(11)];
    }
    text.resize(size);
    return text;
}

} // namespace

TEST(ExtractHeader, MatchesAPlainSearchOnLongRandomTexts)
{
    const dbxtest::FixedClock clock(128'000'000'000'000'000);
    std::mt19937 rng(7);
    int compared = 0, withFrom = 0, late = 0;
    for (int round = 0; round < 160; ++round) {
        const bool deleted = round % 3 == 0;
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 200000)(rng);
        const std::string text = RandomText(rng, size);
        DbxImage image;
        EmailRecord record = LaidOut(image, text, deleted, 528);
        bool subjectIsRaw = false;
        const EmailRecord expected = dbxtest::PlainExtract(image.Bytes(), record, subjectIsRaw);
        dbx::ExtractHeader(image.Bytes(), record);
        ASSERT_EQ(record.from, expected.from) << "round " << round;
        ASSERT_EQ(record.to, expected.to) << "round " << round;
        ASSERT_EQ(record.date, expected.date) << "round " << round;
        ASSERT_EQ(record.hasAttachment, expected.hasAttachment) << "round " << round;
        if (subjectIsRaw) {
            ASSERT_EQ(record.subject, expected.subject) << "round " << round;
        }

        // The header lines read from the kept value positions are the ones
        // a fresh search finds.
        dbx::HeaderLines kept, searched;
        dbx::ReadHeaderLines(image.Bytes(), record, 0xF, kept);
        EmailRecord unkept = record;
        unkept.valueAt.fill(EmailRecord::kNotSought);
        dbx::ReadHeaderLines(image.Bytes(), unkept, 0xF, searched);
        ASSERT_EQ(kept, searched) << "round " << round;

        // The same rules on the whole text at once.
        for (const char* label : {"From: ", "To: ", "\r\nTo: ", "Date: ", "Subject: ", "subj"}) {
            std::string value, plain;
            ASSERT_EQ(dbx::FindHeaderValue(text, label, value), dbxtest::PlainValue(text, label, plain));
            ASSERT_EQ(value, plain) << "round " << round << ", label " << label;
        }
        ++compared;
        withFrom += !expected.from.empty();
        late += dbxtest::PlainSearchText(image.Bytes(), record).size() > 65536 && expected.from.empty();
    }
    // Enough texts with a From line, and enough where the search ran on
    // past the first stretch.
    EXPECT_GT(withFrom, compared / 4);
    EXPECT_GT(late, compared / 8);
}
