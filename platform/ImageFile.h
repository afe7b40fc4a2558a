#pragma once
// A disk image, a whole disk or partition, or any large file, opened
// read-only and read by 64-bit position. It is never mapped: a bad sector of
// a mapped disk would kill the process with a bus error, where a read only
// fails. Nothing is ever written to it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace platform {

class ImageFile {
public:
    // Why Open failed.
    enum class OpenError {
        kNone,
        kMissing,        // nothing at the path
        kNoPermission,   // the user may not read it
        kNotFileOrDisk,  // a directory, a pipe, a terminal, ...
        kEmpty,          // a file or device of 0 bytes
        kOther,          // any other failure (see OpenErrno)
    };

    ImageFile() = default;
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Opens a regular file or a block device read-only. False (and closed)
    // on failure; LastOpenError() then says why. An open object is closed
    // first.
    bool Open(const std::string& path);
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    OpenError LastOpenError() const { return openError_; }
    int OpenErrno() const { return openErrno_; }
    bool IsDevice() const { return device_; }
    std::uint64_t Size() const { return size_; }
    // The device's logical sector size (512 for files): the unit in which
    // failed reads are retried and counted.
    std::uint32_t SectorSize() const { return sectorSize_; }

    // Reads [pos, pos + n) clipped to Size() into out and returns how many
    // bytes that was. A read that fails is retried a sector at a time; a
    // sector that still cannot be read comes back as zeros and is recorded
    // (UnreadableSectors). Never fails as a whole.
    std::size_t ReadAt(std::uint64_t pos, void* out, std::size_t n);

    // Sectors found unreadable so far, in ascending order, without repeats.
    const std::vector<std::uint64_t>& UnreadableSectors() const { return unreadable_; }
    // Whether any byte of [pos, pos + n) lies in a sector found unreadable.
    bool HasUnreadable(std::uint64_t pos, std::uint64_t n) const;

    // ReadAt for one pass over the image in order: the system is told to read
    // far ahead, and the pages a call brought into the page cache are dropped
    // again once read, so that a pass over a large cold image leaves the cache
    // to the user's programs; pages that were cached before stay, so a warm
    // image stays warm.
    std::size_t ReadSequential(std::uint64_t pos, void* out, std::size_t n);

    // The name of the group whose members may read the file or device at
    // `path` ("" when its group may not, or it cannot be told): who may read
    // a disk.
    static std::string ReadingGroup(const std::string& path);

    // Test seam: reads touching a sector for which `failing` answers true
    // fail as a bad sector does. Empty to end it.
    void FailSectorsForTesting(std::function<bool(std::uint64_t sector)> failing);
    // Test seam: Open calls `open` instead of the system's (it answers a
    // descriptor, or -1 with errno set). nullptr restores the system's.
    using OpenFunction = int (*)(const char* path, int flags);
    static void SetOpenForTesting(OpenFunction open);

private:
    // One read of the system; false (with nothing promised in out) when it
    // failed with an I/O error.
    bool ReadOnce(std::uint64_t pos, void* out, std::size_t n);
    void MarkUnreadable(std::uint64_t sector);
    // Back to the closed state (the descriptor already closed).
    void Forget();
    bool FailsForTesting(std::uint64_t pos, std::size_t n) const;

    // Which pages of a range were in the page cache before this object read
    // them: a byte per page, 1 = cached. Only known for regular files.
    struct Residency {
        std::uint64_t from = 0, to = 0;
        std::vector<std::uint8_t> cached;
    };
    Residency Probe(std::uint64_t from, std::uint64_t to) const;
    void DropRead(const Residency& before);

    std::intptr_t fd_ = -1;  // a descriptor, or on Windows a handle
    std::uint64_t size_ = 0;
    std::uint32_t sectorSize_ = 512;
    bool device_ = false;
    OpenError openError_ = OpenError::kNone;
    int openErrno_ = 0;
    std::vector<std::uint64_t> unreadable_;
    std::function<bool(std::uint64_t)> failing_;
    bool sequentialAdvised_ = false;
    // Ranges probed ahead of the reading, before the system's read-ahead
    // (up to twice its window, often 16 MiB) reaches them.
    std::deque<Residency> ahead_;
};

} // namespace platform
