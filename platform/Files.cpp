#include "platform/Files.h"

#include "platform/FileOpsHook.h"
#include "platform/SafeFile.h"

#ifdef _WIN32
#include "platform/WidePath.h"
// windows.h maps DeleteFile to DeleteFileA/W; ours is platform::DeleteFile.
#undef DeleteFile
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

using detail::Widen;

bool DeleteFile(const std::string& path)
{
    return DeleteFileW(Widen(path).c_str()) != 0;
}

bool SetReadOnly(const std::string& path)
{
    return SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_READONLY) != 0;
}

std::FILE* OpenForReading(const std::string& path)
{
    return _wfopen(Widen(path).c_str(), L"rb");
}

FolderSync::~FolderSync() = default;

bool FolderSync::Open(const std::string& folder)
{
    folder_ = folder;
    const DWORD attributes = GetFileAttributesW(Widen(folder).c_str());
    open_ = detail::AllowFileOp(FileOp::kOpenFolderSync, folder) && attributes != INVALID_FILE_ATTRIBUTES
            && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return open_;
}

bool FolderSync::Sync()
{
    const bool ok = open_ && detail::AllowFileOp(FileOp::kSyncFolder, folder_);
    open_ = false;
    return ok;
}

bool SyncFolder(const std::string& folder)
{
    FolderSync sync;
    return sync.Open(folder) && sync.Sync();
}

namespace {

bool SetWrittenTime(HANDLE h, std::uint64_t utc)
{
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(utc);
    written.dwHighDateTime = static_cast<DWORD>(utc >> 32);
    return SetFileTime(h, nullptr, nullptr, &written) != 0;
}

} // namespace

bool SetModifiedTime(const std::string& path, std::uint64_t utc)
{
    HANDLE h = CreateFileW(Widen(path).c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetWrittenTime(h, utc);
    CloseHandle(h);
    return ok;
}

ExclusiveFile::~ExclusiveFile()
{
    Discard();
}

bool ExclusiveFile::Create(const std::string& path)
{
    Discard();
    if (!detail::AllowFileOp(FileOp::kCreate, path))
        return false;
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    handle_ = h;
    path_ = path;
    failed_ = false;
    return true;
}

bool ExclusiveFile::Write(const void* data, std::size_t n)
{
    if (!handle_ || failed_)
        return false;
    if (!detail::AllowFileOp(FileOp::kWrite, path_, n)) {
        failed_ = true;
        return false;
    }
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!WriteFile(handle_, p, chunk, &written, nullptr) || written == 0) {
            failed_ = true;
            return false;
        }
        p += written;
        n -= written;
    }
    return true;
}

bool ExclusiveFile::CutBack(std::uint64_t size)
{
    if (!handle_ || !detail::AllowFileOp(FileOp::kCutBack, path_, size))
        return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_))
        return false;
    failed_ = false;
    return true;
}

bool ExclusiveFile::Sync()
{
    return handle_ && !failed_ && detail::AllowFileOp(FileOp::kSyncFile, path_) && FlushFileBuffers(handle_);
}

bool ExclusiveFile::SetModifiedTime(std::uint64_t utc)
{
    return handle_ && SetWrittenTime(handle_, utc);
}

bool ExclusiveFile::Commit()
{
    if (!handle_)
        return false;
    const bool ok = !failed_ && detail::AllowFileOp(FileOp::kClose, path_) && FlushFileBuffers(handle_);
    CloseHandle(handle_);
    handle_ = nullptr;
    if (!ok) {
        detail::AllowFileOp(FileOp::kRemove, path_);
        DeleteFileW(Widen(path_).c_str());
    }
    path_.clear();
    return ok;
}

bool ExclusiveFile::Keep()
{
    if (!handle_)
        return false;
    const bool ok = detail::AllowFileOp(FileOp::kClose, path_);
    CloseHandle(handle_);
    handle_ = nullptr;
    path_.clear();
    return ok;
}

void ExclusiveFile::Discard()
{
    if (!handle_)
        return;
    CloseHandle(handle_);
    handle_ = nullptr;
    detail::AllowFileOp(FileOp::kRemove, path_);
    DeleteFileW(Widen(path_).c_str());
    path_.clear();
}

#else

bool DeleteFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    // Windows refuses to delete a read-only file; the start page relies on it.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 && !S_ISLNK(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool SetReadOnly(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    return ::chmod(path.c_str(), st.st_mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::FILE* OpenForReading(const std::string& path)
{
    return std::fopen(path.c_str(), "rb");
}

