// The walk over the Win32 directory functions: order, case-blind matching of
// "*.dbx", names outside ASCII, and a folder that cannot be read.

#include "TreeMaker.h"
#include "platform/Directory.h"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

using testsupport::MakeTree;
using testsupport::Recorder;
using testsupport::TempDir;
using testsupport::Unreadable;

TEST(Win32Search, TheWalkKeepsItsOrderAndMatchesNamesWhateverTheirCase)
{
    TempDir dir;
    const std::string root = dir.File("tree");
    MakeTree(root, {"Zeta.DBX", "alpha.dbx", "notes.txt", "Inbox.dbx.bak", "b/", "Backup.2008/Old.dbx",
                    "c/d/e.dbx", "Mail.dbx/Inbox.dbx", "Locked/Secret.dbx"});
    // A folder and a file named outside ASCII, made with the W functions.
    const std::wstring wideRoot = dir.Path().native() + L"\\tree\\\u00C5rkiv";
    ASSERT_TRUE(CreateDirectoryW(wideRoot.c_str(), nullptr));
    HANDLE h = CreateFileW((wideRoot + L"\\Gel\u00F6scht.dbx").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "mail", 4, &written, nullptr);
    CloseHandle(h);

    Recorder recorder(root, false);  // the system's words differ by language
    Unreadable reader(platform::ChildPath(root, "Locked"));
    search::DbxFileSearch walk(recorder, {}, &reader);
    EXPECT_TRUE(walk.SearchTree(root, false));
    EXPECT_EQ(walk.UnreadableCount(), 1);
    const std::vector<std::string> expected{
        "dir R", "folder R", "file R/alpha.dbx 9", "file R/Zeta.DBX 8",
        "dir R/b",
        "dir R/Backup.2008", "folder R/Backup.2008", "file R/Backup.2008/Old.dbx 19",
        "dir R/c", "dir R/c/d", "folder R/c/d", "file R/c/d/e.dbx 9",
        "dir R/Locked", "unreadable R/Locked",
        "dir R/Mail.dbx", "folder R/Mail.dbx", "file R/Mail.dbx/Inbox.dbx 18",
        // Upper-cased, U+00C5 sorts after the ASCII letters.
        "dir R/\xC3\x85rkiv", "folder R/\xC3\x85rkiv", "file R/\xC3\x85rkiv/Gel\xC3\xB6scht.dbx 4"};
    EXPECT_EQ(recorder.events, expected);
}
