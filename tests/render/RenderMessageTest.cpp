#include "render/RenderMessage.h"

#include "VisibleText.h"
#include "support/TempDir.h"
#include "support/WideText.h"
#include "tools/dbxgen/MimeText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using dbxgen::Crlf;
using render::RenderMessage;
using testsupport::ReadFile;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// A message (LF line ends, stored as CR LF) and what its document holds.
struct ShownCase {
    const char* name;
    std::string message;
    std::vector<std::string> shows = {};   // in the text a reader sees
    std::vector<std::string> hides = {};   // nowhere in that text
    std::vector<std::string> html = {};    // in the document's markup
    std::vector<std::string> noHtml = {};  // nowhere in the markup
    bool incomplete = false;
    std::size_t files = 0;  // listed as attachments
};

std::string DeletedWithBlanks()
{
    std::string message = Crlf(
        "From: Joe Sender <joe@example.com>\n"
        "To: ann@example.com\n"
        "Subject: deleted but found\n"
        "Content-Type: text/plain; charset=us-ascii\n\n");
    for (int line = 0; line < 40; ++line)
        message += "Line " + std::to_string(line) + " of the deleted message text.\r\n";
    // The preview file of a deleted message has four spaces at the start of
    // every block's part of the text.
    for (std::size_t at = 0; at < message.size(); at += 512)
        message.replace(at, 4, "    ");
    return message;
}

} // namespace

