// The command-line tool as scripts use it: run the real binary, check its
// output, files and exit status.

#include "CliRun.h"
#include "cli/CliCommon.h"
#include "dbx/DbxFile.h"
#include "dbx/DisplayText.h"
#include "platform/FileTime.h"
#include "support/TempDir.h"
#include "support/WideText.h"
#include "tools/dbxgen/DbxImage.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::Cli;
using testsupport::CliRun;
using testsupport::Count;
using testsupport::FilesIn;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

// One live e-mail with an attachment mark, one deleted e-mail with a
// subject that tries to drive the terminal.
std::string MakeMailbox(const TempDir& dir)
{
    dbxgen::DbxImage image(1 << 14);
    image.PutLiveBlock(4096,
                       "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Quarterly \"report\"\r\n"
                       "Date: Tue, 15 Jan 2008 10:20:30 +0000\r\nContent-Type: application/pdf\r\n\r\nbody",
                       0);
    image.PutDeletedBlock(8192, "XXXXm: gone\r\nTo: eve@example.org\r\nSubject: Caf\xE9 \x1B[2J\r\n\r\nbye", 0);
    const std::string path = dir.File("Inbox.dbx");
    EXPECT_TRUE(image.WriteTo(path));
    return path;
}

} // namespace

// --- list ---------------------------------------------------------------------------

TEST(Cli, DatesReadAsPrintfWouldWriteThem)
{
    // Every kind of file time: none, the first, random ones (years past 9999
    // among them), the last, past it.
    constexpr std::uint64_t kLast = std::numeric_limits<std::int64_t>::max();
    std::vector<std::uint64_t> times{0, 1, kLast, kLast + 1};
    std::mt19937_64 random(5);
    for (int k = 0; k < 2000; ++k)
        times.push_back(random() % (kLast + 1));
    for (const std::uint64_t time : times) {
        platform::SystemTime st;
        char expected[64] = "";
        if (time != 0 && platform::FileTimeToSystemTime(time, st))
            std::snprintf(expected, sizeof expected, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{st.year},
                          unsigned{st.month}, unsigned{st.day}, unsigned{st.hour}, unsigned{st.minute},
                          unsigned{st.second});
        ASSERT_EQ(cli::FormatDate(time), expected) << time;
    }
}

TEST(Cli, JsonStringsEscapeWhatJsonNeedsWhereverItLies)
{
    // Byte by byte, as JSON asks: the display text of non-ASCII bytes.
    const auto plain = [](std::string_view bytes) {
        const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
        const std::string text = ascii ? std::string(bytes) : dbx::ToDisplayUtf8(bytes);
        std::string out = "\"";
        for (const char c : text) {
            char esc[8];
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
                    out += esc;
                } else {
                    out += c;
                }
            }
        }
        return out + '"';
    };
    // Mostly plain text, with each kind of byte now and then at any place
    // of an eight-byte step.
    const char kRare[] = {'"', '\\', '\0', '\x1F', ' ', '\x7F', '\x80', '\xC3', '\xA9', '\xFF', '\n'};
    std::mt19937 random(24);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 40, 'a');
        for (char& c : bytes)
            c = random() % 6 ? static_cast<char>('a' + random() % 26) : kRare[random() % sizeof kRare];
        std::string out = "x";
        cli::AppendJsonString(out, bytes);
        ASSERT_EQ(out, "x" + plain(bytes)) << testing::PrintToString(bytes);
    }
}

TEST(Cli, ListGivesTheContractedJsonAndATableSafeOnATerminal)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const CliRun r = Cli(dir, "list " + Quote(mailbox) + " --json", "TZ=UTC ");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "[\n"
              "{\"index\":0,\"status\":\"Deleted\",\"from\":\"\",\"to\":\"eve@example.org\","
              "\"subject\":\"Caf\xC3\xA9 \\u001b[2J\",\"fromText\":\"\",\"toText\":\"eve@example.org\","
              "\"subjectText\":\"Caf\xC3\xA9 \\u001b[2J\",\"date\":\"\",\"filetime\":0,\"hasAttachment\":false,"
              "\"blocks\":[8192],\"size\":512},\n"
              "{\"index\":1,\"status\":\"Existing\",\"from\":\"Ann <ann@example.org>\",\"to\":\"bob@example.org\","
              "\"subject\":\"Quarterly \\\"report\\\"\",\"fromText\":\"Ann <ann@example.org>\","
              "\"toText\":\"bob@example.org\",\"subjectText\":\"Quarterly \\\"report\\\"\",\"date\":\"2008-01-15 10:20:30\",\"filetime\":128448660300000000,"
              "\"hasAttachment\":true,\"blocks\":[4096],\"size\":155}\n"
              "]\n");

    const CliRun table = Cli(dir, "list " + Quote(mailbox), "TZ=UTC ");
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_THAT(table.out, HasSubstr("Deleted"));
    EXPECT_THAT(table.out, HasSubstr("2008-01-15 10:20:30  @  Ann <ann@example.org>"));
    EXPECT_THAT(table.out, Not(HasSubstr("\x1B")));  // the escape sequence is defused
    EXPECT_THAT(table.out, HasSubstr("Caf\xC3\xA9 ?[2J"));
    EXPECT_THAT(table.out, HasSubstr("2 e-mails"));
}

