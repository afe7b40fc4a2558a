// The crash report's file calls, which may not allocate, on a folder named
// outside ASCII (a user folder such as C:\Users\Jürgen on Windows).

#include "platform/Directory.h"
#include "platform/FolderList.h"
#include "platform/SafeFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(SafeFile, PagesAreWrittenReadAndRemovedInAFolderNamedOutsideAscii)
{
    testsupport::TempDir dir;
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