TEST(RenderMessage, ShowsWhatTheMessageSaysAndNothingThatLoadsOrRuns)
{
    const ShownCase cases[] = {
        // ---- real-world shapes: charsets and encodings
        {.name = "Windows-1251 text and headers",
         .message = "From: =?windows-1251?B?yOLg7Q==?= <ivan@example.ru>\n"
                    "To: anna@example.ru\n"
                    "Subject: =?windows-1251?B?zvL3uPIg5+Ag7ODw8g==?=\n"
                    "Date: Mon, 3 Mar 2003 10:15:00 +0300\n"
                    "MIME-Version: 1.0\n"
                    "Content-Type: text/plain; charset=\"windows-1251\"\n"
                    "Content-Transfer-Encoding: 8bit\n\n"
                    "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0! \xca\xe0\xea \xe4\xe5\xeb\xe0?\n",
         .shows = {"Привет, мир! Как дела?", "Отчёт за март", "Иван <ivan@example.ru>", "Mon, 3 Mar 2003 10:15:00 +0300"}},
        {.name = "KOI8-R quoted-printable",
         .message = "From: ivan@example.ru\n"
                    "Subject: test\n"
                    "Content-Type: text/plain; charset=koi8-r\n"
                    "Content-Transfer-Encoding: quoted-printable\n\n"
                    "=F0=D2=C9=D7=C5=D4, =CD=C9=D2! =EB=C1=CB =C4=C5=CC=C1?\n",
         .shows = {"Привет, мир! Как дела?"}},
        // No charset: valid UTF-8 shows as such, anything else as Windows-1252;
        // raw 8-bit header text likewise.
        {.name = "undeclared UTF-8", .message = "Subject: x\n\nna\xc3\xafve caf\xc3\xa9\n", .shows = {"naïve café"}},
        {.name = "undeclared Windows-1252", .message = "Subject: x\n\ncaf\xe9 \x93quoted\x94\n", .shows = {"café “quoted”"}},
        {.name = "undeclared 8-bit subject", .message = "Subject: caf\xe9\n\nbody\n", .shows = {"café"}},
        {.name = "quoted-printable UTF-8 HTML",
         .message = "From: a@example.com\n"
                    "Subject: html\n"
                    "Content-Type: text/html; charset=utf-8\n"
                    "Content-Transfer-Encoding: quoted-printable\n\n"
                    "<html><head><title>T</title></head><body><p>Caf=C3=A9 cr=C3=A8me =E2=80=94 =E2=80=9Cquoted=E2=80=9D =\n"
                    "<b>bold</b></p></body></html>\n",
         .shows = {"Café crème — “quoted” bold"},
         .html = {"<b>bold</b>"}},
        // Adjacent encoded words join without the space between them.
        {.name = "encoded words in Q and B and two charsets",
         .message = "Subject: =?utf-8?Q?Caf=C3=A9_au_lait?= =?koi8-r?B?8NLJ18XU?= and\n"
                    " =?ISO-8859-1?q?na=EFve?=\n\nbody\n",
         .shows = {"Café au laitПривет and naïve"}},
        // ---- structure: which part shows
        {.name = "an alternative shows its HTML part",
         .message = "Subject: alt\n"
                    "Content-Type: multipart/alternative; boundary=\"b1\"\n\n"
                    "--b1\nContent-Type: text/plain\n\nthe plain version\n"
                    "--b1\nContent-Type: text/html\n\n<p>the <i>html</i> version</p>\n"
                    "--b1--\n",
         .shows = {"the html version"},
         .hides = {"the plain version"}},
        {.name = "an alternative whose HTML was cut away shows the plain part",
         .message = "Subject: alt\n"
                    "Content-Type: multipart/alternative; boundary=\"b1\"\n\n"
                    "--b1\nContent-Type: text/plain\n\nthe plain version\n"
                    "--b1\nContent-Type: text/html\n\n",
         .shows = {"the plain version"},
         .incomplete = true},
        {.name = "a file in a mixed, listed with its name, type and size",
         .message = "Subject: report\n"
                    "Content-Type: multipart/mixed; boundary=\"m\"\n\n"
                    "--m\nContent-Type: multipart/alternative; boundary=\"a\"\n\n"
                    "--a\nContent-Type: text/plain\n\nsee attached\n"
                    "--a\nContent-Type: text/html\n\n<p>see <b>attached</b></p>\n"
                    "--a--\n"
                    "--m\nContent-Type: application/pdf; name=\"=?utf-8?Q?M=C3=A4rz.pdf?=\"\n"
                    "Content-Disposition: attachment; filename*=utf-8''M%C3%A4rz%20report.pdf\n"
                    "Content-Transfer-Encoding: base64\n\n"
                    "JVBERi0xLjQgZmFrZSBwZGYgYm9keSAwMTIzNDU2Nzg5\n"
                    "--m--\n",
         .shows = {"see attached", "Attachments:März report.pdf (application/pdf, 33 bytes)"},
         .files = 1},
        // ---- damaged and truncated input
        {.name = "cut off in the middle of a part",
         .message = "From: a@example.com\nSubject: cut\n"
                    "Content-Type: multipart/mixed; boundary=\"m\"\n\n"
                    "--m\nContent-Type: text/plain\n\nfirst part, whole\n"
                    "--m\nContent-Type: text/html\n\n<p>second part, cut in the mid",
         .shows = {"first part, whole", "second part, cut in the mid", "This message is incomplete"},
         .incomplete = true},
        {.name = "headers cut before their end",
         .message = "From: a@example.com\nSubject: only headers\nTo: b@exa",
         .shows = {"only headers", "b@exa"},
         .incomplete = true},
        // "From" is gone with the first block's blanks, the rest is there.
        {.name = "deleted, with blanks over every block's start",
         .message = DeletedWithBlanks(),
         .shows = {"Joe Sender <joe@example.com>", "deleted but found", "Line 39 of the deleted message text."},
         .hides = {"From:"}},
        {.name = "overlong headers are cut",
         .message = "Subject: " + std::string(100000, 'x') + "\nTo: a@b.c\n\nbody\n",
         .shows = {std::string(32 * 1024, 'x') + "\u2026", "a@b.c"},
         .hides = {std::string(32 * 1024 + 1, 'x')}},
        // ---- hostile text and HTML
        {.name = "plain text is escaped and its links look like links",
         .message = "Subject: <script>alert(1)</script>\n\n"
                    "<img src=x onerror=alert(1)> see http://example.com/a?b=1&c=2.\n",
         .shows = {"<script>alert(1)</script>"},
         .html = {"<a href=\"http://example.com/a?b=1&amp;c=2\">"},
         .noHtml = {"<script", "<img"}},
        {.name = "HTML with a remote image and scripts loads and runs nothing",
         .message = "Subject: offer\nContent-Type: text/html\n\n"
                    "<html><head><meta http-equiv=\"refresh\" content=\"0;url=http://evil.example/\">"
                    "<base href=\"http://evil.example/\"><link rel=stylesheet href=\"http://evil.example/a.css\">"
                    "<style>@import url(http://evil.example/b.css); p { background: url(http://evil.example/t.gif) }</style>"
                    "<script>document.write('pwned')</script></head>"
                    "<body onload=\"alert(1)\"><p>Hello <img src=\"http://tracker.example/pixel.gif?id=42\" alt=\"Logo\">"
                    "<a href=\"javascript:alert(1)\" onclick=\"alert(2)\">click</a></p>"
                    "<iframe src=\"http://evil.example/frame\">frame text</iframe></body></html>\n",
         .shows = {"Hello [Logo]click"},
         .noHtml = {"evil.example", "tracker.example", "script", "alert", "pwned", "<iframe"}},
    };
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = RenderMessage(Crlf(c.message));
        const std::string v = VisibleText(r.html);
        for (const std::string& text : c.shows)
            EXPECT_THAT(v, HasSubstr(text));
        for (const std::string& text : c.hides)
            EXPECT_THAT(v, Not(HasSubstr(text)));
        for (const std::string& markup : c.html)
            EXPECT_THAT(r.html, HasSubstr(markup));
        for (const std::string& markup : c.noHtml)
            EXPECT_THAT(r.html, Not(HasSubstr(markup)));
        EXPECT_EQ(r.incomplete, c.incomplete);
        EXPECT_EQ(r.attachments.size(), c.files);
    }
    // Text that is not a message shows as text; nothing at all is still a document.
    const std::string v = VisibleText(RenderMessage("no headers here <b>at all</b>\n\x01\x02 caf\xe9\n").html);
    EXPECT_THAT(v, HasSubstr("no headers here <b>at all</b>"));
    EXPECT_THAT(v, HasSubstr("café"));
    EXPECT_THAT(RenderMessage("").html, HasSubstr("</html>"));
}