TEST(Cli, ListJsonShowsEveryDemoEmailDeletedOnesFirst)
{
    TempDir dir;
    const dbxgen::Mailbox demo = dbxgen::MakeDemoMailbox();
    const std::string path = dir.File("Inbox.dbx");
    ASSERT_TRUE(demo.WriteTo(path));
    const CliRun r = Cli(dir, "list " + Quote(path) + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto expected = demo.RecoveryOrder();
    ASSERT_EQ(expected.size(), demo.Messages().size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string entry = "{\"index\":" + std::to_string(i) + ",\"status\":\"" +
                                  (expected[i]->deleted ? "Deleted" : "Existing") + "\"";
        at = r.out.find(entry, at);
        ASSERT_NE(at, std::string::npos) << entry;
        const std::string blocks = "\"blocks\":[" + std::to_string(expected[i]->blocks.front());
        EXPECT_EQ(r.out.find(blocks, at), r.out.find("\"blocks\":[", at)) << i;
        const std::string size = "\"size\":" + std::to_string(expected[i]->text.size()) + "}";
        EXPECT_NE(r.out.find(size, at), std::string::npos) << i;
    }
    EXPECT_THAT(r.out, Not(HasSubstr("{\"index\":" + std::to_string(expected.size()))));
}

TEST(Cli, ListAndShowReadUtf16AndUtf32SubjectsByOneRule)
{
    // Without a byte-order mark such text is big-endian; its bytes may begin
    // with a zero, where the engine's own value of the subject ends.
    TempDir dir;
    dbxgen::DbxImage image(1 << 14);
    std::uint32_t at = 4096;
    for (const testsupport::WideText& w : testsupport::kWideTexts) {
        image.PutLiveBlock(at, "From: f@x\r\nSubject: =?" + std::string(w.charset) + "?B?" + w.base64 + "?=\r\n\r\nx", 0);
        at += 528;
    }
    const std::string mailbox = dir.File("Inbox.dbx");
    ASSERT_TRUE(image.WriteTo(mailbox));
    const std::size_t count = std::size(testsupport::kWideTexts);

    const CliRun json = Cli(dir, "list " + Quote(mailbox) + " --json");
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(Count(json.out, "\"subjectText\":\"ab\""), count) << json.out;
    EXPECT_THAT(json.out, HasSubstr("\"subject\":\"\""));  // the engine's value stays as it was

    const CliRun table = Cli(dir, "list " + Quote(mailbox));
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(Count(table.out, "  ab\n"), count) << table.out;

    for (std::size_t i = 0; i < count; ++i) {
        const CliRun show = Cli(dir, "show " + Quote(mailbox) + " " + std::to_string(i));
        ASSERT_EQ(show.status, 0) << show.err;
        EXPECT_THAT(show.out, HasSubstr("\nSubject: ab\n")) << testsupport::kWideTexts[i].base64 << show.out;
    }
}

// --- cat -------------------------------------------------------------------------------

TEST(Cli, CatWritesExactlyWhatSaveWrites)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(mailbox));
    dbx::IProgressSink quiet;
    file.Scan(quiet);
    for (int i = 0; i < file.GetCount(); ++i) {
        const std::string written = dir.File("m" + std::to_string(i) + ".eml");
        ASSERT_EQ(file.WriteMessage(i, written), dbx::DbxFile::WriteResult::kWhole);
        const CliRun r = Cli(dir, "cat " + Quote(mailbox) + " " + std::to_string(i));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, ReadFile(written));
    }
    const CliRun bad = Cli(dir, "cat " + Quote(mailbox) + " 2");
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.err, HasSubstr("no e-mail with index 2"));
    EXPECT_EQ(Cli(dir, "cat " + Quote(mailbox) + " -1").status, 2);
}

