// The files an e-mail carries: which parts count, their names as the
// message gives them, their bytes exactly, and deleted e-mails read around
// their gaps with every surviving byte the sender's.

#include "render/Attachments.h"
#include "render/Gaps.h"
#include "render/Limits.h"
#include "render/RenderMessage.h"
#include "render/Uuencode.h"

#include "DeletedMailbox.h"
#include "tools/dbxgen/MimeText.h"
#include "tools/dbxgen/Prng.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using dbxgen::Crlf;
using render::Attachment;
using render::AttachmentContent;
using namespace std::string_literals;

namespace {

struct Found {
    std::vector<Attachment> list;
    std::vector<AttachmentContent> contents;
};

Found Find(std::string_view stored, const dbx::TextDamage& damage = {}, bool complete = true)
{
    Found found;
    found.list = render::FindAttachments(
        stored, damage,
        [&](std::size_t number, const Attachment&, const AttachmentContent& content) {
            EXPECT_EQ(number, found.contents.size());
            found.contents.push_back(content);
        },
        complete);
    EXPECT_EQ(found.list.size(), found.contents.size());
    // Without a handler the list is the same.
    const std::vector<Attachment> listed = render::FindAttachments(stored, damage, {}, complete);
    EXPECT_EQ(listed.size(), found.list.size());
    for (std::size_t i = 0; i < std::min(listed.size(), found.list.size()); ++i) {
        EXPECT_EQ(listed[i].fileName, found.list[i].fileName);
        EXPECT_EQ(listed[i].size, found.list[i].size);
    }
    return found;
}

std::string Binary(std::size_t size, std::uint64_t seed)
{
    dbxgen::Prng random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random.Next() & 0xFF);
    // Bytes a reader of gaps could take for one.
    bytes[1] = '\x01';
    bytes[2] = '\0';
    return bytes;
}

const std::string kPdf = "%PDF-1.4 \x01\x02\x00 fake"s;

// Bytes of `content` that are neither the sender's nor, where lost, zero.
std::size_t WrongBytes(const AttachmentContent& content, const std::string& sent)
{
    EXPECT_EQ(content.bytes.size(), sent.size());
    for (const auto& range : content.lost)
        EXPECT_LE(range.offset + range.length, sent.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < std::min(sent.size(), content.bytes.size()); ++i) {
        const bool lost = std::any_of(content.lost.begin(), content.lost.end(),
                                      [&](const auto& r) { return i >= r.offset && i < r.offset + r.length; });
        wrong += content.bytes[i] != (lost ? '\0' : sent[i]) ? 1 : 0;
    }
    return wrong;
}

std::string Mixed(const std::string& parts)
{
    return Crlf("From: a@example.com\nSubject: files\nMIME-Version: 1.0\n"
                "Content-Type: multipart/mixed; boundary=\"m\"\n\n"
                "--m\nContent-Type: text/plain\n\nsee attached\n"
                + parts + "--m--\n");
}

std::string Part(const std::string& headers, const std::string& body)
{
    return Crlf("--m\n" + headers + "\n") + body + "\r\n";
}

struct Expected {
    std::string fileName;
    std::string mimeType;
    std::string bytes;
};

struct KindCase {
    const char* name;
    std::string message;
    std::vector<Expected> files;
};

} // namespace

// ---- what counts, and names as the message gives them

