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
    // Flushes and closes; false when the data did not reach the file. Either
    // way the file is closed; on failure it is removed.
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
