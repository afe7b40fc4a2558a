#include "search/DbxFileSearch.h"

#include "search/SearchPaths.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace search {

namespace {

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Case-insensitive name order, as Windows lists a directory (names compared
// in upper case); names that differ only in case keep a fixed order too, so
// the result never depends on the file system.
bool NameLess(const platform::DirectoryEntry& a, const platform::DirectoryEntry& b)
{
    const std::size_t n = std::min(a.name.size(), b.name.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(Upper(a.name[i]));
        const auto y = static_cast<unsigned char>(Upper(b.name[i]));
        if (x != y)
            return x < y;
    }
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

DirectoryReader& FileSystemReader()
{
    static DirectoryReader reader;
    return reader;
}

// A directory that went away, or was replaced by a link or a file, between
// the listing of its parent and its opening: nothing was there to read.
bool IsGone(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

std::string Why(int error)
{
    return std::generic_category().message(error);
}

} // namespace

int DirectoryReader::Open(const platform::DirectoryHandle* parent, std::string_view name, const std::string& path,
                          platform::DirectoryHandle& out)
{
    return parent ? out.OpenChild(*parent, name) : out.Open(path, true);
}

int DirectoryReader::Read(platform::DirectoryHandle& dir, const std::string&, platform::NameFilter keep,
                          platform::DirectoryListing& out)
{
    return dir.Read(keep, out);
}

platform::DirectoryId DirectoryReader::IdOf(const platform::DirectoryHandle& dir)
{
    return dir.Id();
}

DbxFileSearch::DbxFileSearch(ISearchObserver& observer, FileSystemBoundary boundary, DirectoryReader* reader)
    : observer_(observer), boundary_(std::move(boundary)), reader_(reader ? reader : &FileSystemReader())
{
}

bool DbxFileSearch::SearchTree(const std::string& root, bool oneFileSystem)
{
    oneFileSystem_ = oneFileSystem;
    if (!observer_.SearchDirectory(root))
        return false;
    platform::DirectoryHandle dir;
    // The root is what the user named: whatever keeps it from being read is said.
    if (const int error = reader_->Open(nullptr, root, root, dir)) {
        Unreadable(root, Why(error));
        return true;
    }
    return Walk(dir, root, root, platform::CanonicalPath(root), nullptr, 0);
}

void DbxFileSearch::Unreadable(const std::string& path, const std::string& why)
{
    ++unreadable_;
    observer_.DirectoryUnreadable(path, why);
}

bool DbxFileSearch::Climb(platform::DirectoryHandle& dir, const platform::DirectoryHandle& child, int depth)
{
    if (dir.OpenParentOf(child) == 0 && reader_->IdOf(dir) == trail_[depth].id)
        return true;
    dir.Close();
    // The child was moved elsewhere: down again by name from the deepest
    // directory that kept its descriptor, each step checked.
    constexpr int kAnchor = kOpenLevels - 2;
    platform::DirectoryHandle reached;
    const platform::DirectoryHandle* from = trail_[kAnchor].handle;
    for (int d = kAnchor + 1; d <= depth; ++d) {
        platform::DirectoryHandle next;
        if (next.OpenChild(*from, trail_[d].name) != 0 || !(reader_->IdOf(next) == trail_[d].id))
            return false;
        reached = std::move(next);
        from = &reached;
    }
    dir = std::move(reached);
    return true;
}

bool DbxFileSearch::Walk(platform::DirectoryHandle& dir, std::string_view name, const std::string& path,
                         const std::string& canonical, const platform::DirectoryId* parent, int depth)
{
    const platform::DirectoryId id = reader_->IdOf(dir);
    // A directory whose identity the system would not tell is searched.
    if (id.Known()) {
        if (parent && parent->Known() && id.device != parent->device && !boundary_.MayCross(id.device, oneFileSystem_))
            return true;
        if (!visited_.insert(id).second)
            return true;
    }
    trail_.push_back({std::string(name), id, &dir});
    struct Leave {
        std::vector<Step>& trail;
        ~Leave() { trail.pop_back(); }
    } leave{trail_};
    platform::DirectoryListing listing;
    // What could be read is searched all the same.
    if (const int error = reader_->Read(dir, path, &IsDbxName, listing))
        Unreadable(path, Why(error));
    std::sort(listing.entries.begin(), listing.entries.end(), NameLess);

    bool folderFound = false;
    for (const platform::DirectoryEntry& entry : listing.entries) {
        // Directories, and pipes or devices named *.dbx, have no file size.
        if (entry.kind == platform::EntryKind::kDirectory || !entry.fileSize)
            continue;
        if (!folderFound) {
            folderFound = true;
            observer_.FolderFound(platform::ShownDirectoryPath(path));
        }
        observer_.MailFileFound(platform::ChildPath(path, entry.name), *entry.fileSize);
    }
    for (const platform::DirectoryEntry& entry : listing.entries) {
        if (entry.kind != platform::EntryKind::kDirectory)
            continue;
        const std::string childCanonical = platform::ChildPath(canonical, entry.name);
        if (!boundary_.MayEnter(childCanonical, oneFileSystem_))
            continue;
        const std::string childPath = platform::ChildPath(path, entry.name);
        if (!observer_.SearchDirectory(childPath))
            return false;
        platform::DirectoryHandle child;
        if (const int error = reader_->Open(&dir, entry.name, childPath, child)) {
            if (!IsGone(error))
                Unreadable(childPath, Why(error));
            continue;
        }
        const bool letGo = depth + 1 >= kOpenLevels;
        if (letGo)
            dir.Close();
        const bool goOn = Walk(child, entry.name, childPath, childCanonical, &id, depth + 1);
        if (letGo && !Climb(dir, child, depth)) {
            // Moved elsewhere meanwhile: the rest of it is not searched.
            Unreadable(path, "it was moved while it was searched");
            return goOn;
        }
        if (!goOn)
            return false;
    }
    return true;
}

} // namespace search