TEST(Attachments, FindsEveryKindWithItsNameAndExactBytes)
{
    const std::string b64 = dbxgen::Base64(kPdf);
    const std::string inner = Crlf("From: b@example.com\nSubject: Inner: news\nMIME-Version: 1.0\n"
                                   "Content-Type: multipart/mixed; boundary=\"i\"\n\n"
                                   "--i\nContent-Type: text/plain\n\ninner text\n"
                                   "--i\nContent-Type: image/gif; name=\"dot.gif\"\nContent-Transfer-Encoding: base64\n\n"
                                   "R0lGODlh\n--i--\n");
    const KindCase cases[] = {
        {"a file name in the disposition, Base64",
         Mixed(Part("Content-Type: application/pdf\nContent-Disposition: attachment; filename=\"r.pdf\"\n"
                    "Content-Transfer-Encoding: base64\n", b64)),
         {{"r.pdf", "application/pdf", kPdf}}},
        {"marked as an attachment without a name: named after its type",
         Mixed(Part("Content-Type: image/jpeg\nContent-Disposition: attachment\nContent-Transfer-Encoding: base64\n",
                    dbxgen::Base64("\xFF\xD8\xFF"))),
         {{"attachment.jpg", "image/jpeg", "\xFF\xD8\xFF"}}},
        {"a name in the type only, no disposition",
         Mixed(Part("Content-Type: application/octet-stream; name=\"data.bin\"\nContent-Transfer-Encoding: base64\n", b64)),
         {{"data.bin", "application/octet-stream", kPdf}}},
        {"RFC 2231 continuations in UTF-8",
         Mixed(Part("Content-Type: application/pdf\nContent-Disposition: attachment;\n filename*0*=utf-8''M%C3%A4;\n"
                    " filename*1*=rz%20re; filename*2=\"port.pdf\"\nContent-Transfer-Encoding: base64\n", b64)),
         {{"M\xC3\xA4rz report.pdf", "application/pdf", kPdf}}},
        {"RFC 2231 in UTF-16 without a byte-order mark: big-endian",
         Mixed(Part("Content-Type: text/plain\nContent-Disposition: attachment; filename*=utf-16''%00a%04Q%00.%00t%00x%00t\n",
                    "notes")),
         {{"a\xD1\x91.txt", "text/plain", "notes"}}},
        {"RFC 2047 in a quoted name, UTF-16 big-endian",
         Mixed(Part("Content-Type: image/gif; name=\"=?utf-16?B?AGEAYgBj?=.gif\"\nContent-Transfer-Encoding: base64\n",
                    "R0lGODlh")),
         {{"abc.gif", "image/gif", "GIF89a"}}},
        {"quoted-printable text file",
         Mixed(Part("Content-Type: text/plain; name=\"a.txt\"\nContent-Transfer-Encoding: quoted-printable\n",
                    "caf=E9 =\r\nau lait=0D=0A")),
         {{"a.txt", "text/plain", "caf\xE9 au lait\r\n"}}},
        {"8-bit part holding 0x01 and zero bytes",
         Mixed(Part("Content-Type: application/octet-stream; name=\"raw\"\nContent-Transfer-Encoding: binary\n",
                    "a\x01\x02"s + '\0' + "b")),
         {{"raw", "application/octet-stream", "a\x01\x02"s + '\0' + "b"}}},
        {"an attached message, and the file inside it",
         Mixed(Part("Content-Type: message/rfc822\n", inner)),
         {{"Inner_ news.eml", "message/rfc822", inner}, {"dot.gif", "image/gif", "GIF89a"}}},
        {"uuencoded in the body of a message without MIME",
         Crlf("From: a@example.com\nSubject: uu\n\nHere it is:\n\n") + dbxgen::Uuencode("scan 1.jpg", kPdf + kPdf)
             + Crlf("\nbye\n"),
         {{"scan 1.jpg", "image/jpeg", kPdf + kPdf}}},
        {"without MIME, the sender's own 0x01 bytes are no lost letters of a begin line",
         Crlf("Here it is, no header at all:\n\nb\x01gin 644 not.bin\n#86)C\nend\n\n") + dbxgen::Uuencode("a.bin", "a\x01b"),
         {{"a.bin", "application/octet-stream", "a\x01b"}}},
        {"uuencoded in a MIME text body, two files",
         Mixed(Part("Content-Type: text/plain\n", dbxgen::Uuencode("a.doc", "A") + dbxgen::Uuencode("b.zip", kPdf))),
         {{"a.doc", "application/msword", "A"}, {"b.zip", "application/zip", kPdf}}},
        {"text bodies and alternatives are no files",
         Mixed(Part("Content-Type: multipart/alternative; boundary=\"a\"\n",
                    Crlf("--a\nContent-Type: text/plain\n\nplain\n--a\nContent-Type: text/html\n\n<p>html</p>\n--a--"))),
         {}},
        {"a picture the HTML shows in place: listed when it has a name",
         Crlf("Subject: p\nContent-Type: multipart/related; boundary=\"r\"\n\n"
              "--r\nContent-Type: text/html\n\n<img src=\"cid:a\"><img src=\"cid:b\">\n"
              "--r\nContent-Type: image/gif\nContent-ID: <a>\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n"
              "--r\nContent-Type: image/gif; name=\"b.gif\"\nContent-ID: <b>\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n"
              "--r--\n"),
         {{"b.gif", "image/gif", "GIF89a"}}},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Found found = Find(c.message);
        ASSERT_EQ(found.list.size(), c.files.size());
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            EXPECT_EQ(found.list[i].fileName, c.files[i].fileName);
            EXPECT_EQ(found.list[i].mimeType, c.files[i].mimeType);
            EXPECT_EQ(found.contents[i].bytes, c.files[i].bytes);
            EXPECT_EQ(found.list[i].size, c.files[i].bytes.size());
            EXPECT_FALSE(found.list[i].Damaged());
        }
    }
}

// ---- what cannot be read whole