// --- show ------------------------------------------------------------------------------

TEST(Cli, ShowPrintsADeletedEmailForReadingWithItsGapsMarked)
{
    TempDir dir;
    const std::string path = dir.File("Inbox.dbx");
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(path));
    // E-mail 1 of the demo: deleted, KOI8-R text, a Base64 attachment.
    const CliRun r = Cli(dir, "show " + Quote(path) + " 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Deleted e-mail: 4 bytes of every 512 were overwritten when it was deleted; "
                          "the gaps are marked \u2591\u2591\u2591\n", 0), 0u) << r.out;
    EXPECT_THAT(r.out, HasSubstr("From:        \u0421\u0435\u0440\u0433\u0435\u0439 "
                                 "\u0418\u0432\u0430\u043d\u043e\u0432 <s.ivanov@sever.example.ru>\n"));
    EXPECT_THAT(r.out, HasSubstr("Attachments: otchet-q3-2005.pdf (application/pdf, 837 bytes, damaged)\n"));
    EXPECT_THAT(r.out, HasSubstr("\u0414\u043e\u0431\u0440\u044b\u0439 \u0434\u0435\u043d\u044c"));
    EXPECT_THAT(r.out, HasSubstr("\u2591\u2591\u2591\n\u0421\u0435\u0440\u0433\u0435\u0439"));  // a gap in the text
    EXPECT_THAT(r.out, Not(HasSubstr("\r")));

    // A subject that tries to drive the terminal is defused (cat gives the
    // stored bytes: see above).
    const std::string mailbox = MakeMailbox(dir);
    const CliRun hostile = Cli(dir, "show " + Quote(mailbox) + " 0");
    ASSERT_EQ(hostile.status, 0) << hostile.err;
    EXPECT_THAT(hostile.out, Not(HasSubstr("\x1B")));
    EXPECT_THAT(hostile.out, HasSubstr("Caf\xC3\xA9 [2J"));
    EXPECT_EQ(Cli(dir, "show " + Quote(mailbox) + " 2").status, 2);
    EXPECT_EQ(Cli(dir, "show " + Quote(mailbox)).status, 2);
}

// --- save ------------------------------------------------------------------------------

TEST(Cli, SaveWritesChosenEmailsAndNeverOverwrites)
{
    TempDir dir;
    const std::string mailbox = MakeMailbox(dir);
    const std::string out = dir.File("out folder");
    CliRun r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out) + " --existing");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/Quarterly _report_.eml"));
    EXPECT_THAT(r.out, HasSubstr("1 e-mail saved"));

    r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out) + " --index 0,1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/Caf\xC3\xA9 _[2J.eml"));  // UTF-8, no control byte
    EXPECT_EQ(FilesIn(out).size(), 3u);  // the second copy of e-mail 1 got a clock name
}

TEST(Cli, SavedNamesShowTheSubjectAsTheListDoes)
{
    const struct {
        const char* header;  // the message's header lines
        const char* name;    // the saved file's name
    } cases[] = {
        {"Subject: =?UTF-8?B?U29tbWVyIGluIFPDvGR0aXJvbCDigJMgMjAgJSBSYWJhdHQ=?=", "Sommer in S\xC3\xBC" "dtirol \xE2\x80\x93.eml"},
        {"Subject: =?iso-8859-1?Q?Caf=E9_cr=E8me_et_r=E9union?=", "Caf\xC3\xA9 cr\xC3\xA8me et r\xC3\xA9unio.eml"},
        {"Subject: \xCE\xF2\xF7\xB8\xF2 \xE7\xE0 \xF2\xF0\xE5\xF2\xE8\xE9 \xEA\xE2\xE0\xF0\xF2\xE0\xEB\r\n"
         "Content-Type: text/plain;\r\n\tcharset=\"windows-1251\"",
         "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 \xD1\x82\xD1\x80\xD0\xB5\xD1\x82\xD0\xB8\xD0\xB9 "
         "\xD0\xBA\xD0\xB2\xD0\xB0\xD1\x80.eml"},
        {"Subject: Meeting on Friday", "Meeting on Friday.eml"},
    };
    TempDir dir;
    dbxgen::DbxImage image(1 << 14);
    std::uint32_t at = 1024;
    for (const auto& c : cases) {
        image.PutLiveBlock(at, std::string(c.header) + "\r\n\r\nbody", 0);
        at += 1024;
    }
    const std::string mailbox = dir.File("names.dbx");
    ASSERT_TRUE(image.WriteTo(mailbox));
    const std::string out = dir.File("out");
    const CliRun r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& c : cases)
        EXPECT_TRUE(std::filesystem::exists(out + "/" + c.name)) << c.name << "\n" << r.out;
}

