#pragma once
// File operations with the rules the program relies on.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// Deletes a file. Like DeleteFileA it refuses a read-only file (one without
// write permission) and reports a missing file as failure.
bool DeleteFile(const std::string& path);

// Makes a file read-only (clears every write-permission bit).
bool SetReadOnly(const std::string& path);

// Opens the file at `path` for reading bytes with the C library ("rb"),
// naming it as the program keeps paths (see FsPath.h); nullptr when it
// cannot be opened. Close it with std::fclose.
std::FILE* OpenForReading(const std::string& path);

// Makes the files written into `folder` durable: after a true return they
// survive a crash or a power cut. The same as FolderSync::Open then Sync,
// for files whose write errors are reported otherwise (see FolderSync).
bool SyncFolder(const std::string& folder);

// The one flush that makes a save into a folder durable. Open it before
// the first file of the save is created: Linux (since 5.8) reports to a
// sync only the write-back errors recorded after its descriptor was
// opened, so one opened afterwards could miss an error and call a lost
// file durable. POSIX: one syncfs of the folder's file system and an fsync
// of the folder, so that thousands of files cost one flush, not one each.
// Windows: each ExclusiveFile is flushed when committed; nothing is left.
class FolderSync {
public:
    FolderSync() = default;
    ~FolderSync();
    FolderSync(const FolderSync&) = delete;
    FolderSync& operator=(const FolderSync&) = delete;

    // False when the folder cannot be opened.
    bool Open(const std::string& folder);
    // Flushes and closes; true when every file written into the folder's
    // file system since Open reached the disk. False when not open.
    bool Sync();

private:
    std::string folder_;
#ifndef _WIN32
    int fd_ = -1;
#else
    bool open_ = false;
#endif
};

// Sets the modification time of the file at `path` to `utc`, a UTC file
// time (100-ns ticks since 1601); the access time stays as it is. False
// when the file system refuses.
bool SetModifiedTime(const std::string& path, std::uint64_t utc);

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
    // Cuts the file back to its first `size` bytes (to drop a part written
    // by a write that failed); the file stays usable. False on failure.
    bool CutBack(std::uint64_t size);
    // Flushes the file's data to the disk; false when it did not get there.
    bool Sync();
    // Sets the file's modification time to `utc` (as SetModifiedTime); do it
    // after the last write, which would move it again. False when refused.
    bool SetModifiedTime(std::uint64_t utc);
    // Closes the file (Windows: flushes it to the disk first); false when the
    // data did not reach the file. Either way the file is closed; on failure
    // it is removed. See FolderSync for durability on POSIX.
    bool Commit();
    // Closes the file and keeps it, whatever state it is in; false when the
    // close reported an error (the file may then lack some of its data).
    bool Keep();
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
