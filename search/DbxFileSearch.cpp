#include "search/DbxFileSearch.h"

#include "search/SearchPaths.h"

#include <algorithm>

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

} // namespace

bool DirectoryReader::Read(const std::string& path, bool followLink, platform::NameFilter keep,
                           platform::DirectoryListing& out)
{
    return platform::ReadDirectory(path, followLink, keep, out);
}

DbxFileSearch::DbxFileSearch(ISearchObserver& observer, FileSystemBoundary boundary, DirectoryReader* reader)
    : observer_(observer), boundary_(std::move(boundary)), reader_(reader ? reader : &FileSystemReader())
{
}

bool DbxFileSearch::SearchTree(const std::string& root, bool oneFileSystem)
{
    oneFileSystem_ = oneFileSystem;
    return Visit(root, platform::CanonicalPath(root), nullptr);
}

bool DbxFileSearch::Visit(const std::string& path, const std::string& canonical, const platform::DirectoryId* parent)
{
    if (!observer_.SearchDirectory(path))
        return false;
    platform::DirectoryListing listing;
    // Only the root may be a link (a Wine drive such as dosdevices/c:).
    if (!reader_->Read(path, parent == nullptr, &IsDbxName, listing))
        return true;
    // A directory whose identity the system would not tell is searched.
    if (listing.id.Known()) {
        if (parent && parent->Known() && listing.id.device != parent->device &&
            !boundary_.MayCross(listing.id.device, oneFileSystem_))
            return true;
        if (!visited_.insert(listing.id).second)
            return true;
    }
    std::sort(listing.entries.begin(), listing.entries.end(), NameLess);

    bool folderFound = false;
    for (const platform::DirectoryEntry& entry : listing.entries) {
        // A pipe or device named *.dbx is no mail file, and opening one could block.
        if (entry.kind != platform::EntryKind::kFile && entry.kind != platform::EntryKind::kLink)
            continue;
        const std::string file = platform::ChildPath(path, entry.name);
        const auto size = platform::RegularFileSize(file);  // a link counts when it leads to a file
        if (!size)
            continue;
        if (!folderFound) {
            folderFound = true;
            observer_.FolderFound(platform::ShownDirectoryPath(path));
        }
        observer_.MailFileFound(file, *size);
    }
    for (const platform::DirectoryEntry& entry : listing.entries) {
        if (entry.kind != platform::EntryKind::kDirectory)
            continue;
        const std::string childCanonical = platform::ChildPath(canonical, entry.name);
        if (!boundary_.MayEnter(childCanonical, oneFileSystem_))
            continue;
        if (!Visit(platform::ChildPath(path, entry.name), childCanonical, &listing.id))
            return false;
    }
    return true;
}

} // namespace search
