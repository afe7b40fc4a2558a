// quillmend-cli attachments, run in-process: the list for people and for
// scripts, the files written (whole, damaged, under safe names, never over
// another file, never executable), the outcome lines, exit statuses and
// manifest, and what a full disk leaves.

#include "CliRun.h"
#include "cli/CliCommon.h"
#include "dbx/DbxFile.h"
#include "support/FileOpsRecorder.h"
#include "support/TempDir.h"
#include "tools/dbxgen/MailboxBuilder.h"
#include "tools/dbxgen/MimeText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

using ::testing::HasSubstr;
using testsupport::CliRun;
using testsupport::FilesIn;
using testsupport::ReadFile;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

CliRun Attachments(const std::vector<std::string>& args)
{
    return testsupport::InProcess(cli::RunAttachments, args);
}

std::string Bytes(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(seed) * 7 + i / 251) & 0xFF);
    return bytes;
}

const std::string kPhoto = Bytes(3000, 1);
const std::string kScript = "#!/bin/sh\necho hi\n";
const std::string kLost = Bytes(6000, 2);

std::string Message(const std::string& subject, const std::string& parts)
{
    return dbxgen::Crlf("From: a@example.com\nTo: b@example.com\nSubject: " + subject +
                        "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"m\"\n\n") +
           parts + "--m--\r\n";
}

std::string Part(const std::string& headers, const std::string& body)
{
    return dbxgen::Crlf("--m\n" + headers + "\n") + body + "\r\n";
}

// A mailbox with an e-mail carrying files under hostile names, a deleted
// one whose file lost bytes, and one without files; the indexes by subject.
struct Mailbox {
    std::string path;
    int files = -1, deleted = -1, none = -1;
};

Mailbox MakeMailbox(const TempDir& dir)
{
    dbxgen::MailboxBuilder builder;
    builder.AddText(Message("files",
                            Part("Content-Type: image/jpeg; name=\"photo.jpg\"\nContent-Transfer-Encoding: base64\n",
                                 dbxgen::Base64(kPhoto)) +
                                Part("Content-Type: application/x-sh\nContent-Disposition: attachment; "
                                     "filename=\"../../.profile\"\n",
                                     kScript) +
                                Part("Content-Type: text/plain\n", "run this:\r\n" +
                                     dbxgen::Uuencode("\xE2\x80\xAEgpj.exe", kScript).replace(6, 3, "755"))));
    builder.AddText(Message("lost", Part("Content-Type: application/pdf; name=\"lost.pdf\"\n"
                                         "Content-Transfer-Encoding: base64\n",
                                         dbxgen::Base64(kLost))),
                    true);
    builder.AddText(Message("none", Part("Content-Type: text/plain\n", "nothing attached")));
    Mailbox box;
    box.path = dir.File("Inbox.dbx");
    EXPECT_TRUE(builder.Build().WriteTo(box.path));
    dbx::DbxFile file;
    EXPECT_TRUE(file.Open(box.path));
    dbx::IProgressSink quiet;
    file.Scan(quiet);
    for (int i = 0; i < file.GetCount(); ++i) {
        const std::string& subject = file.GetAt(i)->subject;
        (subject == "files" ? box.files : subject == "lost" ? box.deleted : box.none) = i;
    }
    return box;
}

} // namespace

TEST(AttachmentsCommand, ListsEveryFileForPeopleAndForScripts)
{
    TempDir dir;
    const Mailbox box = MakeMailbox(dir);
    const CliRun table = Attachments({box.path});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_THAT(table.out, HasSubstr("    0        3000  image/jpeg                photo.jpg\n"));
    EXPECT_THAT(table.out, HasSubstr("application/x-sh          _profile\n"));
    EXPECT_THAT(table.out, HasSubstr("application/octet-stream  gpj.exe\n"));
    EXPECT_THAT(table.out, HasSubstr("lost.pdf  [damaged: "));
    EXPECT_THAT(table.out, HasSubstr("4 attachments in 2 e-mails\n"));

    const CliRun json = Attachments({box.path, "--json", "--index", std::to_string(box.deleted)});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_THAT(json.out, HasSubstr("{\"index\":" + std::to_string(box.deleted) +
                                    ",\"status\":\"Deleted\",\"number\":0,\"name\":\"lost.pdf\",\"fileName\":\"lost.pdf\","
                                    "\"type\":\"application/pdf\",\"size\":6000,\"lostBytes\":"));
    EXPECT_THAT(json.out, HasSubstr("\"cut\":false,\"damaged\":true}\n]\n"));
    EXPECT_EQ(Attachments({box.path, "--json", "--index", std::to_string(box.none)}).out, "[\n]\n");
}

