#pragma once
// The walk that finds Outlook Express mail files (*.dbx) below a folder or
// a drive, reporting them as it goes. It enters every subdirectory once,
// whatever its name, follows no link inside the walk, and never comes back
// to a directory it has searched. No Qt: the desktop program and the
// command line share it.

#include "platform/Directory.h"
#include "search/FileSystemBoundary.h"

#include <cstdint>
#include <string>
#include <unordered_set>

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
};

// Reads directories for the walk. Tests replace it to make a directory
// unreadable, which running as root would not.
class DirectoryReader {
public:
    virtual ~DirectoryReader() = default;
    // As platform::ReadDirectory.
    virtual bool Read(const std::string& path, bool followLink, platform::NameFilter keep,
                      platform::DirectoryListing& out);
};

class DbxFileSearch {
public:
    // `reader` may be null (the file system as it is); it must outlive the
    // search, as must `observer`.
    DbxFileSearch(ISearchObserver& observer, FileSystemBoundary boundary, DirectoryReader* reader = nullptr);

    // Searches the directory `root` (a link there is followed) and all below
    // it, depth first: in each directory its mail files are reported, then
    // its subdirectories are searched, each completely before the next, both
    // in case-insensitive name order. Links below the root are not followed;
    // directories that cannot be read count as empty; mount points are
    // passed over as FileSystemBoundary says (`oneFileSystem`: a drive of the
    // drive list). A directory that this object has searched before, under
    // any path, is not searched again. Returns false when the observer
    // cancelled the search, true otherwise.
    bool SearchTree(const std::string& root, bool oneFileSystem);

private:
    struct IdHash {
        std::size_t operator()(const platform::DirectoryId& id) const noexcept
        {
            return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
        }
    };

    bool Visit(const std::string& path, const std::string& canonical, const platform::DirectoryId* parent);

    ISearchObserver& observer_;
    FileSystemBoundary boundary_;
    DirectoryReader* reader_;
    bool oneFileSystem_ = false;
    std::unordered_set<platform::DirectoryId, IdHash> visited_;
};

} // namespace search
