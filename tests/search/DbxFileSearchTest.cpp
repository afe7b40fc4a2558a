// The walk on generated folder trees: what it reports, in which order, and
// where it stops.

#include "search/DbxFileSearch.h"

#include "TreeMaker.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>

using testsupport::MakeTree;
using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

// Writes down every report as "dir P", "folder P" or "file P SIZE", with the
// tree's root written as "R"; cancels from the `cancelAt`-th directory on,
// as a hidden progress window does.
class Recorder : public search::ISearchObserver {
public:
    explicit Recorder(std::string root) : root_(std::move(root)) {}

    bool SearchDirectory(const std::string& path) override
    {
        events.push_back("dir " + Rel(path));
        ++directories;
        return cancelAt < 0 || directories < cancelAt;
    }
    void FolderFound(const std::string& shownPath) override { events.push_back("folder " + Rel(shownPath)); }
    void MailFileFound(const std::string& path, std::uint64_t size) override
    {
        events.push_back("file " + Rel(path) + " " + std::to_string(size));
    }

    std::vector<std::string> events;
    int directories = 0;
    int cancelAt = -1;

private:
    std::string Rel(const std::string& path) const
    {
        return path.starts_with(root_) ? "R" + path.substr(root_.size()) : path;
    }
    std::string root_;
};

// Makes one directory unreadable, as permissions would for another user.
class Unreadable : public search::DirectoryReader {
public:
    explicit Unreadable(std::string path) : path_(std::move(path)) {}
    bool Read(const std::string& path, bool followLink, platform::NameFilter keep,
              platform::DirectoryListing& out) override
    {
        if (path == path_) {
            out = {};
            return false;
        }
        return DirectoryReader::Read(path, followLink, keep, out);
    }

private:
    std::string path_;
};

// Tells no directory's identity, as a system may refuse to.
class NoIdentity : public search::DirectoryReader {
public:
    bool Read(const std::string& path, bool followLink, platform::NameFilter keep,
              platform::DirectoryListing& out) override
    {
        const bool read = DirectoryReader::Read(path, followLink, keep, out);
        out.id = {};
        return read;
    }
};

std::vector<std::string> Walk(const std::string& root, search::DirectoryReader* reader = nullptr,
                              search::FileSystemBoundary boundary = {}, bool oneFileSystem = false)
{
    Recorder recorder(root);
    search::DbxFileSearch walk(recorder, std::move(boundary), reader);
    EXPECT_TRUE(walk.SearchTree(root, oneFileSystem));
    return recorder.events;
}

} // namespace

// --- order and folder nodes ---------------------------------------------------------

TEST(DbxFileSearch, FilesComeBeforeSubfoldersDepthFirstInNameOrder)
{
    TempDir dir;
    const std::string root = dir.File("tree");
    MakeTree(root, {"Zeta.DBX", "alpha.dbx", "notes.txt", "Inbox.dbx.bak", "b/", "Backup.2008/Old.dbx",
                    "c/d/e.dbx", "Mail.dbx/Inbox.dbx", "Mail.dbx/Old/Deep.dbx", "Mail.dbx/readme"});
    ASSERT_EQ(::mkfifo((root + "/pipe.dbx").c_str(), 0600), 0);
    fs::create_symlink(root + "/alpha.dbx", root + "/linked.dbx");
    fs::create_symlink(root + "/gone", root + "/dangling.dbx");

    const std::vector<std::string> expected{
        // Files of a folder first, under one folder node made before them...
        "folder R", "file R/alpha.dbx 9", "file R/linked.dbx 9", "file R/Zeta.DBX 8",
        // ...then its subfolders, each completely, in case-insensitive order;
        // a folder without mail files gets no node.
        "dir R/b",
        // A dotted folder is entered,
        "dir R/Backup.2008", "folder R/Backup.2008", "file R/Backup.2008/Old.dbx 19",
        "dir R/c", "dir R/c/d", "folder R/c/d", "file R/c/d/e.dbx 9",
        // and a folder named *.dbx is a folder like any other.
        "dir R/Mail.dbx", "folder R/Mail.dbx", "file R/Mail.dbx/Inbox.dbx 18",
        "dir R/Mail.dbx/Old", "folder R/Mail.dbx/Old", "file R/Mail.dbx/Old/Deep.dbx 21"};
    std::vector<std::string> events = Walk(root);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "dir R");
    events.erase(events.begin());
    EXPECT_EQ(events, expected);
}

// --- links, loops and directories seen before ---------------------------------------------

TEST(DbxFileSearch, LinksInsideTheWalkAreNotFollowedButALinkedRootIs)
{
    TempDir dir;
    const std::string root = dir.File("tree");
    MakeTree(root, {"sub/In.dbx", "../outside/Far.dbx"});
    fs::create_directory_symlink(".", root + "/loop");
    fs::create_directory_symlink("..", root + "/sub/up");
    fs::create_directory_symlink(dir.File("outside"), root + "/out");
    EXPECT_EQ(Walk(root), (std::vector<std::string>{"dir R", "dir R/sub", "folder R/sub", "file R/sub/In.dbx 10"}));

    // A Wine drive is a link to the prefix's drive folder: searched through it.
    fs::create_directory_symlink(root, dir.File("c:"));
    const std::string drive = dir.File("c:");
    EXPECT_EQ(Walk(drive), (std::vector<std::string>{"dir R", "dir R/sub", "folder R/sub", "file R/sub/In.dbx 10"}));
}

