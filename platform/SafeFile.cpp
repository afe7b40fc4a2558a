#include "platform/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

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

namespace {

// A path as the program keeps it (UTF-8) in UTF-16 for the C runtime's
// wide calls, in a buffer of the caller's: nothing here may allocate.
struct CrashPath {
    explicit CrashPath(const char* path)
    {
        ok = MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, static_cast<int>(sizeof wide / sizeof wide[0])) > 0;
    }
    wchar_t wide[4096];
    bool ok;
};

} // namespace

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
    const CrashPath p(path);
    if (p.ok)
        _wunlink(p.wide);
}

int CreateNewFileForCrash(const char* path)
{
    const CrashPath p(path);
    return p.ok ? _wopen(p.wide, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE)
                : -1;
}

bool CreateFolderForCrash(const char* path)
{
    const CrashPath p(path);
    return p.ok && _wmkdir(p.wide) == 0;
}

int OpenFileForCrash(const char* path)
{
    const CrashPath p(path);
    return p.ok ? _wopen(p.wide, _O_RDONLY | _O_BINARY | _O_NOINHERIT) : -1;
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
    const CrashPath p(path);
    if (p.ok)
        _wrmdir(p.wide);
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
