// Deleted e-mails as recovery finds them: real-shaped messages made by the
// fixture maker, stored in a mailbox as deleted, read back by the engine
// with four bytes of every block overwritten, and rendered around the gaps.

#include "dbx/DbxFile.h"
#include "render/GapBase64.h"
#include "render/Gaps.h"
#include "render/RenderMessage.h"
#include "support/TempDir.h"
#include "tools/dbxgen/MailboxBuilder.h"
#include "tools/dbxgen/MessageMaker.h"
#include "tools/dbxgen/MimeText.h"
#include "tools/dbxgen/SampleFiles.h"

#include "DeletedMailbox.h"
#include "VisibleText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

using dbxgen::Charset;
using dbxgen::MailMessage;
using dbxgen::MessageMaker;
using dbxgen::Transfer;
using render::kGapText;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr std::string_view kBanner = "Deleted e-mail: 4 bytes of every 512 were overwritten when it was deleted";

// Extra text before the From line (in the Message-ID) or before the body
// (in the X-Mailer line) moves what follows it onto a block boundary.
struct Padding {
    std::string header;
    std::string body;
};
using Maker = std::function<MailMessage(const Padding&)>;

MessageMaker Incoming(const Padding& pad, const char* subject)
{
    MessageMaker maker;
    maker.From({"Anna Kowalski", "anna.kowalski@example.org"})
        .To({"Tom Becker", "tom.becker@example.com"})
        .Cc({"Lukas Brandt", "lukas.brandt@example.org"})
        .Subject(subject)
        .Date(dbxgen::UnixFromCivil(2005, 3, 14, 8, 42, 10), 60)
        .MessageId("000a01c52881$5e3c1f20$0200a8c0@anna" + pad.header)
        .ReceivedBy("pop.example.com")
        .Mailer("Microsoft Outlook Express 6.00.2800.1158" + pad.body);
    return maker;
}

// The message with the gap at the start of a block falling on `target` +
// `offset` (the first occurrence of target); unmoved without a target.
MailMessage Placed(const Maker& make, const char* target, int offset)
{
    MailMessage plain = make({});
    if (target == nullptr)
        return plain;
    const std::size_t at = plain.text.find(target);
    EXPECT_NE(at, std::string::npos) << target;
    const std::size_t mailer = plain.text.find("X-Mailer:");
    const std::size_t hole = at + static_cast<std::size_t>(offset);
    const std::string pad((512 - hole % 512) % 512, 'x');
    MailMessage placed = make(hole < mailer ? Padding{pad, ""} : Padding{"", pad});
    EXPECT_EQ((placed.text.find(target) + static_cast<std::size_t>(offset)) % 512, 0u) << target;
    return placed;
}

std::string Lines(const char* line, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::to_string(i + 1) + ". " + line + "\n";
    return text;
}

MailMessage PlainText(const Padding& pad)
{
    return Incoming(pad, "Minutes of Monday's meeting")
        .Plain("Hi Tom,\n\nhere are the minutes.\n\n" + Lines("The new warehouse opens on 1 April.", 40) + "\nAnna\n")
        .Make();
}

MailMessage QuotedPrintableHtml(const Padding& pad)
{
    std::string rows;
    for (int i = 1; i <= 30; ++i)
        rows += "<TR><TD>" + std::to_string(i) + ".11.</TD><TD>Caf\xE9 cr\xE8me, City Books</TD>"
                "<TD align=right>-42.30</TD></TR>\n";
    return Incoming(pad, "Your account statement")
        .Html("<HTML><BODY style=\"font-family: Arial\">\n<TABLE width=\"100%\" bgColor=#003366><TR><TD>"
              "<FONT color=white>Northbank Online</FONT></TD></TR></TABLE>\n<P>Dear Mr Becker,</P>\n"
              "<TABLE border=1>\n" + rows + "</TABLE>\n<P>Please do not reply.</P>\n</BODY></HTML>\n",
              "iso-8859-1", Transfer::QuotedPrintable)
        .Make();
}

MailMessage Base64Attachment(const Padding& pad)
{
    return Incoming(pad, "Invoice for March")
        .Plain("Please find the invoice attached.\n")
        .Attach({"Rechnung_2008-0342.pdf", "application/pdf",
                 dbxgen::MakePdf("Rechnung 2008-0342", {"Wartung Maerz 2008: 209,24 EUR", "Summe: 249,00 EUR"}, 3000),
                 ""})
        .Make();
}

MailMessage Koi8rBody(const Padding& pad)
{
    return Incoming(pad, "=?koi8-r?B?8NLJ18XU?=")
        .Plain(dbxgen::FromUtf8("Добрый день, Том!\n\n" + Lines("Продажи выросли на 12 %, расходы остались прежними.", 30)
                                    + "\nС уважением,\nСергей Иванов\n",
                                Charset::Koi8R),
               "koi8-r", Transfer::EightBit)
        .Make();
}

MailMessage Windows1251Base64Body(const Padding& pad)
{
    return Incoming(pad, "=?windows-1251?B?zvL3uPIg5+Ag7ODw8g==?=")
        .Plain(dbxgen::FromUtf8("Анна, добрый день!\n\n" + Lines("Отчёт за март во вложении, цифры сверены.", 30),
                                Charset::Windows1251),
               "windows-1251", Transfer::Base64)
        .Make();
}