TEST(DbxFileSearch, ADirectoryIsSearchedOncePerSearchButAgainByTheNext)
{
    TempDir dir;
    const std::string root = dir.File("tree");
    MakeTree(root, {"a/In.dbx"});
    Recorder recorder(root);
    search::DbxFileSearch walk(recorder, {});
    EXPECT_TRUE(walk.SearchTree(root, false));
    EXPECT_TRUE(walk.SearchTree(root + "/a", false));  // already searched as part of the first
    EXPECT_TRUE(walk.SearchTree(dir.File("tree/../tree"), false));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"dir R", "dir R/a", "folder R/a", "file R/a/In.dbx 8",
                                                         "dir R/a", "dir R/../tree"}));
    // A later search finds the same files again.
    EXPECT_EQ(Walk(root).size(), 4u);
}

// --- failures and cancel ---------------------------------------------------------------

TEST(DbxFileSearch, AnUnreadableDirectoryCountsAsEmpty)
{
    TempDir dir;
    const std::string root = dir.File("tree");
    MakeTree(root, {"a/In.dbx", "a/deeper/More.dbx", "b/Out.dbx"});
    Unreadable reader(root + "/a");
    EXPECT_EQ(Walk(root, &reader),
              (std::vector<std::string>{"dir R", "dir R/a", "dir R/b", "folder R/b", "file R/b/Out.dbx 9"}));
    // Directories whose identity is unknown are searched all the same.
    NoIdentity anonymous;
    EXPECT_EQ(Walk(root, &anonymous).size(), 10u);
    // A missing root is not an error either.
    EXPECT_EQ(Walk(dir.File("missing")), std::vector<std::string>{"dir R"});
}

TEST(DbxFileSearch, CancelStopsAtTheNextDirectoryAndEveryLaterRootAtItsFirst)
{
    TempDir dir;
    const std::string root = dir.File("tree");
    MakeTree(root, {"a/One.dbx", "a/Two.dbx", "b/Three.dbx", "c/Four.dbx"});
    Recorder recorder(root);
    recorder.cancelAt = 3;  // at R/b
    search::DbxFileSearch walk(recorder, {});
    EXPECT_FALSE(walk.SearchTree(root, false));
    EXPECT_FALSE(walk.SearchTree(root + "/c", false));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"dir R", "dir R/a", "folder R/a", "file R/a/One.dbx 9",
                                                         "file R/a/Two.dbx 9", "dir R/b", "dir R/c"}));
}

// --- file-system boundaries ----------------------------------------------------------

namespace {

platform::MountEntry Mount(std::string point, std::string type, std::uint64_t device, std::string source = "/dev/sdb1")
{
    platform::MountEntry m;
    m.mountPoint = std::move(point);
    m.root = "/";
    m.fsType = std::move(type);
    m.source = std::move(source);
    m.device = device;
    return m;
}

} // namespace

TEST(FileSystemBoundary, NetworkAndPseudoMountsAreNeverEnteredOtherMountsOnlyAcrossFileSystems)
{
    const search::FileSystemBoundary boundary(
        {Mount("/", "ext4", 1), Mount("/proc", "proc", 2, "proc"), Mount("/mnt/nas", "nfs4", 3, "nas:/export"),
         Mount("/mnt/win", "fuseblk", 4), Mount("/home/me/remote", "fuse.sshfs", 5, "me@host:/"),
         Mount("/media/enc", "fuse.gocryptfs", 6, "/home/me/.enc")});
    const struct {
        const char* path;
        bool mayEnter;            // a folder search
        bool mayEnterOnOneDrive;  // a drive of the drive list
    } cases[] = {
        {"/home", true, true},          {"/proc", false, false},     {"/mnt/nas", false, false},
        {"/mnt/win", true, false},      {"/home/me/remote", false, false}, {"/media/enc", true, false},
        {"/mnt/nas/sub", true, true},  // not a mount point itself
    };
    for (const auto& c : cases) {
        EXPECT_EQ(boundary.MayEnter(c.path, false), c.mayEnter) << c.path;
        EXPECT_EQ(boundary.MayEnter(c.path, true), c.mayEnterOnOneDrive) << c.path;
    }
    // Reached across devices (a mount the paths did not show): by its device.
    EXPECT_FALSE(boundary.MayCross(3, false));
    EXPECT_TRUE(boundary.MayCross(4, true));
    EXPECT_TRUE(boundary.MayCross(99, false));
    // Without a mount table a drive keeps to its own device.
    EXPECT_FALSE(search::FileSystemBoundary().MayCross(99, true));
    EXPECT_TRUE(search::FileSystemBoundary().MayCross(99, false));
}

TEST(DbxFileSearch, MountPointsStopTheWalkAsTheBoundarySays)
{
    TempDir dir;
    const std::string root = platform::CanonicalPath(dir.File(""));
    MakeTree(root, {"disk/Disk.dbx", "nas/Nas.dbx", "home/Home.dbx"});
    const search::FileSystemBoundary boundary(
        {Mount(root + "/disk", "ext4", 7), Mount(root + "/nas", "cifs", 8, "//server/share")});
    EXPECT_EQ(Walk(root, nullptr, boundary, false),
              (std::vector<std::string>{"dir R", "dir R/disk", "folder R/disk", "file R/disk/Disk.dbx 13",
                                        "dir R/home", "folder R/home", "file R/home/Home.dbx 13"}));
    EXPECT_EQ(Walk(root, nullptr, boundary, true),
              (std::vector<std::string>{"dir R", "dir R/home", "folder R/home", "file R/home/Home.dbx 13"}));
}
