#include "platform/SafeFile.h"

#include <cerrno>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

int CreateFileForCrash(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const int n = _write(fd, p, static_cast<unsigned>(size > 0x10000000 ? 0x10000000 : size));
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void CloseFile(int fd)
{
    _close(fd);
}

void RemoveFile(const char* path)
{
    _unlink(path);
}

#else

int CreateFileForCrash(const char* path)
{
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void CloseFile(int fd)
{
    ::close(fd);
}

void RemoveFile(const char* path)
{
    ::unlink(path);
}

#endif

} // namespace platform
