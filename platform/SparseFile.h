#pragma once
// A new file written at chosen offsets, with holes where nothing is
// written: a mail file rebuilt from the pieces of an image takes no more
// room on the disk than the pieces. Created exclusively: nothing that exists
// is ever overwritten.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class SparseFile {
public:
    SparseFile() = default;
    ~SparseFile();  // an unfinished file is removed
    SparseFile(const SparseFile&) = delete;
    SparseFile& operator=(const SparseFile&) = delete;

    // False when anything exists at the path or the file cannot be created.
    bool Create(const std::string& path);
    // Writes all n bytes at `offset`; false on any failure (a full disk).
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t n);
    // Gives the file `size` bytes (a hole up to there) and closes it; false
    // when that or an earlier write failed, and the file is then removed.
    bool Finish(std::uint64_t size);
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
