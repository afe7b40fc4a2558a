// Realistic message texts: encodings, structure and sizes.

#include "tools/dbxgen/DemoMailbox.h"
#include "tools/dbxgen/MessageMaker.h"
#include "tools/dbxgen/MimeText.h"
#include "tools/dbxgen/RandomMail.h"

#include <gtest/gtest.h>

#include <set>

#ifdef QUILLMEND_TEST_GMIME
#include <gmime/gmime.h>
#endif

using namespace dbxgen;

namespace {

// Every line break is CR LF, and no line is longer than `max` bytes.
::testing::AssertionResult CrlfLines(const std::string& text, std::size_t max = 998)
{
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return ::testing::AssertionFailure() << "bare CR at " << i;
        if (text[i] == '\n') {
            if (i == 0 || text[i - 1] != '\r')
                return ::testing::AssertionFailure() << "bare LF at " << i;
            if (i - 1 - lineStart > max)
                return ::testing::AssertionFailure() << "line of " << i - 1 - lineStart << " bytes at " << lineStart;
            lineStart = i + 1;
        }
    }
    return ::testing::AssertionSuccess();
}

std::string Header(const std::string& text, const std::string& name)
{
    const auto at = text.find("\r\n" + name + ": ");
    if (at == std::string::npos || at > text.find("\r\n\r\n"))
        return {};
    const auto from = at + name.size() + 4;
    return text.substr(from, text.find("\r\n", from) - from);
}

} // namespace

// ---- encodings ---------------------------------------------------------------------