TEST(Attachments, OneTheEmailEndsInsideIsMarkedCut)
{
    const struct {
        const char* name;
        std::string message;
        bool complete;
    } cases[] = {
        {"MIME part cut off", Crlf("Subject: c\nContent-Type: multipart/mixed; boundary=\"m\"\n\n"
                                   "--m\nContent-Type: image/png; name=\"a.png\"\nContent-Transfer-Encoding: base64\n\n"
                                   "iVBORw0KGgoAAAAA"),
         true},
        {"uuencoded file without its end", Crlf("Subject: u\n\n") + dbxgen::Uuencode("a.bin", kPdf).substr(0, 30), true},
        {"without MIME, a data line holding the sender's 0x01 ends the file, losing nothing",
         Crlf("Here it is, no header at all:\n\nbegin 644 a.bin\n#86)C\n--8\x01)C\n`\nend\n"), true},
        {"the mail file shrank while it was read",
         [] {
             const std::string whole =
                 Mixed(Part("Content-Type: image/png; name=\"a.png\"\nContent-Transfer-Encoding: base64\n", "iVBORw0K"));
             return whole.substr(0, whole.find("iVBO") + 4);
         }(),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Found found = Find(c.message, {}, c.complete);
        ASSERT_EQ(found.list.size(), 1u);
        EXPECT_TRUE(found.list[0].cut);
        EXPECT_EQ(found.list[0].lostBytes, 0u);
        EXPECT_EQ(found.list[0].SaveName(), dbx::DamagedName(found.list[0].fileName));
    }
}

TEST(Attachments, HostileShapesStayWithinTheBudgets)
{
    // Thousands of uuencoded files, and attached messages nested far deeper
    // than any real chain of forwards.
    std::string many = Crlf("Subject: many\n\n");
    for (int i = 0; i < 3000; ++i)
        many += dbxgen::Uuencode(std::to_string(i) + ".bin", "x");
    const std::size_t files = Find(many).list.size();
    EXPECT_LE(files, render::limits::kMaxParts);
    EXPECT_GT(files, render::limits::kMaxParts - 10);

    std::string nested = Crlf("Subject: leaf\n\nbody\n");
    for (int depth = 0; depth < 40; ++depth)
        nested = Crlf("Subject: level " + std::to_string(depth) + "\nContent-Type: message/rfc822\n\n") + nested;
    const Found found = Find(nested);
    EXPECT_LE(found.list.size(), static_cast<std::size_t>(render::limits::kMaxAttachedMessageDepth));
}

// ---- deleted e-mails: read around the gaps

TEST(Attachments, ADeletedEmailsFilesKeepEverySurvivingByte)
{
    // A Base64 file, an 8-bit one holding 0x01 bytes and a uuencoded one,
    // each long enough that several blocks' gaps fall into it.
    const std::string photo = Binary(20000, 7);
    const std::string notes = "line one\r\n\x01 marked\r\n" + std::string(3000, 'n');
    const std::string uu = Binary(6000, 9);
    const std::string message =
        Mixed(Part("Content-Type: image/jpeg; name=\"photo.jpg\"\nContent-Disposition: attachment\n"
                   "Content-Transfer-Encoding: base64\n",
                   dbxgen::Base64(photo))
              + Part("Content-Type: application/octet-stream; name=\"notes.dat\"\nContent-Transfer-Encoding: 8bit\n",
                     notes)
              + Part("Content-Type: text/plain\n", "And:\r\n" + dbxgen::Uuencode("old.zip", uu)));
    const Stored r = DeleteAndRecover(dbxgen::MailMessage::FromText(message));
    ASSERT_FALSE(r.damage.overwritten.empty());

    const Found original = Find(message);
    const Found deleted = Find(r.bytes, r.damage);
    const std::string files[] = {photo, notes, uu};
    ASSERT_EQ(original.list.size(), 3u);
    ASSERT_EQ(deleted.list.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(original.list[i].fileName);
        EXPECT_EQ(original.contents[i].bytes, files[i]);
        EXPECT_EQ(deleted.list[i].fileName, original.list[i].fileName);
        const AttachmentContent& content = deleted.contents[i];
        EXPECT_EQ(WrongBytes(content, files[i]), 0u);
        EXPECT_EQ(deleted.list[i].lostBytes, content.LostBytes());
        EXPECT_GT(content.LostBytes(), 0u);
        // Four bytes of every 512 stored are lost: a few decoded bytes each.
        EXPECT_LT(content.LostBytes(), files[i].size() / 40);
        EXPECT_THAT(deleted.list[i].SaveName(), ::testing::HasSubstr(" (damaged)."));
    }
}

TEST(Attachments, UuencodedReadsAroundAGapWhereverItFalls)
{
    // A gap on every place of two lines: the length character, the data,
    // the CR, the LF and both, and the end line.
    const std::string data = Binary(200, 3);
    const std::string text = dbxgen::Uuencode("f.bin", data);
    const std::size_t first = text.find('\n') + 1;  // the first data line
    std::vector<std::size_t> places;
    for (std::size_t at = first; at < first + 2 * 63; ++at)
        places.push_back(at);
    places.push_back(text.size() - 6);  // over "end"
    for (const std::size_t at : places) {
        SCOPED_TRACE(at);
        std::string damaged = text;
        std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), 4, render::kGapByte);
        const std::vector<render::UuencodedFile> files = render::FindUuencoded(damaged, 10);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(files[0].ended);
        EXPECT_EQ(WrongBytes(files[0].content, data), 0u);
        EXPECT_LE(files[0].content.LostBytes(), 4u);
    }
}