MailMessage Alternative(const Padding& pad)
{
    const std::string text = Lines("Für Buchungen bis 30. Juni gewähren wir 20 % Rabatt – Frühstück inklusive.", 12);
    std::string html = "<HTML><BODY>\n<H2>Sommer in Südtirol ☀</H2>\n";
    for (int i = 1; i <= 12; ++i)
        html += "<P>" + std::to_string(i) + ". Für Buchungen bis <B>30. Juni</B> gewähren wir 20&nbsp;% Rabatt.</P>\n";
    return Incoming(pad, "=?UTF-8?B?U29tbWVyIGluIFPDvGR0aXJvbA==?=")
        .Plain(text, "utf-8", Transfer::QuotedPrintable)
        .Html(html + "</BODY></HTML>\n", "utf-8", Transfer::QuotedPrintable)
        .Make();
}

struct Case {
    const char* name;
    Maker make;
    const char* target;  // where a gap is placed (nullptr: where the blocks fall)
    int offset;
    std::vector<std::string> repaired;  // header names restored, in order
    std::vector<std::string> shows;     // in the text of the deleted e-mail
    std::string html = render::GapHtml();  // in its preview's document
};

const Case kCases[] = {
    {"plain text", PlainText, nullptr, 0, {"Return-Path", "Content-Transfer-Encoding"}, {"1. The new warehouse opens on 1 April."}},
    {"quoted-printable HTML", QuotedPrintableHtml, "=3D#003366", 1, {"Return-Path", "Content-Transfer-Encoding"}, {"Café crème, City Books"}},
    {"Base64 attachment", Base64Attachment, nullptr, 0, {"Return-Path", "Content-Transfer-Encoding"}, {"Rechnung_2008-0342.pdf"}},
    {"KOI8-R body", Koi8rBody, nullptr, 0, {"Return-Path", "Content-Transfer-Encoding"}, {"Привет", "Добрый день, Том!", "С уважением,"}},
    {"Windows-1251 Base64 body", Windows1251Base64Body, nullptr, 0, {"Return-Path"},
     {"Отчёт за март", "Анна, добрый день!"}},
    {"alternative", Alternative, nullptr, 0, {"Return-Path"}, {"Sommer in Südtirol"}},
    {"boundary line, gap at its start", Alternative, "------=_NextPart_000_002E", 0, {"Return-Path"},
     {"gewähren wir 20 % Rabatt"}},
    {"boundary line, gap over the line break", Alternative, "\r\n------=_NextPart_000_002E", 0, {"Return-Path"},
     {"gewähren wir 20 % Rabatt"}},
    {"boundary parameter", Base64Attachment, "boundary=\"", 14, {"Return-Path", "Content-Transfer-Encoding"}, {"Rechnung_2008-0342.pdf"}},
    {"transfer encoding name", Windows1251Base64Body, "Content-Transfer-Encoding", 10,
     {"Return-Path", "Content-Transfer-Encoding"}, {"Отчёт за март"}},
    // the lost letters of a restored name on the ground every gap has
    {"subject name", PlainText, "Subject:", 2, {"Return-Path", "Subject"}, {"Su[bjec]t:"}, render::GuessedHtml("bjec") + "t:"},
    {"two names fit", PlainText, "From:", 0, {"Return-Path"}, {kGapText.data() + std::string(": ")}},
};

// The body of a text rendering: what follows the header rows (and the banner).
std::string_view Body(std::string_view text)
{
    if (text.substr(0, kBanner.size()) == kBanner)
        text.remove_prefix(text.find("\n\n") + 2);
    return text.substr(std::min(text.size(), text.find("\n\n") + 2));
}

// `shown` is `original` but for a few bytes in place of each mark (a gap
// takes at most a few characters of decoded text; the rest of a character or
// an escape the gap cut may stay beside it).
::testing::AssertionResult DiffersOnlyAtMarks(std::string_view shown, std::string_view original)
{
    constexpr std::size_t kLost = 12;
    constexpr std::size_t kRemnant = 3;
    std::vector<std::string_view> pieces;
    for (std::size_t at = 0;;) {
        const std::size_t mark = shown.find(kGapText, at);
        pieces.push_back(shown.substr(at, mark - at));
        if (mark == std::string_view::npos)
            break;
        at = mark + kGapText.size();
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::size_t front = i > 0 ? kRemnant : 0;
        const std::size_t back = i + 1 < pieces.size() ? kRemnant : 0;
        bool found = pieces[i].empty();
        for (std::size_t f = 0; !found && f <= std::min(front, pieces[i].size()); ++f) {
            for (std::size_t b = 0; !found && f + b <= pieces[i].size() && b <= back; ++b) {
                const std::string_view piece = pieces[i].substr(f, pieces[i].size() - f - b);
                const std::size_t pos = original.find(piece, at);
                if (pos != std::string_view::npos && pos - at <= (i > 0 ? kLost : 0)) {
                    found = true;
                    at = pos + piece.size();
                }
            }
        }
        if (!found)
            return ::testing::AssertionFailure() << "not in the original where expected: \"" << pieces[i] << "\"";
    }
    if (original.size() - at > (pieces.size() > 1 ? kLost : 0))
        return ::testing::AssertionFailure() << "missing at the end: \"" << original.substr(at) << "\"";
    return ::testing::AssertionSuccess();
}