TEST(MimeText, KnownEncodings)
{
    EXPECT_EQ(Base64("foobar", 0), "Zm9vYmFy");
    EXPECT_EQ(Base64("fooba", 0), "Zm9vYmE=");
    EXPECT_EQ(Base64("f", 0), "Zg==");
    EXPECT_EQ(Base64(std::string(120, 'x')).find("\r\n"), 76u);
    EXPECT_EQ(QuotedPrintable("Caf\xE9 = 1 \r\nend "), "Caf=E9 =3D 1=20\r\nend=20");
    const std::string longLine = QuotedPrintable(std::string(200, 'a'));
    EXPECT_TRUE(CrlfLines(longLine, 76));
    EXPECT_EQ(longLine.substr(75, 3), "=\r\n");

    EXPECT_EQ(FromUtf8("€ – Müller", Charset::Windows1252), "\x80 \x96 M\xFCller");
    EXPECT_EQ(FromUtf8("Отчёт", Charset::Windows1251), "\xCE\xF2\xF7\xB8\xF2");
    EXPECT_EQ(FromUtf8("Сергей ёЁ", Charset::Koi8R), "\xF3\xC5\xD2\xC7\xC5\xCA \xA3\xB3");
    EXPECT_EQ(FromUtf8("€", Charset::Latin1), "?");
    EXPECT_EQ(EncodedWordQ("ISO-8859-1", "Caf\xE9 cr\xE8me"), "=?ISO-8859-1?Q?Caf=E9_cr=E8me?=");
    EXPECT_EQ(EncodedWordB("UTF-8", "\xE2\x98\x80"), "=?UTF-8?B?4piA?=");

    EXPECT_EQ(DisplayUtf8("M\xFCller \x80"), "Müller €");
    EXPECT_EQ(DisplayUtf8("Müller"), "Müller");
    EXPECT_FALSE(IsValidUtf8("\xC3"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80")); // overlong
}

TEST(MimeText, DatesAndFileTimes)
{
    EXPECT_EQ(MailDate(UnixFromCivil(2008, 1, 15, 9, 20, 30), 60), "Tue, 15 Jan 2008 10:20:30 +0100");
    EXPECT_EQ(MailDate(UnixFromCivil(2008, 1, 1, 2, 0, 0), -300), "Mon, 31 Dec 2007 21:00:00 -0500");
    EXPECT_EQ(MailDate(UnixFromCivil(2004, 2, 29, 23, 59, 59), 0), "Sun, 29 Feb 2004 23:59:59 +0000");
    EXPECT_EQ(FileTimeFromUnix(0), 116444736000000000ull);
    EXPECT_EQ(UnixFromCivil(2000, 3, 1), 951868800);
}

// ---- messages ------------------------------------------------------------------------

TEST(MessageMaker, MultipartShapesNestAsMailersWriteThem)
{
    auto base = [] {
        MessageMaker m;
        m.From({"A", "a@example.org"}).To({"", "b@example.com"}).Subject("s").Date(1000000000, 0);
        return m;
    };
    const std::string related =
        base().Plain("p").Html("<img src=\"cid:x@y\">").Inline({"i.png", "image/png", "PNG", "x@y"})
            .Attach({"f.pdf", "application/pdf", "%PDF", ""}).Make().text;
    // mixed > related > alternative > plain, html; then the image; then the file.
    const auto mixed = related.find("Content-Type: multipart/mixed");
    const auto rel = related.find("Content-Type: multipart/related");
    const auto alt = related.find("Content-Type: multipart/alternative");
    const auto img = related.find("Content-ID: <x@y>");
    const auto pdf = related.find("Content-Type: application/pdf;\r\n\tname=\"f.pdf\"");
    ASSERT_NE(mixed, std::string::npos);
    EXPECT_LT(mixed, rel);
    EXPECT_LT(rel, alt);
    EXPECT_LT(alt, img);
    EXPECT_LT(img, pdf);
    EXPECT_NE(related.find("Content-Disposition: attachment;\r\n\tfilename=\"f.pdf\""), std::string::npos);
    EXPECT_TRUE(CrlfLines(related, 998));

    const MailMessage html = base().Html("<b>x</b>").Make();
    EXPECT_NE(html.text.find("Content-Type: text/html"), std::string::npos);
    EXPECT_EQ(html.text.find("multipart"), std::string::npos);
    EXPECT_FALSE(html.hasAttachment);
    EXPECT_THROW(base().Inline({"i.png", "image/png", "x", "c"}).Make(), std::logic_error);
    EXPECT_THROW(MessageMaker().Make(), std::logic_error);
}

TEST(MessageMaker, DemoMessagesCoverTheEncodingsOfOldMail)
{
    const auto demo = DemoMessages();
    ASSERT_GE(demo.size(), 8u);
    ASSERT_LE(demo.size(), 12u);
    std::set<std::string> subjectForms;
    bool koi8Body = false, related = false, pdf = false, alternative = false, htmlOnly = false;
    for (const auto& [m, deleted] : demo) {
        EXPECT_TRUE(CrlfLines(m.text));
        EXPECT_EQ(Header(m.text, "Subject"), m.subject);
        EXPECT_EQ(Header(m.text, "From"), m.from);
        EXPECT_EQ(Header(m.text, "To"), m.to);
        const std::string& s = m.subject;
        if (s.rfind("=?windows-1251?B?", 0) == 0) subjectForms.insert("1251-B");
        if (s.rfind("=?UTF-8?B?", 0) == 0) subjectForms.insert("utf8-B");
        if (s.rfind("=?ISO-8859-1?Q?", 0) == 0) subjectForms.insert("latin1-Q");
        if (!IsValidUtf8(s)) subjectForms.insert("raw-1252");
        koi8Body |= m.text.find("charset=\"koi8-r\"\r\nContent-Transfer-Encoding: 8bit") != std::string::npos
                    && m.text.find(FromUtf8("отчёт", Charset::Koi8R)) != std::string::npos;
        related |= m.text.find("multipart/related") != std::string::npos && m.text.find("cid:") != std::string::npos;
        pdf |= m.hasAttachment && m.text.find("Content-Type: application/pdf") != std::string::npos;
        alternative |= m.text.find("multipart/alternative") != std::string::npos;
        htmlOnly |= Header(m.text, "Content-Type") == "text/html;";
    }
    EXPECT_EQ(subjectForms.size(), 4u);
    EXPECT_TRUE(koi8Body);
    EXPECT_TRUE(related);
    EXPECT_TRUE(pdf);
    EXPECT_TRUE(alternative);
    EXPECT_TRUE(htmlOnly);
}

TEST(RandomMail, VariedSizesAndKindsSameForTheSameSeed)
{
    RandomMail a(42), b(42), c(43);
    std::size_t smallest = ~std::size_t{0}, largest = 0, withFiles = 0;
    std::int64_t lastDate = 0;
    for (int i = 0; i < 400; ++i) {
        const MailMessage m = a.Next();
        ASSERT_EQ(m.text, b.Next().text);
        smallest = std::min(smallest, m.text.size());
        largest = std::max(largest, m.text.size());
        withFiles += m.hasAttachment;
        EXPECT_GT(m.date, lastDate);
        lastDate = m.date;
        if (i < 40) {
            EXPECT_TRUE(CrlfLines(m.text)) << i;
        }
    }
    EXPECT_NE(a.Next().text, c.Next().text);
    EXPECT_LT(smallest, 1500u);
    EXPECT_GT(largest, 300u * 1024);
    EXPECT_LT(largest, 1100u * 1024);
    EXPECT_GT(withFiles, 20u);
}

#ifdef QUILLMEND_TEST_GMIME
// A real MIME parser reads every demo message as intended.
TEST(MessageMaker, DemoMessagesParseWithGMime)
{
    g_mime_init();
    const char* const subjects[] = {
        "Your account statement for November", "Minutes of Monday's meeting",
        "Отчёт за третий квартал", "Sommer in Südtirol – 20 % Rabatt ☀", "Photos from the weekend",
        "Photos from the weekend", "Café crème et réunion de janvier", "Re: Project timeline",
        "Quarterly figures 2007", nullptr, "Lunch on Friday?"};
    const auto demo = DemoMessages();
    ASSERT_EQ(demo.size(), std::size(subjects));
    for (std::size_t i = 0; i < demo.size(); ++i) {
        const std::string& text = demo[i].first.text;
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
        ASSERT_NE(msg, nullptr) << i;
        if (subjects[i]) {
            EXPECT_STREQ(g_mime_message_get_subject(msg), subjects[i]) << i;
        }
        int attachments = 0, images = 0;
        GMimePartIter* it = g_mime_part_iter_new(g_mime_message_get_mime_part(msg));
        do {
            GMimeObject* part = g_mime_part_iter_get_current(it);
            if (GMIME_IS_PART(part) && g_mime_part_is_attachment(GMIME_PART(part)))
                ++attachments;
            if (GMIME_IS_PART(part) && g_mime_content_type_is_type(g_mime_object_get_content_type(part), "image", "png")) {
                ++images;
                EXPECT_STREQ(g_mime_object_get_content_id(part), "image001.png@01C6D5A2.4F1E3B20");
            }
            if (GMIME_IS_TEXT_PART(part) && i == 2) { // the KOI8-R body comes out as Russian
                char* body = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
                EXPECT_NE(std::string(body).find("Высылаю отчёт"), std::string::npos);
                g_free(body);
            }
        } while (g_mime_part_iter_next(it));
        g_mime_part_iter_free(it);
        EXPECT_EQ(attachments > 0, demo[i].first.hasAttachment) << i;
        EXPECT_EQ(images, i == 4 || i == 5 ? 1 : 0) << i;
        g_object_unref(msg);
        g_object_unref(parser);
        g_object_unref(stream);
    }
}
#endif
