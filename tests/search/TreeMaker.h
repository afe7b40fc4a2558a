#pragma once
// Generated folder trees for the search tests, an observer that writes down
// what the walk reports, and a reader that fails where it is told to.

#include "search/DbxFileSearch.h"
#include "support/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

// Creates `entries` under `root`: a name ending in "/" is a directory, any
// other a file whose content is its own name (so sizes differ).
inline void MakeTree(const std::filesystem::path& root, std::initializer_list<std::string> entries)
{
    for (const std::string& entry : entries) {
        const std::filesystem::path path = root / entry;
        if (entry.ends_with("/")) {
            std::filesystem::create_directories(path);
        } else {
            std::filesystem::create_directories(path.parent_path());
            WriteFile(path.string(), entry);
        }
    }
}

// Writes down every report as "dir P", "folder P", "file P SIZE" or
// "unreadable P: WHY" (without the reason where `reasons` is false), with
// the tree's root written as "R" and separators as '/'; cancels from the
// `cancelAt`-th directory on, as a hidden progress window does.
class Recorder : public search::ISearchObserver {
public:
    explicit Recorder(std::string root, bool reasons = true) : root_(std::move(root)), reasons_(reasons) {}

    bool SearchDirectory(const std::string& path) override
    {
        events.push_back("dir " + Rel(path));
        return cancelAt < 0 || ++directories < cancelAt;
    }
    void FolderFound(const std::string& shownPath) override { events.push_back("folder " + Rel(shownPath)); }
    void MailFileFound(const std::string& path, std::uint64_t size) override
    {
        events.push_back("file " + Rel(path) + " " + std::to_string(size));
    }
    void DirectoryUnreadable(const std::string& path, const std::string& why) override
    {
        events.push_back("unreadable " + Rel(path) + (reasons_ ? ": " + why : std::string()));
    }

    std::vector<std::string> events;
    int directories = 0;
    int cancelAt = -1;

private:
    std::string Rel(const std::string& path) const
    {
        // Appended: GCC 12 warns of a false overlap in "R" + ... and replace().
        std::string shown = path.starts_with(root_) ? std::string("R").append(path, root_.size()) : path;
        for (char& c : shown)
            c = c == '\\' ? '/' : c;
        return shown;
    }
    std::string root_;
    bool reasons_;
};

// Makes one directory unopenable, as permissions would for another user,
// and another fail part way through its reading, as a bad disk would.
class Unreadable : public search::DirectoryReader {
public:
    Unreadable(std::string unopenable, std::string failing = {})
        : unopenable_(std::move(unopenable)), failing_(std::move(failing))
    {
    }
    int Open(const platform::DirectoryHandle* parent, std::string_view name, const std::string& path,
             platform::DirectoryHandle& out) override
    {
        return path == unopenable_ ? EACCES : DirectoryReader::Open(parent, name, path, out);
    }
    int Read(platform::DirectoryHandle& dir, const std::string& path, platform::NameFilter keep,
             platform::DirectoryListing& out) override
    {
        const int error = DirectoryReader::Read(dir, path, keep, out);
        if (path != failing_)
            return error;
        // What came before the error: its files, not its folder.
        std::erase_if(out.entries, [](const auto& e) { return e.kind == platform::EntryKind::kDirectory; });
        return EIO;
    }

private:
    std::string unopenable_;
    std::string failing_;
};

} // namespace testsupport
