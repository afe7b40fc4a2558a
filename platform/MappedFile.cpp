#include "platform/MappedFile.h"

#include "platform/Directory.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include "platform/WidePath.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

MappedFile::~MappedFile()
{
    Close();
}

MappedFile::MappedFile(MappedFile&& other) noexcept
{
    *this = std::move(other);
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        Close();
        view_ = std::exchange(other.view_, nullptr);
        size_ = std::exchange(other.size_, 0);
        path_ = std::exchange(other.path_, {});
        device_ = std::exchange(other.device_, 0);
        inode_ = std::exchange(other.inode_, 0);
    }
    return *this;
}

#ifdef _WIN32

using detail::Widen;

namespace {

// Volume serial number and file index of an open file.
bool IdentityOf(HANDLE file, std::uint64_t& volume, std::uint64_t& index)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        return false;
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

} // namespace

bool MappedFile::Open(const std::string& path)
{
    Close();
    // FILE_SHARE_DELETE too: the mail client may replace the file while it
    // is mapped, as it may on POSIX systems.
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    // A regular file only: not a device, pipe or console the path may name.
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) || size.QuadPart <= 0
        || static_cast<std::uint64_t>(size.QuadPart) > SIZE_MAX || !IdentityOf(file, volume, index)) {
        CloseHandle(file);
        return false;
    }
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) {
        CloseHandle(file);
        return false;
    }
    void* view = MapViewOfFileEx(mapping, FILE_MAP_READ, 0, 0, 0, nullptr);
    // The view keeps the mapping and the file open by itself.
    CloseHandle(mapping);
    CloseHandle(file);
    if (!view)
        return false;
    view_ = static_cast<const std::uint8_t*>(view);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    path_ = path;
    device_ = volume;
    inode_ = index;
    return true;
}

void MappedFile::Close()
{
    if (view_)
        UnmapViewOfFile(view_);
    view_ = nullptr;
    size_ = 0;
    path_.clear();
    device_ = inode_ = 0;
}

std::uint64_t MappedFile::ReadableSize() const
{
    if (!view_)
        return 0;
    // No access asked: this opens the file whoever holds it.
    HANDLE file = CreateFileW(Widen(path_).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return size_;
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    LARGE_INTEGER size{};
    const bool same = IdentityOf(file, volume, index) && volume == device_ && index == inode_
                      && GetFileSizeEx(file, &size);
    CloseHandle(file);
    // Another file at the path leaves the mapped one whole, as on POSIX.
    return same ? std::min(size_, static_cast<std::uint64_t>(size.QuadPart)) : size_;
}

#else

bool MappedFile::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK: a FIFO given by mistake must not block the program; it is
    // refused below as not being a regular file.
    const int fd = OpenDeep(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0
        || static_cast<std::uint64_t>(st.st_size) > SIZE_MAX) {
        ::close(fd);
        return false;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    // The mapping holds the file by itself.
    ::close(fd);
    if (view == MAP_FAILED)
        return false;
    view_ = static_cast<const std::uint8_t*>(view);
    size_ = static_cast<std::uint64_t>(size);
    path_ = path;
    device_ = static_cast<std::uint64_t>(st.st_dev);
    inode_ = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

void MappedFile::Close()
{
    if (view_)
        ::munmap(const_cast<std::uint8_t*>(view_), static_cast<std::size_t>(size_));
    view_ = nullptr;
    size_ = 0;
    path_.clear();
    device_ = inode_ = 0;
}

std::uint64_t MappedFile::ReadableSize() const
{
    if (!view_)
        return 0;
    struct stat st {};
    // Another file at the path (the mail client wrote a fresh copy and
    // renamed it over the old one) leaves the mapped one whole.
    if (StatDeep(path_, st, true) != 0 || static_cast<std::uint64_t>(st.st_dev) != device_
        || static_cast<std::uint64_t>(st.st_ino) != inode_)
        return size_;
    return std::min(size_, static_cast<std::uint64_t>(st.st_size));
}

#endif

} // namespace platform
