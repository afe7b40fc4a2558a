#include "platform/MappedFile.h"

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
#ifdef _WIN32
        file_ = std::exchange(other.file_, nullptr);
        mapping_ = std::exchange(other.mapping_, nullptr);
#else
        fd_ = std::exchange(other.fd_, -1);
#endif
    }
    return *this;
}

#ifdef _WIN32

using detail::Widen;

bool MappedFile::Open(const std::string& path)
{
    Close();
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0) {
        CloseHandle(file);
        return false;
    }
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) {
        CloseHandle(file);
        return false;
    }
    void* view = MapViewOfFileEx(mapping, FILE_MAP_READ, 0, 0, 0, nullptr);
    if (!view) {
        CloseHandle(mapping);
        CloseHandle(file);
        return false;
    }
    file_ = file;
    mapping_ = mapping;
    view_ = static_cast<const std::uint8_t*>(view);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

void MappedFile::Close()
{
    if (view_)
        UnmapViewOfFile(view_);
    if (mapping_)
        CloseHandle(mapping_);
    if (file_)
        CloseHandle(file_);
    view_ = nullptr;
    mapping_ = nullptr;
    file_ = nullptr;
    size_ = 0;
}

#else

bool MappedFile::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK: a FIFO given by mistake must not block the program; it is
    // refused below as not being a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
    if (view == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    view_ = static_cast<const std::uint8_t*>(view);
    size_ = static_cast<std::uint64_t>(size);
    return true;
}

void MappedFile::Close()
{
    if (view_)
        ::munmap(const_cast<std::uint8_t*>(view_), static_cast<std::size_t>(size_));
    if (fd_ >= 0)
        ::close(fd_);
    view_ = nullptr;
    fd_ = -1;
    size_ = 0;
}

#endif

} // namespace platform
