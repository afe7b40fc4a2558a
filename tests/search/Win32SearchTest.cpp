// The walk over the Win32 directory functions: order, case-blind matching of
// "*.dbx", names outside ASCII, and a folder that cannot be read.

#include "search/DbxFileSearch.h"

#include "TreeMaker.h"
#include "platform/Directory.h"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>

using testsupport::MakeTree;
using testsupport::TempDir;

namespace {

// Every report as "dir P", "folder P", "file P SIZE" or "unreadable P",
// with the root written as "R" and separators as '/'.
class Recorder : public search::ISearchObserver {
public:
    explicit Recorder(std::string root) : root_(std::move(root)) {}
    bool SearchDirectory(const std::string& path) override
    {
        events.push_back("dir " + Rel(path));
        return true;
    }
    void FolderFound(const std::string& shownPath) override { events.push_back("folder " + Rel(shownPath)); }
    void MailFileFound(const std::string& path, std::uint64_t size) override
    {
        events.push_back("file " + Rel(path) + " " + std::to_string(size));
    }
    void DirectoryUnreadable(const std::string& path, const std::string&) override
    {
        events.push_back("unreadable " + Rel(path));
    }
    std::vector<std::string> events;

private:
    std::string Rel(const std::string& path) const
    {
        std::string shown(1, 'R');
        if (path.starts_with(root_))
            shown.append(path, root_.size());
        else
            shown = path;
        for (char& c : shown)
            c = c == '\\' ? '/' : c;
        return shown;
    }
    std::string root_;
};

// Refuses to open one folder, as its permissions would.
class Unopenable : public search::DirectoryReader {
public:
    explicit Unopenable(std::string path) : path_(std::move(path)) {}
    int Open(const platform::DirectoryHandle* parent, std::string_view name, const std::string& path,
             platform::DirectoryHandle& out) override
    {
        return path == path_ ? EACCES : DirectoryReader::Open(parent, name, path, out);
    }

private:
    std::string path_;
};

} // namespace

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

    Recorder recorder(root);
    Unopenable reader(platform::ChildPath(root, "Locked"));
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