TEST(Cli, SaveNamesAndTellsTheSameWhateverTheThreads)
{
    // More e-mails than are named in one go, few subjects (one of them
    // taken by a file already there), some with none: each subject's name
    // goes to the first e-mail with it, the rest get clock names, and the
    // lines come in list order.
    constexpr int kEmails = 4300;
    TempDir dir;
    dbxgen::DbxImage image(1024 + std::size_t{kEmails} * 528);
    for (int i = 0; i < kEmails; ++i) {
        const std::string subject = i % 7 == 3 ? "From: a@example.org\r\n" : "Subject: s" + std::to_string(i * 7919 % 5) + "\r\n";
        image.PutLiveBlock(static_cast<std::uint32_t>(1024 + i * 528), subject + "\r\nbody", 0);
    }
    const std::string mailbox = dir.File("many.dbx");
    ASSERT_TRUE(image.WriteTo(mailbox));
    std::vector<std::string> seen[2];
    for (int run = 0; run < 2; ++run) {
        const std::string out = dir.File("out" + std::to_string(run));
        std::filesystem::create_directories(out);
        std::ofstream(out + "/s2.eml") << "already here";
        const CliRun r = Cli(dir, "save " + Quote(mailbox) + " " + Quote(out), run ? "QUILLMEND_THREADS=3 " : "QUILLMEND_THREADS=1 ");
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream lines(r.out);
        int expected = 0;
        for (std::string line; std::getline(lines, line) && line.find('\t') != std::string::npos; ++expected) {
            ASSERT_EQ(line.substr(0, line.find('\t')), std::to_string(expected));
            const std::string name = line.substr(line.rfind('/') + 1);
            seen[run].push_back(name[0] == 's' ? name : "clock");  // clock names differ from run to run
        }
        EXPECT_EQ(expected, kEmails);
    }
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(std::count(seen[0].begin(), seen[0].end(), "clock"), kEmails - 4);  // s0, s1, s3, s4 once each
}

// --- hostile files ----------------------------------------------------------------------

TEST(Cli, ListSaysWhenAFloodOfFakeHeadersLeftChainsUnexamined)
{
    TempDir dir;
    constexpr std::uint32_t kSize = 1 << 20;
    dbxgen::DbxImage image(kSize);
    for (std::uint32_t at = 0; at + 32 <= 1 << 19; at += 32)
        image.PutDeletedBlock(at, "XXXXTo: x\r\n", 0);
    image.PutLiveBlock(1 << 19, "From: real@example.org\r\nSubject: genuine\r\n\r\nbody", 0);
    const std::string mailbox = dir.File("Flood.dbx");
    ASSERT_TRUE(image.WriteTo(mailbox));
    const CliRun r = Cli(dir, "list " + Quote(mailbox));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("genuine"));
    const std::size_t cap = kSize / 256 + 4096;
    EXPECT_THAT(r.err,
                HasSubstr("warning: the list is incomplete: " + std::to_string((1u << 19) / 32 - 1 - cap) + " chains"));
}

// --- usage ------------------------------------------------------------------------------

TEST(Cli, UsageErrorsAndUnopenableFilesExitWithTwo)
{
    TempDir dir;
    for (const char* args : {"", "frobnicate", "list", "save x.dbx out --existing --deleted", "save x.dbx out --index 1,x"})
        EXPECT_EQ(Cli(dir, args).status, 2) << args;
    const CliRun missing = Cli(dir, "list " + Quote(dir.File("missing.dbx")));
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.err, HasSubstr("missing.dbx: No such file or directory"));
    const CliRun folder = Cli(dir, "list " + Quote(dir.Path().string()));
    EXPECT_EQ(folder.status, 2);
    EXPECT_THAT(folder.err, HasSubstr("is a directory"));

    const CliRun help = Cli(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: quillmend-cli"));
    EXPECT_EQ(Cli(dir, "--version").status, 0);
}