FolderSync::~FolderSync()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FolderSync::Open(const std::string& folder)
{
    if (fd_ >= 0)
        ::close(fd_);
    folder_ = folder;
    fd_ = detail::AllowFileOp(FileOp::kOpenFolderSync, folder)
              ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
              : -1;
    return fd_ >= 0;
}

bool FolderSync::Sync()
{
    if (fd_ < 0)
        return false;
    bool ok = detail::AllowFileOp(FileOp::kSyncFolder, folder_);
#ifdef __linux__
    ok = ok && ::syncfs(fd_) == 0;
#else
    ::sync();
#endif
    // The folder's own entries (the new names) are flushed by syncfs on
    // Linux too; fsync makes it explicit, and is what other systems need.
    ok = ok && ::fsync(fd_) == 0;
    ::close(fd_);
    fd_ = -1;
    return ok;
}

bool SyncFolder(const std::string& folder)
{
    FolderSync sync;
    return sync.Open(folder) && sync.Sync();
}

namespace {

// The modification time `utc` (a file time) for utimensat and futimens,
// the access time left as it is; false when out of range.
bool ModifiedOnly(std::uint64_t utc, struct timespec (&times)[2])
{
    // File times count from 1601, Unix times from 1970; earlier is negative.
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    constexpr std::int64_t kTicksPerSecond = 10'000'000;
    if (utc > static_cast<std::uint64_t>(INT64_MAX))
        return false;
    const std::int64_t ticks = static_cast<std::int64_t>(utc) - kUnixEpoch;
    std::int64_t seconds = ticks / kTicksPerSecond;
    std::int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --seconds;
    }
    times[0] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(rest * 100);
    return true;
}

} // namespace

bool SetModifiedTime(const std::string& path, std::uint64_t utc)
{
    struct timespec times[2];
    return ModifiedOnly(utc, times) && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

ExclusiveFile::~ExclusiveFile()
{
    Discard();
}

bool ExclusiveFile::Create(const std::string& path)
{
    Discard();
    if (!detail::AllowFileOp(FileOp::kCreate, path))
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return false;
    fd_ = fd;
    path_ = path;
    failed_ = false;
    return true;
}

bool ExclusiveFile::Write(const void* data, std::size_t n)
{
    if (fd_ < 0 || failed_)
        return false;
    if (!detail::AllowFileOp(FileOp::kWrite, path_, n)) {
        errno = ENOSPC;
        failed_ = true;
        return false;
    }
    failed_ = !WriteAll(fd_, data, n);
    return !failed_;
}

bool ExclusiveFile::CutBack(std::uint64_t size)
{
    if (fd_ < 0 || !detail::AllowFileOp(FileOp::kCutBack, path_, size))
        return false;
    // The file offset stays where the failed write left it: move it back too.
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 || ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0)
        return false;
    failed_ = false;
    return true;
}

bool ExclusiveFile::Sync()
{
    return fd_ >= 0 && !failed_ && detail::AllowFileOp(FileOp::kSyncFile, path_) && ::fsync(fd_) == 0;
}

bool ExclusiveFile::SetModifiedTime(std::uint64_t utc)
{
    struct timespec times[2];
    return fd_ >= 0 && ModifiedOnly(utc, times) && ::futimens(fd_, times) == 0;
}

bool ExclusiveFile::Commit()
{
    if (fd_ < 0)
        return false;
    // close() can be the first to report a write error (NFS, quotas).
    const bool closing = !failed_ && detail::AllowFileOp(FileOp::kClose, path_);
    const bool ok = ::close(fd_) == 0 && closing;
    fd_ = -1;
    if (!ok) {
        detail::AllowFileOp(FileOp::kRemove, path_);
        ::unlink(path_.c_str());
    }
    path_.clear();
    return ok;
}

bool ExclusiveFile::Keep()
{
    if (fd_ < 0)
        return false;
    const bool allowed = detail::AllowFileOp(FileOp::kClose, path_);
    const bool ok = ::close(fd_) == 0 && allowed;
    fd_ = -1;
    path_.clear();
    return ok;
}

void ExclusiveFile::Discard()
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
    detail::AllowFileOp(FileOp::kRemove, path_);
    ::unlink(path_.c_str());
    path_.clear();
}

#endif

} // namespace platform
