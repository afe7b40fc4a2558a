#include "platform/FolderList.h"

#include "platform/Directory.h"

#ifdef _WIN32
#include "platform/WidePath.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

std::vector<FolderEntry> ListFolder(const std::string& path)
{
    std::vector<FolderEntry> entries;
    if (path.empty())
        return entries;
    std::wstring pattern = detail::Widen(path);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        FolderEntry entry;
        entry.name = detail::Narrow(name.data(), name.size());
        entry.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isFile = !entry.isFolder && (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
        entry.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return entries;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(detail::Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesW(detail::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

#else

std::vector<FolderEntry> ListFolder(const std::string& path)
{
    std::vector<FolderEntry> entries;
    if (path.empty())
        return entries;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return entries;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return entries;
    }
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        FolderEntry entry;
        entry.name = name;
        struct stat st {};
        if (::fstatat(fd, d->d_name, &st, 0) == 0) {
            entry.isFolder = S_ISDIR(st.st_mode);
            entry.isFile = S_ISREG(st.st_mode);
            entry.size = entry.isFile ? static_cast<std::uint64_t>(st.st_size) : 0;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);  // closes fd too
    return entries;
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return StatDeep(path, st, true) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return StatDeep(path, st, true) == 0;
}

#endif

} // namespace platform