TEST(AttachmentsCommand, SavesUnderSafeNamesNeverOverAFileAndNeverExecutable)
{
    TempDir dir;
    const Mailbox box = MakeMailbox(dir);
    const std::string out = dir.File("out");
    const CliRun r = Attachments({box.path, "--save", out, "--index", std::to_string(box.files)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FilesIn(out), (std::map<std::string, std::string>{
                                {"photo.jpg", kPhoto}, {"_profile", kScript}, {"gpj.exe", kScript}}));
    for (const auto& entry : fs::directory_iterator(out)) {
        struct stat st {};
        ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0111, 0u) << entry.path();  // "begin 755" or not
    }
    const std::string f = std::to_string(box.files);
    EXPECT_THAT(r.out, HasSubstr(f + "\t0\t" + out + "/photo.jpg\n"));
    EXPECT_THAT(r.out, HasSubstr("3 attachments saved to " + out + "\n"));
    EXPECT_EQ(r.err, "");

    // Again into the same folder: the files there stay, the new ones get
    // other names.
    const CliRun again = Attachments({box.path, "--save", out, "--index", f});
    ASSERT_EQ(again.status, 0) << again.err;
    const auto files = FilesIn(out);
    EXPECT_EQ(files.size(), 6u);
    EXPECT_EQ(files.at("photo.jpg"), kPhoto);
    for (const auto& [name, bytes] : files) {
        if (name.starts_with("photo ") && name.ends_with(".jpg")) {
            EXPECT_EQ(bytes, kPhoto) << name;
        }
    }
}

TEST(AttachmentsCommand, ADamagedFileIsSavedMarkedAndNamedOnStandardError)
{
    TempDir dir;
    const Mailbox box = MakeMailbox(dir);
    const std::string out = dir.File("out");
    const std::string manifest = dir.File("m.json");
    const CliRun r = Attachments({box.path, "--save", out, "--manifest", manifest});
    EXPECT_EQ(r.status, 1);
    // Stdout holds a line only for the files written whole.
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3 + 1);
    EXPECT_THAT(r.out, HasSubstr("3 attachments saved to " + out + ", 1 more saved damaged\n"));
    EXPECT_THAT(r.err, HasSubstr("attachment 0 of e-mail " + std::to_string(box.deleted) + " is damaged ("));
    EXPECT_THAT(r.err, HasSubstr(out + "/lost (damaged).pdf holds what could be read"));
    const std::string saved = ReadFile(out + "/lost (damaged).pdf");
    ASSERT_EQ(saved.size(), kLost.size());
    std::size_t zeros = 0;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        EXPECT_TRUE(saved[i] == kLost[i] || saved[i] == '\0') << i;
        zeros += saved[i] != kLost[i] ? 1 : 0;
    }
    EXPECT_GT(zeros, 0u);

    const std::string json = ReadFile(manifest);
    EXPECT_THAT(json, HasSubstr("\"result\":\"damaged\",\"savedName\":\"lost (damaged).pdf\",\"sha256\":\"" +
                                testsupport::Sha256Hex(saved)));
    EXPECT_THAT(json, HasSubstr("\"name\":\"photo.jpg\",\"type\":\"image/jpeg\",\"size\":3000,\"lostBytes\":0"));
    // The manifest is never replaced either.
    EXPECT_EQ(Attachments({box.path, "--save", dir.File("out2"), "--manifest", manifest}).status, 2);
}

TEST(AttachmentsCommand, AFullDiskLeavesNoPartialFileAndNamesWhatWasNotWritten)
{
    TempDir dir;
    const Mailbox box = MakeMailbox(dir);
    const std::string out = dir.File("out");
    testsupport::FileOpsRecorder ops;
    ops.FailWritesAfter(kPhoto.size() + 10, out);
    const CliRun r = Attachments({box.path, "--save", out, "--index", std::to_string(box.files)});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("1 attachment saved to " + out + ", 2 could not be written\n"));
    EXPECT_THAT(r.err, HasSubstr("could not save attachment 1 of e-mail "));
    EXPECT_EQ(FilesIn(out), (std::map<std::string, std::string>{{"photo.jpg", kPhoto}}));
}

TEST(AttachmentsCommand, UsageErrorsExitWithTwo)
{
    TempDir dir;
    const Mailbox box = MakeMailbox(dir);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {box.path, "--json", "--save", dir.File("o")},
        {box.path, "--manifest", dir.File("m.json")},
        {box.path, "--index", "99"},
        {box.path, "--index", "x"},
        {box.path, "--existing", "--deleted"},
        {box.path, "--bogus"},
        {dir.File("missing.dbx")},
    };
    for (const auto& args : cases) {
        const CliRun r = Attachments(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args.back());
        EXPECT_EQ(r.out, "");
    }
}
