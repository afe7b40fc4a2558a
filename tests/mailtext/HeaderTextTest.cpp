// Display text of header lines: encoded words, legacy charsets, the text
// rule for 8-bit text, bounds; and the cache the message list reads.

#include "dbx/DbxTestSupport.h"
#include "dbx/DisplayText.h"
#include "mailtext/Charsets.h"
#include "mailtext/HeaderText.h"
#include "mailtext/HeaderTextCache.h"
#include "support/WideText.h"

#include <gtest/gtest.h>

using mailtext::DecodeHeaderText;

namespace {

struct Case {
    const char* name;
    std::string value;
    std::string shown;
};

const Case kCases[] = {
    {"utf8 B", "=?UTF-8?B?R3LDvMOfZQ==?=", "Grüße"},
    {"lower-case b and charset", "=?utf-8?b?R3LDvMOfZQ==?=", "Grüße"},
    {"B without padding", "=?utf-8?B?R3LDvMOfZQ?=", "Grüße"},
    {"Q with underscores", "=?ISO-8859-1?Q?R=E9union_=E0_Gen=E8ve?=", "Réunion à Genève"},
    {"lower-case q", "=?iso-8859-1?q?caf=e9?=", "café"},
    {"Windows-1251", "=?windows-1251?B?zvL3uPIg5+Ag6uLg8PLg6w==?=", "Отчёт за квартал"},
    {"KOI8-R", "=?KOI8-R?Q?=EF=D4=DE=A3=D4_=DA=C1?=", "Отчёт за"},
    {"two adjacent words: the blank between them goes",
     "=?utf-8?Q?Fw:_Cat=C3=B3lica_EAD_=E2=80=93_?= \t =?utf-8?Q?=E2=80=9CRematr=C3=ADcula=E2=80=9D?=",
     "Fw: Católica EAD – “Rematrícula”"},
    {"a character split between two words", "=?utf-8?B?ww==?= =?utf-8?B?qQ==?=", "é"},
    {"words in two charsets", "=?iso-8859-1?q?=E9?= =?koi8-r?q?=EF?=", "éО"},
    {"a word in the middle of plain text", "Re: [list] =?utf-8?q?Caf=C3=A9?= today", "Re: [list] Café today"},
    {"a word glued to text", "Fwd:=?utf-8?q?Caf=C3=A9?=!", "Fwd:Café!"},
    {"unknown charset stays", "=?x-no-such-charset?Q?abc?= rest", "=?x-no-such-charset?Q?abc?= rest"},
    {"broken Base64 stays", "=?utf-8?B?Q2Fm*w6k=?=", "=?utf-8?B?Q2Fm*w6k=?="},
    {"Base64 with a lone sixth stays", "=?utf-8?B?Q2Fmw?=", "=?utf-8?B?Q2Fmw?="},
    {"broken Q stays", "=?utf-8?Q?a=ZZ?=", "=?utf-8?Q?a=ZZ?="},
    {"a broken word keeps its blanks", "=?utf-8?q?a?= =?utf-8?B?*?= =?utf-8?q?b?=", "a =?utf-8?B?*?= b"},
    {"no closing mark", "=?utf-8?q?abc", "=?utf-8?q?abc"},
    {"unknown encoding letter", "=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
    {"charset with a language", "=?utf-8*en?q?hi?=", "hi"},
    {"a charset name that is no name", "=?utf-8//IGNORE?q?x?=", "=?utf-8//IGNORE?q?x?="},
    {"8-bit Windows-1252 text", "Caf\xE9 cr\xE8me", "Café crème"},
    {"8-bit UTF-8 text", "Caf\xC3\xA9", "Café"},
    {"ASCII-labelled word with 8-bit bytes", "=?us-ascii?q?caf=E9?=", "café"},
    {"tabs become spaces, ends trimmed", "  a\tb  ", "a b"},
    {"a word that decodes to nothing", "x =?utf-8?q?" "?= y", "x  y"},
    {"invalid bytes in a known charset", "=?utf-8?q?a=FFb?=", "a\xEF\xBF\xBD" "b"},
};

TEST(HeaderText, DecodesAsTheReaderExpects)
{
    for (const Case& c : kCases)
        EXPECT_EQ(DecodeHeaderText(c.value), c.shown) << c.name;
}

TEST(HeaderText, AVeryLongValueIsCutWholeCharactersAndStaysUtf8)
{
    std::string longWord = "=?utf-8?B?";
    for (int i = 0; i < 1500; ++i)
        longWord += "w6nDqcOp";  // "ééé"
    longWord += "?=";
    for (const std::string& value : {std::string(5000, 'a'), longWord, std::string(3000, '\xE9')}) {
        const std::string shown = DecodeHeaderText(value);
        EXPECT_LE(shown.size(), mailtext::kMaxDisplayText);
        EXPECT_GT(shown.size(), mailtext::kMaxDisplayText - 4);
        EXPECT_TRUE(dbx::IsValidUtf8(shown));
    }
    // A cut that falls just after a blank leaves no blank at the end.
    EXPECT_EQ(DecodeHeaderText(std::string(2047, 'a') + " bc"), std::string(2047, 'a'));
}

TEST(HeaderText, LegacyCharsetsConvertWholeTexts)
{
    std::string out;
    ASSERT_TRUE(mailtext::AppendAsUtf8("\xCE\xF2\xF7\xB8\xF2", "Windows-1251", out));
    EXPECT_EQ(out, "Отчёт");
    out.clear();
    ASSERT_TRUE(mailtext::AppendAsUtf8("\xEF\xD4\xDE\xA3\xD4", "koi8-r", out));
    EXPECT_EQ(out, "Отчёт");
    out = "kept";
    EXPECT_FALSE(mailtext::AppendAsUtf8("abc", "x-unknown", out));
    EXPECT_EQ(out, "kept");

    // A byte-order mark speaks for its own text only; without one, UTF-16
    // is big-endian.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(DecodeHeaderText("=?utf-16?B?//5BAA==?="), "A");  // FF FE, then A little-endian
        EXPECT_EQ(DecodeHeaderText("=?utf-16?B?AEI=?="), "B");      // no mark
        EXPECT_EQ(DecodeHeaderText("=?utf-16?B?/v8AQQ==?="), "A");  // FE FF, then A big-endian
        EXPECT_EQ(DecodeHeaderText("=?UTF-32?B?AAAAQg==?="), "B");  // no mark
    }
}

TEST(HeaderText, WideWordsMadeUtf8ReadAsTheyDid)
{
    // For a parser that reads UTF-16 and UTF-32 without a mark in the
    // machine's order: those words, and only those, become UTF-8 words that
    // read as DecodeHeaderText reads the original.
    for (const testsupport::WideText& w : testsupport::kWideTexts) {
        const std::string word = "=?" + std::string(w.charset) + "?B?" + w.base64 + "?=";
        SCOPED_TRACE(word);
        EXPECT_EQ(DecodeHeaderText(word), "ab");
        std::string made = "untouched";
        const bool unordered = mailtext::HasUnstatedByteOrder(w.charset);
        EXPECT_EQ(mailtext::UnorderedWideWordsAsUtf8(" Re: " + word + "\r\n", made), unordered);
        EXPECT_EQ(made, unordered ? " Re: =?UTF-8?Q?ab?=\r\n" : "untouched");
    }
    const std::string mixed = "x =?utf-16?B?AGE=?=\r\n =?UTF-16?Q?=00b?= y=?utf-8?Q?=C3=A9?= =?utf-32?B?AAAAAA==?= z";
    std::string made;
    ASSERT_TRUE(mailtext::UnorderedWideWordsAsUtf8(mixed, made));
    // A NUL character is left out; the empty word goes on no UTF-8 run.
    EXPECT_EQ(made, "x =?UTF-8?Q?ab?= y=?utf-8?Q?=C3=A9?= =?US-ASCII?Q?" "?= z");
    EXPECT_EQ(DecodeHeaderText(made), "x ab yé z");
    EXPECT_FALSE(mailtext::UnorderedWideWordsAsUtf8("=?utf-16?B?A*A=?= =?utf-16le?B?YQA=?=", made));

    // An empty wide word between the halves of a split UTF-8 character keeps
    // them apart, as they were; one after an empty one too.
    for (const std::string gap : {"=?utf-16?B?AAA=?=", "=?utf-16?B?" "?= =?utf-32?B?" "?="}) {
        const std::string split = "=?utf-8?Q?=E2?= " + gap + " =?utf-8?Q?=82=AC?=";
        SCOPED_TRACE(split);
        ASSERT_TRUE(mailtext::UnorderedWideWordsAsUtf8(split, made));
        EXPECT_EQ(DecodeHeaderText(made), "\uFFFD\uFFFD\uFFFD");
    }
}

// --- the lines read again from a mail file ------------------------------------

struct FileCase {
    const char* name;
    std::string message;
    bool deleted;
    std::string from, to, subject;
};

const FileCase kFileCases[] = {
    {"a subject folded onto continuation lines",
     "From: =?utf-8?q?Jos=C3=A9?= <jose@example.org>\r\nTo: a@example.org\r\n"
     "Subject: =?utf-8?Q?Fw:_Cat=C3=B3lica_EAD_=E2=80=93_?=\r\n =?utf-8?Q?=E2=80=9CRematr=C3=ADcula?=\r\n\tfoi criada\r\n"
     "\r\nbody\r\n",
     false, "José <jose@example.org>", "a@example.org", "Fw: Católica EAD – “Rematrícula foi criada"},
    {"an empty first label: the fallback the engine took",
     "Subject: \r\nsubject: =?koi8-r?q?=EF=D4=DE=A3=D4?=\r\nFrom: x@y\r\n\r\n", false, "x@y", "", "Отчёт"},
    {"Reply-To before a line-initial To", "Reply-To: r@x\r\nFrom: f@x\r\nTo: t@x\r\n\r\n", false, "f@x", "t@x", ""},
    {"bare LF line ends", "From: f@x\nSubject: a\n b\nTo: t@x\r\n\r\n", false, "f@x", "t@x", "a b"},
    {"a deleted e-mail: the first From is blanked",
     "From: gone@x\r\nSubject: S\r\n\r\nFrom: quoted@x\r\n", true, "quoted@x", "", "S"},
    {"a UTF-16 subject, whose value the engine cuts at its first zero byte",
     "From: f@x\r\nSubject: =?utf-16?B?AGEAYg==?=\r\n\r\n", false, "f@x", "", "ab"},
    {"a header far into a long chain, folded across a block boundary",
     "From: f@x\r\nX-Pad: " + std::string(20000 - 18, 'p') + "\r\nSubject: far =?utf-8?q?aw?=\r\n =?utf-8?q?ay?=\r\n\r\n",
     false, "f@x", "", "far away"},
    {"raw 8-bit text in the charset the message names",
     "From: f@x\r\nSubject: \xCE\xF2\xF7\xB8\xF2\r\nContent-Type: text/plain;\r\n\tcharset=\"Windows-1251\"\r\n\r\n",
     false, "f@x", "", "Отчёт"},
    {"raw 8-bit text with an unknown or no charset: Windows-1252",
     "From: f@x\r\nSubject: Caf\xE9\r\nContent-Type: text/plain; charset=x-unheard-of\r\n\r\n", false, "f@x", "",
     "Café"},
    {"a charset named only in the body does not count",
     "From: f@x\r\nSubject: \xCE\xF2\r\n\r\nContent-Type: text/plain; charset=koi8-r\r\n", false, "f@x", "",
     "Îò"},
};

TEST(HeaderText, ReadsTheLineTheEngineFoundUnfolded)
{
    for (const FileCase& c : kFileCases) {
        dbxgen::DbxImage image(1 << 16);
        dbxtest::PutChain(image, dbxtest::Run(4096, (c.message.size() + 511) / 512), c.message, c.deleted);
        const dbxtest::ScannedFile scanned(image);
        const dbx::DbxFile& file = scanned.file;
        ASSERT_EQ(file.GetCount(), 1) << c.name;
        dbx::HeaderLines texts;
        const unsigned all = dbx::HeaderBit(dbx::HeaderField::kFrom) | dbx::HeaderBit(dbx::HeaderField::kTo)
                             | dbx::HeaderBit(dbx::HeaderField::kSubject);
        mailtext::ReadDisplayTexts(file.View(), *file.GetAt(0), all, texts);
        EXPECT_EQ(texts[0], c.from) << c.name;
        EXPECT_EQ(texts[1], c.to) << c.name;
        EXPECT_EQ(texts[3], c.subject) << c.name;

        // The cache gives the same, and the record's own field without a file.
        mailtext::HeaderTextCache cache;
        cache.Reset(&file);
        EXPECT_EQ(cache.Text(*file.GetAt(0), 0, dbx::HeaderField::kSubject), c.subject) << c.name;
        cache.Reset(nullptr);
        EXPECT_EQ(cache.Text(*file.GetAt(0), 0, dbx::HeaderField::kSubject),
                  DecodeHeaderText(file.GetAt(0)->subject)) << c.name;
    }
}

} // namespace
