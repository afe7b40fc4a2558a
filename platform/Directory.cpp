#include "platform/Directory.h"

#include <cerrno>
#include <cstdlib>

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

} // namespace

bool ReadDirectory(const std::string& path, bool followLink, NameFilter keep, DirectoryListing& out)
{
    out.entries.clear();
    out.id = {};
    std::wstring wide = Widen(path);
    // A bare drive ("C:") names the drive's current directory; we mean its root.
    if (!wide.empty() && wide.back() == L':')
        wide += L'\\';
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (!followLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    out.id = IdOf(wide);
    if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/')
        wide += L'\\';
    wide += L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return false;
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
        out.entries.push_back({name, kind});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return true;
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

} // namespace

bool ReadDirectory(const std::string& path, bool followLink, NameFilter keep, DirectoryListing& out)
{
    out.entries.clear();
    out.id = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    out.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            // Some file systems leave the type out of the listing.
            struct stat entry;
            if (::fstatat(fd, name, &entry, AT_SYMLINK_NOFOLLOW) == 0)
                type = static_cast<unsigned char>(IFTODT(entry.st_mode));
        }
        const EntryKind kind = KindOf(type);
        if (kind != EntryKind::kDirectory && keep && !keep(name))
            continue;
        out.entries.push_back({name, kind});
    }
    ::closedir(dir);
    return true;
}

std::optional<std::uint64_t> RegularFileSize(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
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
