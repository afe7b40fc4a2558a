// The walk on generated folder trees: what it reports, in which order, and
// where it stops.

#include "TreeMaker.h"
#include "support/DeepFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::MakeTree;
using testsupport::Recorder;
using testsupport::TempDir;
using testsupport::Unreadable;
using testsupport::WriteFile;

namespace {

namespace fs = std::filesystem;

// Tells no directory's identity, as a system may refuse to.
class NoIdentity : public search::DirectoryReader {
public:
    platform::DirectoryId IdOf(const platform::DirectoryHandle&) override { return {}; }
};

std::vector<std::string> Walk(const std::string& root, search::DirectoryReader* reader = nullptr,
                              search::FileSystemBoundary boundary = {}, bool oneFileSystem = false)
{
    Recorder recorder(root);
    search::DbxFileSearch walk(recorder, std::move(boundary), reader);
    EXPECT_TRUE(walk.SearchTree(root, oneFileSystem));
    return recorder.events;
}

// Each test's own folder, with the tree to search at "tree".
class DbxFileSearch : public ::testing::Test {
protected:
    TempDir dir;
    const std::string root = dir.File("tree");
};

} // namespace

// --- order and folder nodes ---------------------------------------------------------

TEST_F(DbxFileSearch, FilesComeBeforeSubfoldersDepthFirstInNameOrder)
{
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

TEST_F(DbxFileSearch, LinksInsideTheWalkAreNotFollowedButALinkedRootIs)
{
    MakeTree(root, {"sub/In.dbx", "../outside/Far.dbx"});
    fs::create_directory_symlink(".", root + "/loop");
    fs::create_directory_symlink("..", root + "/sub/up");
    fs::create_directory_symlink(dir.File("outside"), root + "/out");
    const std::vector<std::string> found{"dir R", "dir R/sub", "folder R/sub", "file R/sub/In.dbx 10"};
    EXPECT_EQ(Walk(root), found);
    // A Wine drive is a link to the prefix's drive folder: searched through it.
    fs::create_directory_symlink(root, dir.File("c:"));
    EXPECT_EQ(Walk(dir.File("c:")), found);
}

TEST_F(DbxFileSearch, ADirectoryIsSearchedOncePerSearchButAgainByTheNext)
{
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

TEST_F(DbxFileSearch, WhatCannotBeReadIsReportedAndTheWalkGoesOn)
{
    MakeTree(root, {"a/In.dbx", "a/deeper/More.dbx", "b/Out.dbx", "b/x/", "c/Last.dbx"});
    Unreadable reader(root + "/a", root + "/b");
    Recorder recorder(root);
    search::DbxFileSearch walk(recorder, {}, &reader);
    EXPECT_TRUE(walk.SearchTree(root, false));
    // What was read of b before its error is searched; c comes all the same.
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"dir R", "dir R/a", "unreadable R/a: Permission denied",
                                                         "dir R/b", "unreadable R/b: Input/output error",
                                                         "folder R/b", "file R/b/Out.dbx 9", "dir R/c", "folder R/c",
                                                         "file R/c/Last.dbx 10"}));
    EXPECT_EQ(walk.UnreadableCount(), 2);
    // Directories whose identity is unknown are searched all the same.
    NoIdentity anonymous;
    EXPECT_EQ(Walk(root, &anonymous).size(), 14u);
    // A root that is missing, or no folder, is named: the user named it.
    WriteFile(dir.File("file"), "x");
    EXPECT_EQ(Walk(dir.File("missing")),
              (std::vector<std::string>{"dir R", "unreadable R: No such file or directory"}));
    EXPECT_EQ(Walk(dir.File("file")), (std::vector<std::string>{"dir R", "unreadable R: Not a directory"}));
}

