#pragma once
// Read-only memory mapping of a whole file. No lock is taken: other programs
// (the mail client among them) may keep the file open for reading and writing.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;

    // Opens an existing regular file read-only and maps all of it. Returns
    // false and leaves the object closed when the file is missing, empty, not
    // a regular file or cannot be mapped. An open object is closed first.
    bool Open(const std::string& path);
    void Close();

    bool IsOpen() const { return view_ != nullptr; }
    const std::uint8_t* Data() const { return view_; }
    // Size in bytes when the file was opened (the file may shrink later; see
    // GuardedRead.h for reading such a view safely).
    std::uint64_t Size() const { return size_; }

private:
    const std::uint8_t* view_ = nullptr;
    std::uint64_t size_ = 0;
#ifdef _WIN32
    void* file_ = nullptr;
    void* mapping_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace platform
