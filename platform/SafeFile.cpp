#include "platform/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

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

int CreateNewFileForCrash(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool CreateFolderForCrash(const char* path)
{
    return _mkdir(path) == 0;
}

int OpenFileForCrash(const char* path)
{
    return _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

long long ReadAt(int fd, void* data, std::size_t size, unsigned long long offset)
{
    if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0)
        return -1;
    return _read(fd, data, static_cast<unsigned>(size > 0x10000000 ? 0x10000000 : size));
}

long long FileSize(int fd)
{
    return _filelengthi64(fd);
}

void RemoveEmptyFolder(const char* path)
{
    _rmdir(path);
}

const char* ErrorDescription(int)
{
    return nullptr;
}

#else

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

int CreateNewFileForCrash(const char* path)
{
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool CreateFolderForCrash(const char* path)
{
    return ::mkdir(path, 0700) == 0;
}

int OpenFileForCrash(const char* path)
{
    return ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
}

long long ReadAt(int fd, void* data, std::size_t size, unsigned long long offset)
{
    for (;;) {
        const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

long long FileSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

void RemoveEmptyFolder(const char* path)
{
    ::rmdir(path);
}

const char* ErrorDescription(int error)
{
    // A table look-up: no locale, no allocation, unlike strerror.
    return error ? strerrordesc_np(error) : nullptr;
}

#endif

} // namespace platform