TEST_F(DbxFileSearch, CancelStopsAtTheNextDirectoryAndEveryLaterRootAtItsFirst)
{
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

TEST(FileSystemBoundary, OnlyLocalDisksAreEnteredAndOnADriveNoMountAtAll)
{
    const search::FileSystemBoundary boundary(
        {Mount("/", "ext4", 1), Mount("/proc", "proc", 2, "proc"), Mount("/mnt/nas", "nfs4", 3, "nas:/export"),
         Mount("/mnt/win", "fuseblk", 4), Mount("/home/me/remote", "fuse.sshfs", 5, "me@host:/"),
         Mount("/media/enc", "fuse.gocryptfs", 6, "/home/me/.enc"), Mount("/run/media/me/USB", "vfat", 7),
         Mount("/tmp", "tmpfs", 8, "tmpfs"), Mount("/tank", "zfs", 9, "tank"),
         Mount("/mnt/odd", "minix", 10, "/dev/sdd1")},
        [](const std::string& source) { return source.starts_with("/dev/"); });
    const struct {
        const char* path;
        bool mayEnter;            // a folder search
        bool mayEnterOnOneDrive;  // a drive of the drive list
    } cases[] = {
        {"/home", true, true},           {"/proc", false, false},      {"/mnt/nas", false, false},
        {"/mnt/win", true, false},       {"/home/me/remote", false, false}, {"/media/enc", false, false},
        {"/run/media/me/USB", true, false}, {"/tmp", false, false},    {"/tank", true, false},
        {"/mnt/odd", true, false},
        {"/mnt/nas/sub", true, true},  // not a mount point itself
    };
    for (const auto& c : cases) {
        EXPECT_EQ(boundary.MayEnter(c.path, false), c.mayEnter) << c.path;
        EXPECT_EQ(boundary.MayEnter(c.path, true), c.mayEnterOnOneDrive) << c.path;
    }
    // Reached across devices (a mount the paths did not show): by its device.
    const std::pair<std::uint64_t, bool> devices[] = {{3, false}, {8, false}, {4, true}, {9, true}, {99, true}};
    for (const auto& [device, mayCross] : devices) {
        EXPECT_EQ(boundary.MayCross(device, false), mayCross) << device;
        EXPECT_EQ(boundary.MayCross(device, true), mayCross) << device;
    }
    // Without a mount table a drive keeps to its own device.
    EXPECT_FALSE(search::FileSystemBoundary().MayCross(99, true));
    EXPECT_TRUE(search::FileSystemBoundary().MayCross(99, false));
}

TEST_F(DbxFileSearch, MountPointsStopTheWalkAsTheBoundarySays)
{
    const std::string top = platform::CanonicalPath(dir.File(""));
    MakeTree(top, {"disk/Disk.dbx", "nas/Nas.dbx", "home/Home.dbx"});
    const search::FileSystemBoundary boundary(
        {Mount(top + "/disk", "ext4", 7), Mount(top + "/nas", "cifs", 8, "//server/share")});
    EXPECT_EQ(Walk(top, nullptr, boundary, false),
              (std::vector<std::string>{"dir R", "dir R/disk", "folder R/disk", "file R/disk/Disk.dbx 13",
                                        "dir R/home", "folder R/home", "file R/home/Home.dbx 13"}));
    EXPECT_EQ(Walk(top, nullptr, boundary, true),
              (std::vector<std::string>{"dir R", "dir R/home", "folder R/home", "file R/home/Home.dbx 13"}));
}

// --- deep trees --------------------------------------------------------------------------

namespace {

int OpenDescriptors()
{
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// 40 folders of 150 bytes in `root`, the deepest path some 6,100 bytes long
// with Deep.dbx in it, and in the 33rd and 34th folder a folder zz that
// holds Side.dbx; Level(n) is the path of the n-th folder.
struct DeepTree {
    explicit DeepTree(const std::string& base) : root(base), chain(base, std::string(150, 'd'), 40)
    {
        EXPECT_TRUE(testsupport::WriteFileAt(chain.Fd(), "Deep.dbx", "deep"));
        for (int n : {33, 34}) {
            const int fd = platform::OpenDeep(Level(n), O_RDONLY | O_DIRECTORY);
            EXPECT_EQ(::mkdirat(fd, "zz", 0755), 0);
            const int zz = ::openat(fd, "zz", O_RDONLY | O_DIRECTORY);
            EXPECT_TRUE(testsupport::WriteFileAt(zz, "Side.dbx", "side"));
            ::close(zz);
            ::close(fd);
        }
    }
    std::string Level(int n) const { return chain.path.substr(0, root.size() + 151 * n); }
    std::string Rel(int n) const { return "R" + Level(n).substr(root.size()); }
    // Moves the `n`-th folder from its parent to `to` in `within` folder.
    void Move(int n, int within, const char* to) const
    {
        const int from = platform::OpenDeep(Level(n - 1), O_RDONLY | O_DIRECTORY);
        const int into = platform::OpenDeep(Level(within), O_RDONLY | O_DIRECTORY);
        EXPECT_EQ(::renameat(from, std::string(150, 'd').c_str(), into, to), 0);
        ::close(from);
        ::close(into);
    }

    std::string root;
    testsupport::DeepFolder chain;
};

} // namespace

TEST_F(DbxFileSearch, DeepTreesAreWalkedWithFewDescriptorsAndFoldersMovedMeanwhileFoundAgainOrNamed)
{
    const struct {
        bool moveAbove;  // the 33rd folder moved too: nothing leads back
        int unreadable;
        bool restOf34Searched;
    } cases[] = {{false, 0, true}, {true, 2, false}};
    for (const auto& c : cases) {
        TempDir caseDir;
        const DeepTree tree(caseDir.Path().string());
        // While the 36th folder is searched, the 35th goes elsewhere: the
        // 34th, which let go of its descriptor, cannot be reached through it.
        struct Watcher : Recorder {
            using Recorder::Recorder;
            bool SearchDirectory(const std::string& path) override
            {
                mostOpen = std::max(mostOpen, OpenDescriptors());
                if (path == trigger)
                    atTrigger();
                return Recorder::SearchDirectory(path);
            }
            int mostOpen = 0;
            std::string trigger;
            std::function<void()> atTrigger;
        } watcher(tree.root);
        watcher.trigger = tree.Level(36);
        watcher.atTrigger = [&] {
            tree.Move(35, 0, "moved");
            if (c.moveAbove)
                tree.Move(33, 32, "renamed");
        };
        const int before = OpenDescriptors();
        search::DbxFileSearch walk(watcher, {}, nullptr);
        EXPECT_TRUE(walk.SearchTree(tree.root, false));
        const auto has = [&](const std::string& event) {
            return std::find(watcher.events.begin(), watcher.events.end(), event) != watcher.events.end();
        };
        EXPECT_LE(watcher.mostOpen - before, search::DbxFileSearch::kOpenLevels + 3);
        EXPECT_TRUE(has("file " + tree.Rel(40) + "/Deep.dbx 4")) << c.moveAbove;
        EXPECT_TRUE(has("file " + tree.Rel(33) + "/zz/Side.dbx 4") != c.moveAbove);
        EXPECT_EQ(has("file " + tree.Rel(34) + "/zz/Side.dbx 4"), c.restOf34Searched) << c.moveAbove;
        EXPECT_EQ(has("unreadable " + tree.Rel(34) + ": it was moved while it was searched"), c.moveAbove);
        EXPECT_EQ(walk.UnreadableCount(), c.unreadable) << c.moveAbove;
    }
}
