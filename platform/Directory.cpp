#include "platform/Directory.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#ifdef _WIN32
#include "platform/WidePath.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

bool IsPathSeparator(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

std::string ChildPath(std::string_view directory, std::string_view name)
{
    std::string path;
    path.reserve(directory.size() + 1 + name.size());
    path.append(directory);
    if (!path.empty() && !IsPathSeparator(path.back()))
        path += kPathSeparator;
    path.append(name);
    return path;
}

std::string ShownDirectoryPath(std::string_view path)
{
    std::string shown(path);
#ifdef _WIN32
    if (!shown.empty() && shown.back() == ':')
        shown += kPathSeparator;
#endif
    return shown;
}

#ifdef _WIN32

using detail::Narrow;
using detail::Widen;

namespace {

DirectoryId IdOf(const std::wstring& path)
{
    DirectoryId id;
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return id;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info)) {
        id.device = info.dwVolumeSerialNumber;
        id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    CloseHandle(h);
    return id;
}

int ErrorOf(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    default:
        return EIO;
    }
}

} // namespace

DirectoryHandle::~DirectoryHandle() = default;
DirectoryHandle::DirectoryHandle(DirectoryHandle&& other) noexcept = default;
DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&& other) noexcept = default;

bool DirectoryHandle::IsOpen() const
{
    return !path_.empty();
}

void DirectoryHandle::Close()
{
    path_.clear();
    id_ = {};
}

