#include "DbxTestSupport.h"

#include "dbx/SaveNaming.h"

#include <filesystem>
#include <unistd.h>

using dbx::MakeSaveName;
using dbxgen::DbxImage;
using dbxtest::ScannedFile;
using testsupport::ReadFile;

// --- names from subjects -----------------------------------------------------------

TEST(MakeSaveName, KeepsTwentyBytesAndReplacesForbiddenCharacters)
{
    EXPECT_EQ(MakeSaveName("Meeting on Friday"), "Meeting on Friday");
    EXPECT_EQ(MakeSaveName("Re: Invoice 2008/01 for project X"), "Re_ Invoice 2008_01 ");
    EXPECT_EQ(MakeSaveName("a/b"), "a_b");
    EXPECT_EQ(MakeSaveName(":\\/?*\"><|"), "_________");
    EXPECT_EQ(MakeSaveName(" .dots. "), " .dots. ");  // nothing else changes
    EXPECT_EQ(MakeSaveName(""), "");
}

TEST(MakeSaveName, ControlCharactersNeverReachAName)
{
    EXPECT_EQ(MakeSaveName("\033[31mred"), "_[31mred");
    EXPECT_EQ(MakeSaveName("tab\there\r\nline\x7F"), "tab_here__line_");
    EXPECT_EQ(MakeSaveName(std::string("nul\0byte", 8)), "nul_byte");
#ifndef _WIN32
    EXPECT_EQ(MakeSaveName("c1 \xC2\x9B" "2J"), "c1 _2J");  // a UTF-8 encoded C1 control
#endif
}

TEST(MakeSaveName, NeverEndsInHalfAUtf8Character)
{
    // 19 ASCII bytes and a two-byte letter: the letter would be cut in half.
    EXPECT_EQ(MakeSaveName("0123456789012345678\xC3\xA9t\xC3\xA9"), "0123456789012345678");
    EXPECT_EQ(MakeSaveName("012345678901234567\xC3\xA9" "abc"), "012345678901234567\xC3\xA9");
}

TEST(MakeSaveName, NamesShowTheCharactersTheListShows)
{
#ifdef _WIN32
    // Names are read in the system's code page: the bytes stay as they are.
    EXPECT_EQ(MakeSaveName("Rechnung f\xFCr M\xE4rz \x96 Mai"), "Rechnung f\xFCr M\xE4rz \x96 ");
#else
    // Windows-1252 bytes are cut at 20 bytes, then written as UTF-8.
    EXPECT_EQ(MakeSaveName("Rechnung f\xFCr M\xE4rz \x96 Mai"), "Rechnung f\xC3\xBCr M\xC3\xA4rz \xE2\x80\x93 ");
    EXPECT_EQ(MakeSaveName("0123456789012345678\xE9\xE9\xE9"), "0123456789012345678\xC3\xA9");
    EXPECT_EQ(MakeSaveName("\x81 undefined"), "_ undefined");  // its C1 code point is a control too
#endif
    EXPECT_EQ(MakeSaveName("Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen, Tom"), "Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen");
}

// --- saving into a folder ------------------------------------------------------------

namespace {

DbxImage ThreeMessages()
{
    DbxImage image(1 << 14);
    image.PutLiveBlock(1024, "Subject: Same first twenty bytes A\r\n\r\none", 0);
    image.PutLiveBlock(2048, "Subject: Same first twenty bytes B\r\n\r\ntwo", 0);
    image.PutLiveBlock(3072, "From: nobody@x\r\n\r\nno subject", 0);
    return image;
}

} // namespace

TEST(SaveEmail, SecondNameComesFromTheClockAndTheRow)
{
    ScannedFile f(ThreeMessages());
    ASSERT_EQ(f.file.GetCount(), 3);
    const std::string folder = f.dir.File("out");
    std::filesystem::create_directory(folder);

    const dbx::SaveOutcome a = dbx::SaveEmail(f.file, 0, 0, folder);
    ASSERT_TRUE(a.Created());
    EXPECT_EQ(a.path, folder + "/Same first twenty by.eml");
    const dbx::SaveOutcome b = dbx::SaveEmail(f.file, 1, 7, folder);
    ASSERT_TRUE(b.Created());
    const std::string bName = std::filesystem::path(b.path).filename().string();
    EXPECT_TRUE(bName.size() > 5 && bName.substr(bName.size() - 5) == "7.eml") << bName;
    EXPECT_TRUE(ReadFile(a.path).ends_with("\r\n\r\none"));
    EXPECT_TRUE(ReadFile(b.path).ends_with("\r\n\r\ntwo"));

    const dbx::SaveOutcome c = dbx::SaveEmail(f.file, 2, 2, folder);  // empty subject: clock name at once
    ASSERT_TRUE(c.Created());
    EXPECT_NE(std::filesystem::path(c.path).filename().string()[0], '.');
}

TEST(SaveEmail, SavingTwiceNeverTouchesTheFirstFiles)
{
    ScannedFile f(ThreeMessages());
    const std::string folder = f.dir.Path().string() + "/";
    ASSERT_TRUE(dbx::SaveEmail(f.file, 0, 0, folder).Created());
    const std::string first = ReadFile(folder + "Same first twenty by.eml");
    const auto firstTime = std::filesystem::last_write_time(folder + "Same first twenty by.eml");
    const dbx::SaveOutcome again = dbx::SaveEmail(f.file, 0, 0, folder);
    ASSERT_TRUE(again.Created());
    EXPECT_NE(again.path, folder + "Same first twenty by.eml");
    EXPECT_EQ(ReadFile(folder + "Same first twenty by.eml"), first);
    EXPECT_EQ(std::filesystem::last_write_time(folder + "Same first twenty by.eml"), firstTime);
}

TEST(SaveEmail, ReportsWhenNothingCouldBeWritten)
{
    ScannedFile f(ThreeMessages());
    const dbx::SaveOutcome none = dbx::SaveEmail(f.file, 0, 0, f.dir.File("missing-folder"));
    EXPECT_FALSE(none.Created());
    EXPECT_FALSE(dbx::SaveEmail(f.file, 99, 0, f.dir.Path().string()).Created());
}

TEST(SaveEmail, AnEmailCutShortIsKeptAndNotWrittenTwice)
{
    DbxImage image(1 << 16);
    dbxtest::PutChain(image, {1024, 40000}, dbxtest::Filled("Subject: shrinks\r\n") + "rest", false);
    ScannedFile f(image);
    ASSERT_EQ(f.file.GetCount(), 1);
    ASSERT_EQ(::truncate(f.path.c_str(), 4096), 0);
    const std::string folder = f.dir.File("out");
    std::filesystem::create_directory(folder);
    const dbx::SaveOutcome cut = dbx::SaveEmail(f.file, 0, 0, folder);
    EXPECT_EQ(cut.result, dbx::DbxFile::WriteResult::kCutShort);
    EXPECT_EQ(cut.path, folder + "/shrinks.eml");
    EXPECT_EQ(ReadFile(cut.path).size(), 512u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}
