#pragma once
// File operations with the rules the program relies on.

#include <cstddef>
#include <string>

namespace platform {

// Deletes a file. Like DeleteFileA it refuses a read-only file (one without
// write permission) and reports a missing file as failure.
bool DeleteFile(const std::string& path);

// Makes a file read-only (clears every write-permission bit).
bool SetReadOnly(const std::string& path);

// Makes the files written into `folder` durable: after a true return they
// survive a crash or a power cut. POSIX: one sync of the folder's file
// system and of the folder itself, so that a save of thousands of files
// costs one flush, not one per file. Windows: each ExclusiveFile is flushed
// when committed, so nothing is left to do.
bool SyncFolder(const std::string& folder);

// A file created exclusively for writing: Create fails when anything exists
// at the path, so no file is ever overwritten, even in a race.
class ExclusiveFile {
public:
    ExclusiveFile() = default;
    ~ExclusiveFile();  // an uncommitted file is removed
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    bool Create(const std::string& path);
    // Writes all n bytes; false on any failure (a full disk, say).
    bool Write(const void* data, std::size_t n);
    // Closes the file (Windows: flushes it to the disk first); false when the
    // data did not reach the file. Either way the file is closed; on failure
    // it is removed. See SyncFolder for durability on POSIX.
    bool Commit();
    // Closes and removes the file.
    void Discard();

private:
    std::string path_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool failed_ = false;
};

} // namespace platform
