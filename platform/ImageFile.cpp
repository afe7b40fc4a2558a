#include "platform/ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "platform/WidePath.h"
#include <winioctl.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

ImageFile::OpenFunction g_open = nullptr;

// Pages are probed and dropped in this unit.
constexpr std::uint64_t kPage = 4096;
// How far ahead of a sequential read the page cache is probed: beyond the
// read-ahead of any common disk (twice its window, 16 MiB by default on
// virtual disks with an 8 MiB window).
constexpr std::uint64_t kProbeLead = 64u << 20;

} // namespace

void ImageFile::SetOpenForTesting(OpenFunction open)
{
    g_open = open;
}

ImageFile::~ImageFile()
{
    Close();
}

void ImageFile::FailSectorsForTesting(std::function<bool(std::uint64_t sector)> failing)
{
    failing_ = std::move(failing);
}

void ImageFile::Forget()
{
    fd_ = -1;
    size_ = 0;
    sectorSize_ = 512;
    device_ = false;
    unreadable_.clear();
    sequentialAdvised_ = false;
    ahead_ = {};
}

bool ImageFile::FailsForTesting(std::uint64_t pos, std::size_t n) const
{
    if (failing_)
        for (std::uint64_t s = pos / sectorSize_; s <= (pos + n - 1) / sectorSize_; ++s)
            if (failing_(s))
                return true;
    return false;
}

bool ImageFile::HasUnreadable(std::uint64_t pos, std::uint64_t n) const
{
    if (n == 0 || unreadable_.empty())
        return false;
    const std::uint64_t first = pos / sectorSize_;
    const std::uint64_t last = (pos + n - 1) / sectorSize_;
    const auto it = std::lower_bound(unreadable_.begin(), unreadable_.end(), first);
    return it != unreadable_.end() && *it <= last;
}

void ImageFile::MarkUnreadable(std::uint64_t sector)
{
    const auto it = std::lower_bound(unreadable_.begin(), unreadable_.end(), sector);
    if (it == unreadable_.end() || *it != sector)
        unreadable_.insert(it, sector);
}

std::size_t ImageFile::ReadAt(std::uint64_t pos, void* out, std::size_t n)
{
    if (!IsOpen() || pos >= size_)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - pos));
    if (n == 0 || ReadOnce(pos, out, n))
        return n;
    // Somewhere in the range a sector cannot be read: go through it a sector
    // at a time, so that only the bad sectors are lost.
    auto* bytes = static_cast<std::uint8_t*>(out);
    for (std::uint64_t at = pos; at < pos + n;) {
        const std::uint64_t sector = at / sectorSize_;
        const std::uint64_t end = std::min(pos + n, (sector + 1) * sectorSize_);
        const auto length = static_cast<std::size_t>(end - at);
        if (!ReadOnce(at, bytes + (at - pos), length)) {
            std::memset(bytes + (at - pos), 0, length);
            MarkUnreadable(sector);
        }
        at = end;
    }
    return n;
}

std::size_t ImageFile::ReadSequential(std::uint64_t pos, void* out, std::size_t n)
{
    if (!IsOpen() || pos >= size_)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - pos));
    if (!sequentialAdvised_) {
        sequentialAdvised_ = true;
#ifndef _WIN32
        ::posix_fadvise(static_cast<int>(fd_), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }
    // What is cached of the ranges ahead is probed well before the reading
    // and its read-ahead reach them.
    while (!ahead_.empty() && ahead_.front().from < pos)
        ahead_.pop_front();
    std::uint64_t probed = ahead_.empty() ? pos : ahead_.back().to;
    while (probed < std::min(size_, pos + n + kProbeLead)) {
        const std::uint64_t to = std::min(size_, probed + n);
        ahead_.push_back(Probe(probed, to));
        probed = to;
    }
    Residency before;
    if (!ahead_.empty() && ahead_.front().from == pos && ahead_.front().to == pos + n) {
        before = std::move(ahead_.front());
        ahead_.pop_front();
    } else {
        before = Probe(pos, pos + n);
        ahead_.clear();
    }
    const std::size_t got = ReadAt(pos, out, n);
    DropRead(before);
    return got;
}

#ifdef _WIN32

bool ImageFile::Open(const std::string& path)
{
    Close();
    openError_ = OpenError::kNone;
    openErrno_ = 0;
    const std::wstring wide = detail::Widen(path);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // As errno values, as the POSIX branch gives them (for strerror).
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
            openErrno_ = ENOENT;
            openError_ = OpenError::kMissing;
        } else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            openErrno_ = EISDIR;  // Windows answers "access denied" for a folder
            openError_ = OpenError::kNotFileOrDisk;
        } else if (error == ERROR_ACCESS_DENIED) {
            openErrno_ = EACCES;
            openError_ = OpenError::kNoPermission;
        } else {
            openErrno_ = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? EBUSY : EIO;
            openError_ = OpenError::kOther;
        }
        return false;
    }
    // Pipes, consoles and the NUL device are no file or disk.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        openError_ = OpenError::kNotFileOrDisk;
        return false;
    }
    LARGE_INTEGER size{};
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (GetFileSizeEx(h, &size)) {
        size_ = static_cast<std::uint64_t>(size.QuadPart);
    } else if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                               nullptr)) {
        size_ = static_cast<std::uint64_t>(length.Length.QuadPart);
        device_ = true;
    } else {
        CloseHandle(h);
        openError_ = OpenError::kNotFileOrDisk;
        return false;
    }
    if (size_ == 0) {
        CloseHandle(h);
        openError_ = OpenError::kEmpty;
        return false;
    }
    fd_ = reinterpret_cast<std::intptr_t>(h);
    return true;
}

