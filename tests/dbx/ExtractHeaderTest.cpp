#include "DbxTestSupport.h"

#include "dbx/HeaderFields.h"
#include "platform/FileTime.h"

#include <thread>

using dbx::EmailRecord;
using dbxgen::DbxImage;
using dbxtest::Filled;
using dbxtest::PutChain;

namespace {

// Lays `text` out as one chain at 4096, 8192, ... and extracts its header.
EmailRecord Extract(std::string_view text, bool deleted = false, bool* found = nullptr)
{
    DbxImage image;
    std::vector<std::uint32_t> offsets;
    for (std::size_t i = 0; i * 512 < std::max<std::size_t>(text.size(), 1); ++i)
        offsets.push_back(static_cast<std::uint32_t>(4096 * (i + 1)));
    PutChain(image, offsets, text, deleted);
    EmailRecord record;
    record.isDeleted = deleted;
    for (std::uint32_t at : offsets) {
        const std::uint32_t length = deleted ? 512 : image.GetU32(at + 8);
        record.blocks.push_back({at, deleted ? 528u : 512u, length, 0});
    }
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

TEST(ExtractHeader, ReadsTheFourFieldsOfAPlainHeader)
{
    platform::SetZoneOffsetForTesting(0);
    bool found = false;
    const EmailRecord r = Extract("From: Ann <ann@example.org>\r\nTo: bob@example.org\r\n"
                                  "Subject: Lunch?\r\nDate: Tue, 15 Jan 2008 10:20:30 +0100\r\n\r\nHi Bob\r\n",
                                  false, &found);
    platform::SetZoneOffsetForTesting(std::nullopt);
    EXPECT_TRUE(found);
    EXPECT_EQ(r.from, "Ann <ann@example.org>");
    EXPECT_EQ(r.to, "bob@example.org");
    EXPECT_EQ(r.subject, "Lunch?");
    platform::SystemTime st;
    ASSERT_TRUE(platform::FileTimeToSystemTime(r.date, st));
    EXPECT_EQ(st.hour, 9);
    EXPECT_FALSE(r.hasAttachment);
}

TEST(ExtractHeader, ToPrefersALineInitialToOverReplyTo)
{
    EXPECT_EQ(Extract("Reply-To: r@x\r\nFrom: f@x\r\nTo: t@x\r\n\r\n").to, "t@x");
    EXPECT_EQ(Extract("Reply-To: r@x\r\nFrom: f@x\r\n\r\n").to, "r@x");
    EXPECT_EQ(Extract("From: f@x\r\nto: lower@x\r\n\r\n").to, "lower@x");
}

TEST(ExtractHeader, LowerCaseLabelsAreTheSecondChoice)
{
    const EmailRecord r = Extract("from: f@x\r\nSubject: \r\nsubject: second try\r\n\r\n");
    EXPECT_EQ(r.from, "f@x");
    EXPECT_EQ(r.subject, "second try");
}

TEST(ExtractHeader, AttachmentMarkMayBeAnywhere)
{
    EXPECT_TRUE(Extract("Subject: s\r\n\r\nsee: Content-Type: application/pdf\r\n").hasAttachment);
    EXPECT_FALSE(Extract("Subject: s\r\nContent-Type: text/plain\r\n\r\n").hasAttachment);
    EXPECT_FALSE(Extract("Subject: s\r\ncontent-type: application/pdf\r\n\r\n").hasAttachment);
}

TEST(ExtractHeader, NoDateLineMeansNoDate)
{
    EXPECT_EQ(Extract("Subject: s\r\n\r\n").date, 0u);
    EXPECT_EQ(Extract("Subject: s\r\nDate: 15 Foo 2008\r\n\r\n").date, 0u);
}

// --- encoded subjects ------------------------------------------------------------------------

TEST(ExtractHeader, OnlyBase64WordsInOtherCharsetsThanUtf8AreDecoded)
{
    // "Привет" in windows-1251, Base64-encoded: decoded to its bytes as they are.
    EXPECT_EQ(Subject("=?windows-1251?B?z/Do4uXy?="), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(Subject("=?utf-8?B?0J/RgNC40LLQtdGC?="), "=?utf-8?B?0J/RgNC40LLQtdGC?=");
    EXPECT_EQ(Subject("=?UTF-8?B?0J/RgNC40LLQtdGC?="), "=?UTF-8?B?0J/RgNC40LLQtdGC?=");
    EXPECT_EQ(Subject("=?iso-8859-1?Q?Caf=E9?="), "=?iso-8859-1?Q?Caf=E9?=");
    EXPECT_EQ(Subject("Re: =?koi8-r?B?8NLJ18XU?="), "Re: =?koi8-r?B?8NLJ18XU?=");
    EXPECT_EQ(Subject("=?koi8-r?b?8NLJ18XU?="), "=?koi8-r?b?8NLJ18XU?=");  // "?B?" is case-sensitive
}

TEST(ExtractHeader, EncodedSubjectsAreDecodedFromTheValueAsCut)
{
    // The value is cut at 511 characters before decoding: 494 digits remain.
    const std::string big = "=?windows-1251?B?" + std::string(800, 'Q') + "?=";
    EXPECT_EQ(Subject(big).size(), 370u);
    EXPECT_EQ(Subject("=?B?xyz"), "");  // fewer than three question marks: nothing to decode
    bool found = true;
    Extract("Subject: =?B?xyz\r\n\r\n", false, &found);
    EXPECT_FALSE(found);  // and nothing else to list it by
    // A zero byte ends the decoded subject.
    EXPECT_EQ(Subject("=?x?B?QQBC?="), "A");
    EXPECT_EQ(Subject("=?x?B?" + std::string(400, 'Q') + "?=").size(), 300u);
}

// --- what the search sees -----------------------------------------------------------------------

TEST(ExtractHeader, DeletedBlocksHideTheirFirstFourBytes)
{
    const EmailRecord r = Extract("From: first@x\r\nSubject: s\r\n\r\nFrom: quoted@x\r\n", true);
    EXPECT_EQ(r.from, "quoted@x");
    EXPECT_TRUE(r.isDeleted);
}

TEST(ExtractHeader, TextEndsAtAShortBlockOrAZeroByte)
{
    DbxImage image;
    image.PutLiveBlock(4096, Filled("From: f@x\r\n"), 8192);
    image.PutLiveBlock(8192, "short\r\n", 12288);
    image.PutLiveBlock(12288, "Subject: beyond the short block\r\n", 0);
    EmailRecord r;
    r.blocks = {{4096, 512, 512, 8192}, {8192, 512, 7, 12288}, {12288, 512, 33, 0}};
    ASSERT_TRUE(dbx::ExtractHeader(image.Bytes(), r));
    EXPECT_EQ(r.subject, "");

    EXPECT_EQ(Extract(std::string("From: f@x\r\n\0Subject: after zero\r\n", 34)).subject, "");
}

TEST(ExtractHeader, CutShortHeaderLineGivesNoValue)
{
    bool found = true;
    const EmailRecord r = Extract("From: f@x\r\nSubject: no line end", false, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(r.subject, "");
}

TEST(ExtractHeader, RecordWithoutBlocksIsLeftAlone)
{
    EmailRecord r;
    r.subject = "kept";
    r.date = 42;
    EXPECT_FALSE(dbx::ExtractHeader("Subject: x\r\n", r));
    EXPECT_EQ(r.subject, "kept");
    EXPECT_EQ(r.date, 42u);
}

TEST(ExtractHeader, FieldsAreCutTo511Bytes)
{
    const EmailRecord r = Extract("From: " + std::string(2000, 'f') + "\r\n\r\n");
    EXPECT_EQ(r.from.size(), 511u);
}

TEST(ExtractHeader, EmptyTextsAndBlocksPastTheEndAreHarmless)
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
    }).join();
}
