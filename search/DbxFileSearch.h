#pragma once
// The walk that finds Outlook Express mail files (*.dbx) below a folder or
// a drive, reporting them as it goes. It enters every subdirectory once,
// whatever its name, follows no link inside the walk, never comes back to a
// directory it has searched, and opens each directory relative to its
// parent, so that it goes as deep as the file system does. No Qt: the
// desktop program and the command line share it.

#include "platform/Directory.h"
#include "search/FileSystemBoundary.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace search {

// Receives what a search finds, on the searching thread, in walk order.
class ISearchObserver {
public:
    virtual ~ISearchObserver() = default;
    // Called once for each directory before it is searched, with its path.
    // Returning false cancels the search: the walk returns at once.
    virtual bool SearchDirectory(const std::string& path) = 0;
    // Called before the first mail file of a directory, with the directory's
    // path as shown to the user (a bare drive "C:" as "C:\").
    virtual void FolderFound(const std::string& shownPath) { (void)shownPath; }
    // A mail file: its full path and size in bytes.
    virtual void MailFileFound(const std::string& path, std::uint64_t size) = 0;
    // A directory that could not be read, or not all of it, and why in the
    // system's words: mail files in it may have been missed.
    virtual void DirectoryUnreadable(const std::string& path, const std::string& why)
    {
        (void)path;
        (void)why;
    }
};

// Opens and reads directories for the walk. Tests replace it to make a
// directory unreadable, which running as root would not.
class DirectoryReader {
public:
    virtual ~DirectoryReader() = default;
    // Opens the directory at `path` into `out`: the walk's root when
    // `parent` is null (a link there is followed), else the subdirectory
    // `name` of `parent`. Returns 0 or an errno value.
    virtual int Open(const platform::DirectoryHandle* parent, std::string_view name, const std::string& path,
                     platform::DirectoryHandle& out);
    // Reads `dir`, the directory at `path`, as DirectoryHandle::Read does.
    virtual int Read(platform::DirectoryHandle& dir, const std::string& path, platform::NameFilter keep,
                     platform::DirectoryListing& out);
    // The identity of `dir`, as DirectoryHandle::Id tells it.
    virtual platform::DirectoryId IdOf(const platform::DirectoryHandle& dir);
};

class DbxFileSearch {
public:
    // The directories of the first kOpenLevels - 1 levels (the root is
    // level 0) keep their descriptor while their subdirectories are
    // searched; deeper ones let go of it and climb back through the
    // subdirectory's ("..", checked to be the same directory; when the
    // subdirectory was moved elsewhere meanwhile, down again by name from
    // the deepest one still open). So a walk holds at most this many
    // descriptors plus two however deep the tree, far from the usual limit
    // of 1024, and climbs only where trees are deeper than real ones are.
    static constexpr int kOpenLevels = 32;

    // `reader` may be null (the file system as it is); it must outlive the
    // search, as must `observer`.
    DbxFileSearch(ISearchObserver& observer, FileSystemBoundary boundary, DirectoryReader* reader = nullptr);

    // Searches the directory `root` (a link there is followed) and all below
    // it, depth first: in each directory its mail files are reported, then
    // its subdirectories are searched, each completely before the next, both
    // in case-insensitive name order. Links below the root are not followed;
    // a directory that cannot be read (the root included, also when it is
    // missing) is reported to the observer and the walk goes on; one that
    // went away since its parent was read is passed over. Mount points are
    // passed over as FileSystemBoundary says (`oneFileSystem`: a drive of
    // the drive list). A directory that this object has searched before,
    // under any path, is not searched again. Returns false when the observer
    // cancelled the search, true otherwise.
    bool SearchTree(const std::string& root, bool oneFileSystem);

    // How many directories this object could not read, or not wholly.
    int UnreadableCount() const { return unreadable_; }

private:
    struct IdHash {
        std::size_t operator()(const platform::DirectoryId& id) const noexcept
        {
            return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
        }
    };

    // A directory on the way from the root to the one being searched.
    struct Step {
        std::string name;
        platform::DirectoryId id;
        platform::DirectoryHandle* handle;  // kept open in the first kOpenLevels - 1 levels
    };

    bool Walk(platform::DirectoryHandle& dir, std::string_view name, const std::string& path,
              const std::string& canonical, const platform::DirectoryId* parent, int depth);
    // Opens the directory at `depth` of the trail again into `dir`, after
    // it let go of its descriptor while `child` was searched; false when it
    // is no longer where it was.
    bool Climb(platform::DirectoryHandle& dir, const platform::DirectoryHandle& child, int depth);
    void Unreadable(const std::string& path, const std::string& why);

    ISearchObserver& observer_;
    FileSystemBoundary boundary_;
    DirectoryReader* reader_;
    bool oneFileSystem_ = false;
    int unreadable_ = 0;
    std::unordered_set<platform::DirectoryId, IdHash> visited_;
    std::vector<Step> trail_;
};

} // namespace search
