// save as scripts and examiners use it: the mbox export read back by GMime's
// mbox parser, file dates, and the manifest's digests.

#include "archive/Mbox.h"
#include "CliRun.h"
#include "dbx/DbxFile.h"
#include "mailtext/HeaderText.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DbxImage.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gmime/gmime.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::Cli;
using testsupport::CliRun;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::Sha256Hex;
using testsupport::TempDir;

namespace {

// Mail with body lines an mbox reader would take for separators, a deleted
// e-mail with its zero tail, and dates in two zones and none.
std::string MakeMailbox(const TempDir& dir)
{
    dbxgen::DbxImage image(1 << 15);
    image.PutLiveBlock(4096,
                       "From: \"Ann\" <ann@example.org>\r\nTo: bob@example.org\r\nSubject: quoting\r\n"
                       "Date: Tue, 15 Jan 2008 10:20:30 +0100\r\n\r\n"
                       "From here on\r\n>From there\r\n>>From afar\r\nFromage\r\n From indented\r\n",
                       0);
    image.PutLiveBlock(8192, "From: bob@example.org\r\nSubject: west\r\nDate: 3 Mar 2009 23:30:00 -0500\r\n\r\nhi", 0);
    image.PutLiveBlock(12288, "Subject: no date\r\n\r\nFrom the start\r\n", 0);
    image.PutDeletedBlock(16384, "XXXXived: by x\r\nFrom: old@example.org\r\nSubject: gone\r\nDate: 1 Feb 2003 00:00:00 +0000\r\n\r\nbye\r\n", 0);
    const std::string path = dir.File("Inbox.dbx");
    EXPECT_TRUE(image.WriteTo(path));
    return path;
}

struct MboxMessage {
    std::string marker;   // the separator line as GMime read it
    std::string text;     // the entry's bytes after the separator, unquoted
    std::string subject;  // as GMime decodes it
};

// Parses an mbox file with GMime and cuts it at the separators GMime found.
std::vector<MboxMessage> ParseMbox(const std::string& data)
{
    g_mime_init();
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(data.data(), data.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, GMIME_FORMAT_MBOX);
    std::vector<std::pair<std::size_t, MboxMessage>> found;
    while (!g_mime_parser_eos(parser)) {
        GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
        if (!message)
            break;
        MboxMessage m;
        char* marker = g_mime_parser_get_mbox_marker(parser);  // a copy, ours to free
        m.marker = marker ? marker : "";
        g_free(marker);
        const char* subject = g_mime_message_get_subject(message);
        m.subject = subject ? subject : "";
        found.emplace_back(static_cast<std::size_t>(g_mime_parser_get_mbox_marker_offset(parser)), std::move(m));
        g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    std::vector<MboxMessage> messages;
    for (std::size_t k = 0; k < found.size(); ++k) {
        const std::size_t begin = found[k].first;
        const std::size_t end = k + 1 < found.size() ? found[k + 1].first : data.size();
        std::string_view entry = std::string_view(data).substr(begin, end - begin);
        entry.remove_prefix(entry.find('\n') + 1);  // the separator line
        if (entry.ends_with("\n\n"))
            entry.remove_suffix(1);  // the blank line that ends the entry
        MboxMessage m = std::move(found[k].second);
        for (std::size_t at = 0; at < entry.size();) {
            const std::size_t lf = std::min(entry.find('\n', at), entry.size());
            m.text += archive::UnquoteMboxLine(entry.substr(at, lf - at)) + "\n";
            at = lf + 1;
        }
        messages.push_back(std::move(m));
    }
    return messages;
}

// What `cat` writes, line ends aside: LF only, ending in a line end; for a
// deleted e-mail without its zero tail and the spaces over its lost start.
std::string AsLines(std::string text, bool deleted)
{
    if (deleted) {
        text.erase(text.find_last_not_of('\0') + 1);
        text.erase(0, text.find_first_not_of(' '));
    }
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines += text[i];
    if (!lines.empty() && lines.back() != '\n')
        lines += '\n';
    return lines;
}

void ExpectRoundTrip(const TempDir& dir, const std::string& mailbox)
{
    const std::string mbox = dir.File("out.mbox");
    const CliRun r = Cli(dir, "save " + Quote(mailbox) + " --mbox " + Quote(mbox));
    ASSERT_EQ(r.status, 0) << r.err;
    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(mailbox));
    dbx::NullProgressSink quiet;
    file.Scan(quiet);
    const std::vector<MboxMessage> messages = ParseMbox(ReadFile(mbox));
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(file.GetCount()));
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& record = *file.GetAt(i);
        std::string text;
        ASSERT_TRUE(file.ReadMessage(i, text));
        const MboxMessage& m = messages[static_cast<std::size_t>(i)];
        std::string_view read = m.text;
        if (record.isDeleted && read.starts_with(archive::kFragmentLabel))
            read.remove_prefix(archive::kFragmentLabel.size());
        EXPECT_EQ(read, AsLines(text, record.isDeleted)) << i;
        EXPECT_TRUE(m.marker.starts_with("From ")) << m.marker;
        // GMime decodes encoded words as the list does (raw 8-bit text it
        // reads as ISO-8859-1, the list by the text rule).
        dbx::HeaderLines shown;
        mailtext::ReadDisplayTexts(file.View(), record, dbx::HeaderBit(dbx::HeaderField::kSubject), shown);
        if (std::all_of(record.subject.begin(), record.subject.end(), [](char c) { return c > 0; })) {
            EXPECT_EQ(m.subject, shown[3]) << i;
        }
    }
}

