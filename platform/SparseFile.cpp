#include "platform/SparseFile.h"

#ifdef _WIN32
#include "platform/WidePath.h"
#include <winioctl.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

SparseFile::~SparseFile()
{
    Discard();
}

#ifdef _WIN32

bool SparseFile::Create(const std::string& path)
{
    Discard();
    HANDLE h = CreateFileW(detail::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);  // holes where it can
    handle_ = h;
    path_ = path;
    failed_ = false;
    return true;
}

bool SparseFile::WriteAt(std::uint64_t offset, const void* data, std::size_t n)
{
    if (!handle_ || failed_)
        return false;
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(offset);
        where.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!WriteFile(handle_, p, chunk, &written, &where) || written == 0) {
            failed_ = true;
            return false;
        }
        p += written;
        offset += written;
        n -= written;
    }
    return true;
}

bool SparseFile::Finish(std::uint64_t size)
{
    if (!handle_)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = !failed_ && SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle_)
                    && FlushFileBuffers(handle_);
    CloseHandle(handle_);
    handle_ = nullptr;
    if (!ok)
        DeleteFileW(detail::Widen(path_).c_str());
    path_.clear();
    return ok;
}

void SparseFile::Discard()
{
    if (!handle_)
        return;
    CloseHandle(handle_);
    handle_ = nullptr;
    DeleteFileW(detail::Widen(path_).c_str());
    path_.clear();
}

#else

bool SparseFile::Create(const std::string& path)
{
    Discard();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return false;
    fd_ = fd;
    path_ = path;
    failed_ = false;
    return true;
}

bool SparseFile::WriteAt(std::uint64_t offset, const void* data, std::size_t n)
{
    if (fd_ < 0 || failed_)
        return false;
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t written = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failed_ = true;
            return false;
        }
        p += written;
        offset += static_cast<std::uint64_t>(written);
        n -= static_cast<std::size_t>(written);
    }
    return true;
}

bool SparseFile::Finish(std::uint64_t size)
{
    if (fd_ < 0)
        return false;
    const bool ok = !failed_ && ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!ok || !closed)
        ::unlink(path_.c_str());
    path_.clear();
    return ok && closed;
}

void SparseFile::Discard()
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(path_.c_str());
    path_.clear();
}

#endif

} // namespace platform
