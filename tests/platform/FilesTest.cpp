// The file layer's rules, on both systems (on Windows against the real
// Windows functions, under Wine in the cross build), and the crash report's
// file calls, which may not allocate.

#include "platform/Directory.h"
#include "platform/Files.h"
#include "platform/FolderList.h"
#include "platform/SafeFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include "support/FileSizeLimit.h"

#include <sys/stat.h>
#endif

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(Files, DeleteRefusesReadOnlyAndMissingFiles)
{
    TempDir dir;
    const std::string writable = dir.File("a.mht");
    const std::string readOnly = dir.File("default.htm");
    WriteFile(writable, "x");
    WriteFile(readOnly, "start page");
    ASSERT_TRUE(platform::SetReadOnly(readOnly));

    EXPECT_TRUE(platform::DeleteFile(writable));
    EXPECT_FALSE(std::filesystem::exists(writable));
    EXPECT_FALSE(platform::DeleteFile(writable));  // already gone
    EXPECT_FALSE(platform::DeleteFile(readOnly));  // as the start page needs
    EXPECT_EQ(ReadFile(readOnly), "start page");
    EXPECT_FALSE(platform::DeleteFile(dir.Path().string()));  // never a directory
}

TEST(Files, ExclusiveFileNeverOverwritesAndRemovesWhatIsNotCommitted)
{
    TempDir dir;
    const std::string path = dir.File("mail.eml");
    platform::ExclusiveFile file;
    ASSERT_TRUE(file.Create(path));
    ASSERT_TRUE(file.Write("hello ", 6));
    ASSERT_TRUE(file.Write("world", 5));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadFile(path), "hello world");
    platform::ExclusiveFile again;
    EXPECT_FALSE(again.Create(path));
    EXPECT_EQ(ReadFile(path), "hello world");

    const std::string discarded = dir.File("gone.eml");
    {
        platform::ExclusiveFile partial;
        ASSERT_TRUE(partial.Create(discarded));
        ASSERT_TRUE(partial.Write("partial", 7));
    }
    EXPECT_FALSE(std::filesystem::exists(discarded));
    EXPECT_TRUE(platform::SyncFolder(dir.Path().string()));
    EXPECT_FALSE(platform::SyncFolder(dir.File("missing")));
}

TEST(SafeFile, PagesAreWrittenReadAndRemovedInAFolderNamedOutsideAscii)
{
    // A folder named outside ASCII, as C:\Users\Jürgen on Windows.
    TempDir dir;
    const std::string folder = platform::ChildPath(dir.Path().string(), "J\xC3\xBCrgen \xE2\x82\xAC");
    const std::string page = platform::ChildPath(folder, "bugreport.htm");
    ASSERT_TRUE(platform::CreateFolderForCrash(folder.c_str()));
    EXPECT_FALSE(platform::CreateFolderForCrash(folder.c_str()));

    const int out = platform::CreateNewFileForCrash(page.c_str());
    ASSERT_GE(out, 0);
    EXPECT_LT(platform::CreateNewFileForCrash(page.c_str()), 0);  // never a second time
    EXPECT_TRUE(platform::WriteAll(out, "<html>report</html>", 19));
    platform::CloseFile(out);
    EXPECT_TRUE(platform::Exists(page));  // by the name the rest of the program uses

    const int in = platform::OpenFileForCrash(page.c_str());
    ASSERT_GE(in, 0);
    EXPECT_EQ(platform::FileSize(in), 19);
    char tail[8] = {};
    EXPECT_EQ(platform::ReadAt(in, tail, 7, 12), 7);
    EXPECT_STREQ(tail, "</html>");
    platform::CloseFile(in);

    platform::RemoveFile(page.c_str());
    EXPECT_FALSE(platform::Exists(page));
    platform::RemoveEmptyFolder(folder.c_str());
    EXPECT_FALSE(platform::Exists(folder));
}

#ifndef _WIN32
TEST(Files, AFailedWriteRemovesTheFile)
{
    // A write that hits the file-size limit fails like a full disk would.
    TempDir dir;
    const std::string full = dir.File("full.eml");
    bool wrote = true;
    {
        const testsupport::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Set());
        platform::ExclusiveFile file;
        ASSERT_TRUE(file.Create(full));
        const std::string block(1000, 'x');
        for (int i = 0; i < 10 && wrote; ++i)
            wrote = file.Write(block.data(), block.size());
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_FALSE(wrote);
    EXPECT_FALSE(std::filesystem::exists(full));
}

// --- file times ---------------------------------------------------------------

TEST(Files, ModifiedTimeIsSetToTheTickBeforeAndAfter1970)
{
    TempDir dir;
    const std::string path = dir.File("dated.eml");
    WriteFile(path, "x");
    struct Case {
        std::uint64_t fileTime;
        std::int64_t seconds;  // since 1970
        long nanoseconds;
    };
    const Case cases[] = {
        {128448624301234567ull, 1200388830, 123456700},  // 2008-01-15 09:20:30.1234567
        {116444736000000000ull, 0, 0},                   // the Unix epoch
        {116444735995000000ull, -1, 500000000},          // half a second before it
        {110133216000000000ull, -631152000, 0},  // 1950-01-01
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::SetModifiedTime(path, c.fileTime)) << c.fileTime;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, c.seconds) << c.fileTime;
        EXPECT_EQ(st.st_mtim.tv_nsec, c.nanoseconds) << c.fileTime;
    }
    EXPECT_FALSE(platform::SetModifiedTime(dir.File("missing"), 116444736000000000ull));
}
#endif