TEST(RenderMessage, Utf16AndUtf32WithoutAMarkAreBigEndianInHeadersAndBodies)
{
    for (const testsupport::WideText& w : testsupport::kWideTexts) {
        const std::string word = "=?" + std::string(w.charset) + "?B?" + w.base64 + "?=";
        SCOPED_TRACE(word);
        const std::string message = "From: " + word + " <a@x>\r\nSubject: " + word
            + "\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain; charset="
            + w.charset + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + w.base64
            + "\r\n--b\r\nContent-Type: application/pdf; name=\"" + word + ".pdf\"\r\n\r\n%PDF\r\n--b--\r\n";
        const std::string v = VisibleText(RenderMessage(message).html);
        EXPECT_THAT(v, HasSubstr("From:ab <a@x>\nSubject:ab\n"));
        EXPECT_THAT(v, HasSubstr("Attachments:ab.pdf (application/pdf"));
        EXPECT_THAT(v, HasSubstr("\nab\n"));  // the body
        const std::string text = render::RenderMessageText(message);
        EXPECT_THAT(text, HasSubstr("From:        ab <a@x>\nSubject:     ab\n"));
        EXPECT_THAT(text, HasSubstr("\n\nab\n"));
    }
}

// ---- what is listed, what is served

TEST(RenderMessage, RelatedServesTheCidImageFromTheMessage)
{
    const auto r = RenderMessage(Crlf(
        "Subject: picture\n"
        "Content-Type: multipart/related; boundary=\"r\"; type=\"text/html\"\n\n"
        "--r\nContent-Type: text/html; charset=us-ascii\n\n"
        "<p>Look:</p><img src=\"cid:logo.123@example.com\" alt=\"logo\">\n"
        "--r\nContent-Type: image/png\nContent-ID: <logo.123@example.com>\n"
        "Content-Transfer-Encoding: base64\n\n"
        "iVBORw0KGgoAAAAAAAAAAA==\n"
        "--r--\n"));
    EXPECT_THAT(r.html, HasSubstr("<img src=\"cid:logo.123@example.com\" alt=\"logo\">"));
    const render::Part* part = render::FindInlinePart(r, "cid:logo.123@example.com");
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->mimeType, "image/png");
    EXPECT_EQ(part->bytes, std::string("\x89PNG\r\n\x1a\n\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(render::FindInlinePart(r, "CID:logo.123%40example.com"), part);
    EXPECT_EQ(render::FindInlinePart(r, "cid:other@example.com"), nullptr);
    // A picture shown in place is not listed as a file as well.
    EXPECT_TRUE(r.attachments.empty());
}

// ---- hostile shapes

TEST(RenderMessage, HostileNestingIsCutInsteadOfHanging)
{
    // Deep multiparts full of lines that look like boundaries: the parser's
    // work would grow with lines times depth.
    std::string message = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 0; i < 1000; ++i)
        message += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b"
            + std::to_string(i + 1) + "\r\n\r\n";
    for (int i = 0; i < 100000; ++i)
        message += "--x\r\n";
    const auto r = RenderMessage(message);
    EXPECT_THAT(r.html, HasSubstr("too long to show in full"));
}

TEST(RenderMessage, HostileHeaderFieldsAndPartCountsAreCut)
{
    // Each field and each part costs the parser far more than its bytes.
    std::string fields = "Subject: many fields\r\n";
    for (int i = 0; i < 20000; ++i)
        fields += "a:b\r\n";
    const auto many = RenderMessage(fields + "\r\nthe body\r\n");
    EXPECT_THAT(VisibleText(many.html), HasSubstr("many fields"));
    EXPECT_THAT(VisibleText(many.html), HasSubstr("the body"));
    EXPECT_THAT(many.html, Not(HasSubstr("too long to show in full")));

    std::string parts = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int i = 0; i < 2100; ++i)
        parts += "--b\r\nContent-Type: text/plain\r\n\r\npart " + std::to_string(i) + "\r\n";
    const std::string v = VisibleText(RenderMessage(parts).html);
    EXPECT_THAT(v, HasSubstr("part 0\n"));
    EXPECT_THAT(v, HasSubstr("too long to show in full"));
    EXPECT_THAT(v, Not(HasSubstr("part 2050")));
}

// Every seed and every input the fuzzer ever found goes through again. One
// of its finds, "<div style= background:ur<<<...<l(c>", once came out as
// style="background:url(c" when the "<" were taken out.
TEST(RenderMessage, FuzzCorpusRendersToADocument)
{
    const std::string grows = ReadFile(QUILLMEND_RENDER_CORPUS "/style-grows-url.eml");
    ASSERT_THAT(grows, HasSubstr("background:ur<<<"));
    const auto r = RenderMessage(grows);
    EXPECT_THAT(r.html, Not(HasSubstr("url(")));
    EXPECT_THAT(r.html, HasSubstr("<div><img src=\"cid:logo@x\" alt=\"logo\"><div>x</div>"));

    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUILLMEND_RENDER_CORPUS)) {
        EXPECT_THAT(RenderMessage(ReadFile(entry.path().string())).html, HasSubstr("</body></html>")) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 5u);
}