// How many bytes of `after` differ from `before`: each must be a gap byte.
std::size_t GapBytes(std::string_view after, std::string_view before)
{
    EXPECT_EQ(after.size(), before.size());
    std::size_t lost = 0;
    for (std::size_t i = 0; i < std::min(after.size(), before.size()); ++i) {
        if (after[i] != before[i]) {
            EXPECT_EQ(after[i], render::kGapByte) << i;
            ++lost;
        }
    }
    return lost;
}

} // namespace

TEST(DeletedMessage, ReadsAroundEveryGapAndMarksIt)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const MailMessage message = Placed(c.make, c.target, c.offset);
        const Stored stored = DeleteAndRecover(message);
        ASSERT_FALSE(stored.damage.overwritten.empty());
        const render::RenderedMessage original = render::RenderMessage(message.text);
        const render::RenderedMessage deleted = render::RenderMessage(stored.bytes, stored.damage);
        EXPECT_EQ(deleted.repairedHeaders, c.repaired);
        const std::string text = render::RenderMessageText(stored.bytes, stored.damage);
        EXPECT_THAT(text, ::testing::StartsWith(std::string(kBanner)));
        for (const std::string& shows : c.shows)
            EXPECT_THAT(text, HasSubstr(shows));
        EXPECT_TRUE(DiffersOnlyAtMarks(Body(text), Body(render::RenderMessageText(message.text))));
        // The preview's document shows the banner and marks its gaps too;
        // the same bytes without the damage known show as they are.
        EXPECT_THAT(VisibleText(deleted.html), HasSubstr(std::string(kBanner)));
        EXPECT_EQ(VisibleText(deleted.html).find('\x01'), std::string::npos);
        EXPECT_THAT(deleted.html, HasSubstr(c.html));
        const std::string plain = render::RenderMessage(stored.bytes).html;
        EXPECT_THAT(plain, Not(HasSubstr(std::string(kBanner))));
        EXPECT_THAT(plain, Not(HasSubstr(render::GapHtml())));
        // Attachments keep their names and sizes; pictures differ only
        // where bytes were lost.
        ASSERT_EQ(deleted.attachments.size(), original.attachments.size());
        for (std::size_t i = 0; i < original.attachments.size(); ++i) {
            EXPECT_EQ(deleted.attachments[i].name, original.attachments[i].name);
            EXPECT_EQ(deleted.attachments[i].size, original.attachments[i].size);
        }
    }
}

TEST(DeletedMessage, PictureBytesDifferOnlyWhereTheyWereLost)
{
    const auto make = [](const Padding& pad) {
        return Incoming(pad, "Photos")
            .Html("<P>The lake:</P><P><IMG alt=\"Lake\" src=\"cid:lake@example.net\"></P>\n")
            .Inline({"lake.png", "image/png", dbxgen::MakePng(96, 64, 0xF5B041), "lake@example.net"})
            .Make();
    };
    const MailMessage message = make({});
    const Stored stored = DeleteAndRecover(message);
    const render::RenderedMessage original = render::RenderMessage(message.text);
    const render::Part* before = render::FindInlinePart(original, "cid:lake@example.net");
    const render::RenderedMessage deleted = render::RenderMessage(stored.bytes, stored.damage);
    const render::Part* after = render::FindInlinePart(deleted, "cid:lake@example.net");
    ASSERT_NE(before, nullptr);
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(after->damaged);
    const std::size_t lost = GapBytes(after->bytes, before->bytes);
    EXPECT_GT(lost, 0u);
    EXPECT_LE(lost, 4 * stored.damage.overwritten.size());  // four lost characters touch up to four bytes
}

// Base64 lines of 76 characters; a gap anywhere, line breaks included.
TEST(DeletedMessage, Base64DecodesAroundAGapWhereverItFalls)
{
    std::string data;
    for (int i = 0; i < 399; ++i)  // no padding: a gap over it cannot tell its length
        data += static_cast<char>((i * 37 + 11) & 0xFF);
    const std::string encoded = dbxgen::Base64(data);  // CR LF after every 76 characters
    for (const std::size_t at : std::vector<std::size_t>{0, 1, 40, 73, 74, 75, 76, 77, 78, 79, 156, encoded.size() - 6}) {
        SCOPED_TRACE(at);
        std::string damaged = encoded;
        std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), 4, render::kGapByte);
        const std::size_t lost = GapBytes(render::DecodeBase64AroundGaps(damaged), data);
        EXPECT_GE(lost, 1u);
        EXPECT_LE(lost, 4u);
    }
    EXPECT_TRUE(render::LooksLikeBase64(encoded));
    EXPECT_FALSE(render::LooksLikeBase64("Dear Tom,\r\nthe figures are attached.\r\n"));
}