int DirectoryHandle::Open(const std::string& path, bool followLink)
{
    Close();
    std::wstring wide = Widen(path);
    // A bare drive ("C:") names the drive's current directory; we mean its root.
    if (!wide.empty() && wide.back() == L':')
        wide += L'\\';
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ErrorOf(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    if (!followLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ELOOP;
    id_ = IdOf(wide);
    path_ = path;
    return 0;
}

int DirectoryHandle::OpenChild(const DirectoryHandle& parent, std::string_view name)
{
    return Open(ChildPath(parent.path_, name), false);
}

int DirectoryHandle::OpenParentOf(const DirectoryHandle& child)
{
    std::string parent = child.path_;
    while (!parent.empty() && IsPathSeparator(parent.back()))
        parent.pop_back();
    std::size_t cut = parent.size();
    while (cut > 0 && !IsPathSeparator(parent[cut - 1]))
        --cut;
    if (cut == 0)
        return ENOENT;
    parent.resize(cut > 1 && parent[cut - 2] != ':' ? cut - 1 : cut);
    return Open(parent, true);
}

int DirectoryHandle::Read(NameFilter keep, DirectoryListing& out)
{
    std::wstring pattern = Widen(path_);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return ErrorOf(GetLastError());
    do {
        const std::string name = Narrow(data.cFileName);
        if (name.empty() || name == "." || name == "..")
            continue;
        EntryKind kind = EntryKind::kFile;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            kind = EntryKind::kLink;  // junctions and links are never followed
        else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            kind = EntryKind::kDirectory;
        if (kind != EntryKind::kDirectory && keep && !keep(name))
            continue;
        DirectoryEntry entry{name, kind, std::nullopt};
        if (kind == EntryKind::kFile && !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE))
            entry.fileSize = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        else if (kind == EntryKind::kLink)
            entry.fileSize = RegularFileSize(ChildPath(path_, name));
        out.entries.push_back(std::move(entry));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return 0;
}

std::optional<std::uint64_t> RegularFileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string CanonicalPath(const std::string& path)
{
    return path;
}

#else

namespace {

// Opens every folder of `path` before its last component, a piece at a
// time (each piece shorter than PATH_MAX and ending at a separator), and
// sets `leaf` to the rest. A path short enough stays whole: AT_FDCWD.
// Returns the folder's descriptor (close it unless AT_FDCWD), or -1.
int OpenLeadingFolders(const std::string& path, std::string& leaf)
{
#ifdef O_PATH
    constexpr int kSearchOnly = O_PATH;
#else
    constexpr int kSearchOnly = O_RDONLY;
#endif
    std::string_view rest = path;
    int dir = AT_FDCWD;
    while (rest.size() >= PATH_MAX) {
        const std::size_t cut = rest.rfind('/', PATH_MAX - 2);
        if (cut == std::string_view::npos || cut == 0) {
            if (dir != AT_FDCWD)
                ::close(dir);
            errno = ENAMETOOLONG;
            return -1;
        }
        const int next = ::openat(dir, std::string(rest.substr(0, cut)).c_str(),
                                  kSearchOnly | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        if (dir != AT_FDCWD)
            ::close(dir);
        if (next < 0) {
            errno = error;
            return -1;
        }
        dir = next;
        rest.remove_prefix(cut + 1);
    }
    leaf.assign(rest);
    return dir;
}

DIR* Dir(void* dir)
{
    return static_cast<DIR*>(dir);
}

} // namespace

int OpenDeep(const std::string& path, int flags)
{
    if (path.size() < PATH_MAX)
        return ::open(path.c_str(), flags | O_CLOEXEC);
    std::string leaf;
    const int dir = OpenLeadingFolders(path, leaf);
    if (dir < 0)
        return -1;
    const int fd = ::openat(dir, leaf.c_str(), flags | O_CLOEXEC);
    const int error = errno;
    ::close(dir);
    errno = error;
    return fd;
}

int StatDeep(const std::string& path, struct stat& st, bool followLinks)
{
    const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (path.size() < PATH_MAX)
        return ::fstatat(AT_FDCWD, path.c_str(), &st, flags);
    std::string leaf;
    const int dir = OpenLeadingFolders(path, leaf);
    if (dir < 0)
        return -1;
    const int result = ::fstatat(dir, leaf.c_str(), &st, flags);
    const int error = errno;
    ::close(dir);
    errno = error;
    return result;
}

DirectoryHandle::~DirectoryHandle()
{
    Close();
}

DirectoryHandle::DirectoryHandle(DirectoryHandle&& other) noexcept : id_(other.id_), dir_(other.dir_)
{
    other.dir_ = nullptr;
    other.id_ = {};
}

DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        std::swap(dir_, other.dir_);
        std::swap(id_, other.id_);
    }
    return *this;
}

bool DirectoryHandle::IsOpen() const
{
    return dir_ != nullptr;
}

void DirectoryHandle::Close()
{
    if (dir_)
        ::closedir(Dir(dir_));  // closes the descriptor too
    dir_ = nullptr;
    id_ = {};
}

namespace {

// Takes over `fd`, a directory just opened; returns 0 or the error.
int Adopt(int fd, void*& dir, DirectoryId& id)
{
    if (fd < 0)
        return errno;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    DIR* opened = ::fdopendir(fd);
    if (!opened) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    dir = opened;
    id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return 0;
}

EntryKind KindOf(unsigned char type)
{
    switch (type) {
    case DT_DIR:
        return EntryKind::kDirectory;
    case DT_REG:
        return EntryKind::kFile;
    case DT_LNK:
        return EntryKind::kLink;
    default:
        return EntryKind::kOther;
    }
}

// Errors that mean an entry went away or is no file (a dangling or looping
// link), not that something could not be read.
bool IsGone(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

} // namespace

int DirectoryHandle::Open(const std::string& path, bool followLink)
{
    Close();
    return Adopt(OpenDeep(path, O_RDONLY | O_DIRECTORY | (followLink ? 0 : O_NOFOLLOW)), dir_, id_);
}

int DirectoryHandle::OpenChild(const DirectoryHandle& parent, std::string_view name)
{
    Close();
    if (!parent.dir_)
        return EBADF;
    const std::string child(name);
    return Adopt(::openat(::dirfd(Dir(parent.dir_)), child.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                 dir_, id_);
}

int DirectoryHandle::OpenParentOf(const DirectoryHandle& child)
{
    Close();
    if (!child.dir_)
        return EBADF;
    return Adopt(::openat(::dirfd(Dir(child.dir_)), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC), dir_, id_);
}

int DirectoryHandle::Read(NameFilter keep, DirectoryListing& out)
{
    if (!dir_)
        return EBADF;
    DIR* dir = Dir(dir_);
    const int fd = ::dirfd(dir);
    int firstError = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            if (errno != 0 && firstError == 0)
                firstError = errno;
            break;
        }
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            // Some file systems leave the type out of the listing.
            struct stat entry;
            if (::fstatat(fd, name, &entry, AT_SYMLINK_NOFOLLOW) == 0)
                type = static_cast<unsigned char>(IFTODT(entry.st_mode));
            else if (!IsGone(errno) && firstError == 0)
                firstError = errno;
        }
        const EntryKind kind = KindOf(type);
        if (kind != EntryKind::kDirectory && keep && !keep(name))
            continue;
        DirectoryEntry entry{name, kind, std::nullopt};
        if (kind == EntryKind::kFile || kind == EntryKind::kLink) {
            // A link counts when it leads to a file.
            struct stat st;
            if (::fstatat(fd, name, &st, 0) == 0) {
                if (S_ISREG(st.st_mode))
                    entry.fileSize = static_cast<std::uint64_t>(st.st_size);
            } else if (!IsGone(errno) && firstError == 0) {
                firstError = errno;  // a folder we may list but not look into
            }
        }
        out.entries.push_back(std::move(entry));
    }
    return firstError;
}

std::optional<std::uint64_t> RegularFileSize(const std::string& path)
{
    struct stat st;
    if (StatDeep(path, st, true) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::string CanonicalPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string canonical(resolved);
    std::free(resolved);
    return canonical;
}

#endif

} // namespace platform