void ImageFile::Close()
{
    if (fd_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(fd_));
    Forget();
}

bool ImageFile::ReadOnce(std::uint64_t pos, void* out, std::size_t n)
{
    if (FailsForTesting(pos, n))
        return false;
    // A device reads whole sectors into a buffer of its own alignment.
    const std::uint64_t from = pos / sectorSize_ * sectorSize_;
    const std::uint64_t to = std::min<std::uint64_t>((pos + n + sectorSize_ - 1) / sectorSize_ * sectorSize_, size_);
    std::uint8_t* buffer = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, static_cast<SIZE_T>(to - from), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!buffer)
        return false;
    bool ok = true;
    for (std::uint64_t at = from; ok && at < to;) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(to - at, 1u << 30));
        ok = ReadFile(reinterpret_cast<HANDLE>(fd_), buffer + (at - from), want, &got, &where) && got > 0;
        at += got;
    }
    if (ok)
        std::memcpy(out, buffer + (pos - from), n);
    VirtualFree(buffer, 0, MEM_RELEASE);
    return ok;
}

ImageFile::Residency ImageFile::Probe(std::uint64_t from, std::uint64_t to) const
{
    return {from, to, {}};
}

std::string ImageFile::ReadingGroup(const std::string&)
{
    return {};
}

void ImageFile::DropRead(const Residency&) {}

#else

bool ImageFile::Open(const std::string& path)
{
    Close();
    openError_ = OpenError::kNone;
    openErrno_ = 0;
    // O_NONBLOCK: a pipe given by mistake must not block; it is refused below.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    const int fd = g_open ? g_open(path.c_str(), flags) : ::open(path.c_str(), flags);
    if (fd < 0) {
        openErrno_ = errno;
        openError_ = errno == ENOENT || errno == ENOTDIR ? OpenError::kMissing
                     : errno == EACCES || errno == EPERM ? OpenError::kNoPermission
                                                         : OpenError::kOther;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
        ::close(fd);
        openError_ = OpenError::kNotFileOrDisk;
        return false;
    }
    std::uint64_t size = 0;
    if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
    } else {
        device_ = true;
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
            const off_t end = ::lseek(fd, 0, SEEK_END);
            size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        }
        int logical = 0;
        if (::ioctl(fd, BLKSSZGET, &logical) == 0 && logical >= 512 && (logical & (logical - 1)) == 0)
            sectorSize_ = static_cast<std::uint32_t>(logical);
    }
    if (size == 0) {
        ::close(fd);
        device_ = false;
        sectorSize_ = 512;
        openError_ = OpenError::kEmpty;
        return false;
    }
    // Reads block from here on: a slow disk is waited for, not polled.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    size_ = size;
    return true;
}

std::string ImageFile::ReadingGroup(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !(st.st_mode & S_IRGRP))
        return {};
    struct group entry {};
    struct group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return {};
    return found->gr_name;
}

void ImageFile::Close()
{
    if (fd_ >= 0)
        ::close(static_cast<int>(fd_));
    Forget();
}

bool ImageFile::ReadOnce(std::uint64_t pos, void* out, std::size_t n)
{
    if (FailsForTesting(pos, n))
        return false;
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(static_cast<int>(fd_), bytes + done, n - done, static_cast<off_t>(pos + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0) {
            // The file shrank under us: what is gone reads as zeros.
            std::memset(bytes + done, 0, n - done);
            return true;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

ImageFile::Residency ImageFile::Probe(std::uint64_t from, std::uint64_t to) const
{
    Residency r;
    r.from = from;
    r.to = to;
    if (device_ || to <= from)
        return r;  // a device's pages are all dropped: nobody keeps a raw disk cached
    const std::uint64_t first = from / kPage * kPage;
    const auto length = static_cast<std::size_t>(to - first);
    // Mapping a file touches none of it; mincore then tells what is cached.
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(fd_), static_cast<off_t>(first));
    if (map == MAP_FAILED)
        return r;
    r.cached.assign((length + kPage - 1) / kPage, 0);
    if (::mincore(map, length, r.cached.data()) != 0)
        r.cached.assign(r.cached.size(), 1);  // unknown: keep them all
    for (std::uint8_t& page : r.cached)
        page &= 1;
    ::munmap(map, length);
    return r;
}

void ImageFile::DropRead(const Residency& before)
{
    const int fd = static_cast<int>(fd_);
    if (before.cached.empty()) {
        if (device_)
            ::posix_fadvise(fd, static_cast<off_t>(before.from), static_cast<off_t>(before.to - before.from),
                            POSIX_FADV_DONTNEED);
        return;
    }
    // Runs of pages that were not cached before.
    const std::uint64_t first = before.from / kPage * kPage;
    for (std::size_t i = 0; i < before.cached.size();) {
        if (before.cached[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < before.cached.size() && !before.cached[j])
            ++j;
        ::posix_fadvise(fd, static_cast<off_t>(first + i * kPage), static_cast<off_t>((j - i) * kPage),
                        POSIX_FADV_DONTNEED);
        i = j;
    }
}

#endif

} // namespace platform