TEST(SaveExport, MboxOfTheDemoMailboxReadsBackMessageForMessage)
{
    TempDir dir;
    const std::string path = dir.File("Demo.dbx");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(path));
    ExpectRoundTrip(dir, path);
}

TEST(SaveExport, MboxKeepsFromLinesOfBodiesApart)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    ExpectRoundTrip(dir, mailbox);
    const std::string mbox = ReadFile(dir.File("out.mbox"));
    EXPECT_TRUE(mbox.starts_with("From old@example.org Sat Feb  1 00:00:00 2003\n")) << mbox.substr(0, 80);
    EXPECT_THAT(mbox, HasSubstr("\nFrom ann@example.org Tue Jan 15 09:20:30 2008\n"));
    EXPECT_THAT(mbox, HasSubstr("\nFrom MAILER-DAEMON Thu Jan  1 00:00:00 1970\n"));
    EXPECT_THAT(mbox, HasSubstr("\n>From here on\n>>From there\n>>>From afar\nFromage\n From indented\n"));
    EXPECT_THAT(mbox, Not(HasSubstr("\r")));
    EXPECT_THAT(mbox, Not(HasSubstr(std::string(1, '\0'))));
}

TEST(SaveExport, AnExistingMboxOrManifestIsNeverTouched)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    std::ofstream(dir.File("old.mbox")) << "keep";
    CliRun r = Cli(dir, "save " + Quote(mailbox) + " --mbox " + Quote(dir.File("old.mbox")));
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("already exists"));
    EXPECT_EQ(ReadFile(dir.File("old.mbox")), "keep");
    r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(dir.File("out")) + " --manifest " + Quote(dir.File("old.mbox")));
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
    EXPECT_EQ(Cli(dir, "save " + Quote(mailbox) + " " + Quote(dir.File("out")) + " --mbox x.mbox").status, 2);
}

std::int64_t UnixMtime(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtime;
}

TEST(SaveExport, SavedFilesCarryTheirDateAsTheSameInstantInEveryZone)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    for (const std::string zone : {"UTC0", "IST-5:30", "PST8"}) {
        const std::string out = dir.File("out " + zone);
        const CliRun r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out), "TZ=" + zone + " ");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(UnixMtime(out + "/quoting.eml"), 1200388830) << zone;  // 2008-01-15 09:20:30 UTC
        EXPECT_EQ(UnixMtime(out + "/west.eml"), 1236141000) << zone;     // 2009-03-04 04:30:00 UTC
        EXPECT_EQ(UnixMtime(out + "/gone.eml"), 1044057600) << zone;     // 2003-02-01 00:00:00 UTC
        EXPECT_NEAR(UnixMtime(out + "/no date.eml"), now, 120) << zone;  // written now
    }
    const std::string kept = dir.File("kept");
    ASSERT_EQ(Cli(dir, "save " + Quote(mailbox) + " " + Quote(kept) + " --keep-mtime").status, 0);
    EXPECT_NEAR(UnixMtime(kept + "/quoting.eml"), now, 120);
}

// The value of "key":"..." in a line of JSON ("" when absent or null).
std::string JsonField(const std::string& line, const std::string& key)
{
    const std::size_t at = line.find("\"" + key + "\":\"");
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + key.size() + 4;
    return line.substr(begin, line.find('"', begin) - begin);
}

std::uint64_t JsonNumber(const std::string& line, const std::string& key)
{
    const std::size_t at = line.find("\"" + key + "\":");
    return at == std::string::npos ? 0 : std::stoull(line.substr(at + key.size() + 3));
}

TEST(SaveExport, ManifestDigestsMatchWhatWasWritten)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const std::string out = dir.File("out");
    ASSERT_EQ(Cli(dir, "save " + Quote(mailbox) + " " + Quote(out) + " --manifest " + Quote(dir.File("eml.json"))).status, 0);
    ASSERT_EQ(Cli(dir, "save " + Quote(mailbox) + " --mbox " + Quote(dir.File("all.mbox")) + " --index 1,2 --manifest " +
                       Quote(dir.File("mbox.json"))).status, 0);
    const std::string mbox = ReadFile(dir.File("all.mbox"));
    for (const std::string json : {"eml.json", "mbox.json"}) {
        std::istringstream manifest(ReadFile(dir.File(json)));
        int emails = 0;
        for (std::string line; std::getline(manifest, line);) {
            if (line.starts_with("\"mailFile\"")) {
                EXPECT_EQ(JsonField(line, "sha256"), Sha256Hex(ReadFile(mailbox)));
                EXPECT_EQ(JsonNumber(line, "size"), std::filesystem::file_size(mailbox));
            } else if (line.starts_with("\"mbox\"")) {
                EXPECT_EQ(JsonField(line, "sha256"), Sha256Hex(mbox));
            } else if (line.starts_with("{\"index\"")) {
                ++emails;
                EXPECT_EQ(JsonField(line, "result"), "whole");
                const std::string name = JsonField(line, "savedName");
                const std::string written = json == "eml.json"
                                                ? ReadFile(out + "/" + name)
                                                : mbox.substr(JsonNumber(line, "mboxOffset"), JsonNumber(line, "mboxLength"));
                ASSERT_FALSE(written.empty()) << line;
                EXPECT_EQ(JsonField(line, "sha256"), Sha256Hex(written)) << line;
            }
        }
        EXPECT_EQ(emails, json == "eml.json" ? 4 : 2);
    }
}

} // namespace
