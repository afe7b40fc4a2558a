#pragma once
// Read-only memory mapping of a whole file. No lock is taken: other programs
// (the mail client among them) may keep the file open for reading and writing.
// No descriptor or handle stays open once the file is mapped, so a program may
// map any number of files whatever its descriptor limit.

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

    // Opens an existing regular file (its path of any length) read-only and
    // maps all of it. Returns false and leaves the object closed when the
    // file is missing, empty, not a regular file or cannot be mapped. An
    // open object is closed first.
    bool Open(const std::string& path);
    void Close();

    bool IsOpen() const { return view_ != nullptr; }
    const std::uint8_t* Data() const { return view_; }
    // Size in bytes when the file was opened (the file may shrink later; see
    // GuardedRead.h for reading such a view safely).
    std::uint64_t Size() const { return size_; }

    // How many bytes of the mapping the file still holds: Size(), or less
    // when the mapped file, still at its path, has been cut since it was
    // opened. Reads past that point fault, or read zeros up to the end of
    // the page. (Windows refuses to cut a mapped file, but under Wine a
    // Linux program may.) Asks the system each time; 0 when closed.
    std::uint64_t ReadableSize() const;

private:
    const std::uint8_t* view_ = nullptr;
    std::uint64_t size_ = 0;
    // What the path named when the file was opened (device and inode;
    // Windows: volume serial number and file index).
    std::string path_;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
};

} // namespace platform
