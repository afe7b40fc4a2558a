#include "DbxTestSupport.h"

#include "dbx/SaveNaming.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using dbx::MakeSaveName;
using dbxgen::DbxImage;
using dbxtest::ScannedFile;
using testsupport::ReadFile;

// --- names from subjects -----------------------------------------------------------

TEST(MakeSaveName, KeepsTwentySafeCharactersOfTheTextTheListShows)
{
    const struct {
        std::string text;
        const char* name;
    } cases[] = {
        {"Meeting on Friday", "Meeting on Friday"},
        {"", ""},
        // Characters names cannot hold; nothing else changes.
        {"Re: Invoice 2008/01 for project X", "Re_ Invoice 2008_01 "},
        {"a/b", "a_b"},
        {":\\/?*\"><|", "_________"},
        {" .dots. ", " .dots. "},
        // Control characters never reach a name.
        {"\033[31mred", "_[31mred"},
        {"tab\there\r\nline\x7F", "tab_here__line_"},
        {std::string("nul\0byte", 8), "nul_byte"},
#ifndef _WIN32
        {"c1 \xC2\x9B" "2J", "c1 _2J"},  // a UTF-8 encoded C1 control
#endif
        // Twenty characters, not bytes: never half a character.
        {"0123456789012345678\xC3\xA9t\xC3\xA9", "0123456789012345678\xC3\xA9"},
        {"\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 \xD1\x82\xD1\x80\xD0\xB5\xD1\x82\xD0\xB8\xD0\xB9 "
         "\xD0\xBA\xD0\xB2\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0\xD0\xBB",
         "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 \xD1\x82\xD1\x80\xD0\xB5\xD1\x82\xD0\xB8\xD0\xB9 "
         "\xD0\xBA\xD0\xB2\xD0\xB0\xD1\x80"},  // "Отчёт за третий квар"
        {"Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen, Tom", "Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen, T"},
        // Bytes that are not UTF-8 are read as Windows-1252 first.
        {"Rechnung f\xFCr M\xE4rz \x96 Mai", "Rechnung f\xC3\xBCr M\xC3\xA4rz \xE2\x80\x93 "},
        {"\x81 undefined", "_ undefined"},  // its C1 code point is a control too
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeSaveName(c.text), c.name) << c.text;
}

// --- saving into a folder ------------------------------------------------------------

TEST(EmlSaver, SecondNameComesFromTheClockAndTheRowAndNoFileIsTouchedTwice)
{
    DbxImage image(1 << 14);
    image.PutLiveBlock(1024, "Subject: Same first twenty bytes A\r\nDate: Tue, 15 Jan 2008 10:20:30 +0100\r\n\r\none", 0);
    image.PutLiveBlock(2048, "Subject: Same first twenty bytes B\r\n\r\ntwo", 0);
    image.PutLiveBlock(3072, "From: nobody@x\r\n\r\nno subject", 0);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 3);
    const std::string folder = f.dir.File("out");
    std::filesystem::create_directory(folder);
    dbx::EmlSaver saver(f.file, folder, true);  // files dated by their Date line

    const dbx::SaveOutcome a = saver.Save(0, 0, "Same first twenty bytes A");
    ASSERT_TRUE(a.Created());
    EXPECT_EQ(a.path, folder + "/Same first twenty by.eml");
    const dbx::SaveOutcome b = saver.Save(1, 7, "Same first twenty bytes B");
    ASSERT_TRUE(b.Created());
    const std::string bName = std::filesystem::path(b.path).filename().string();
    EXPECT_TRUE(bName.size() > 5 && bName.substr(bName.size() - 5) == "7.eml") << bName;
    EXPECT_TRUE(ReadFile(a.path).ends_with("\r\n\r\none"));
    EXPECT_TRUE(ReadFile(b.path).ends_with("\r\n\r\ntwo"));
    struct stat st {};
    ASSERT_EQ(::stat(a.path.c_str(), &st), 0);
    EXPECT_TRUE(a.dated);
    EXPECT_EQ(st.st_mtime, 1200388830);  // 09:20:30 UTC
    EXPECT_FALSE(b.dated);               // no Date: the time of saving

    const dbx::SaveOutcome c = saver.Save(2, 2, "");  // empty subject: clock name at once
    ASSERT_TRUE(c.Created());
    EXPECT_NE(std::filesystem::path(c.path).filename().string()[0], '.');

    // A second save into the folder (named with a slash at its end), as
    // another run would make it, not dated.
    const dbx::SaveOutcome again = dbx::EmlSaver(f.file, folder + "/", false).Save(0, 0, "Same first twenty bytes A");
    ASSERT_TRUE(again.Created());
    EXPECT_NE(again.path, a.path);
    EXPECT_TRUE(ReadFile(a.path).ends_with("\r\n\r\none"));
    ASSERT_EQ(::stat(a.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1200388830);
    ASSERT_EQ(::stat(again.path.c_str(), &st), 0);
    EXPECT_FALSE(again.dated);
    EXPECT_GT(st.st_mtime, 1200388830);
    EXPECT_EQ(again.dateUtc, a.dateUtc);  // known all the same, for the manifest

    // Nothing written: no folder, no such record.
    EXPECT_FALSE(dbx::EmlSaver(f.file, f.dir.File("missing-folder"), false).Save(0, 0, "x").Created());
    EXPECT_FALSE(saver.Save(99, 0, "x").Created());
}

TEST(EmlSaver, AnEmailCutShortIsKeptAndNotWrittenTwice)
{
    DbxImage image(1 << 16);
    dbxtest::PutChain(image, {1024, 40000}, dbxtest::Filled("Subject: shrinks\r\n") + "rest", false);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    ASSERT_EQ(::truncate(f.path.c_str(), 4096), 0);
    const std::string folder = f.dir.File("out");
    std::filesystem::create_directory(folder);
    const dbx::SaveOutcome cut = dbx::EmlSaver(f.file, folder, false).Save(0, 0, "shrinks");
    EXPECT_EQ(cut.result, dbx::DbxFile::WriteResult::kCutShort);
    EXPECT_EQ(cut.path, folder + "/shrinks.eml");
    EXPECT_EQ(ReadFile(cut.path).size(), 512u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}
