#include "platform/ProgramPaths.h"

#include "platform/FsPath.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include "platform/WidePath.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace fs = std::filesystem;

namespace {

std::string WithSeparator(const fs::path& dir)
{
    std::string s = FromFsPath(dir);
    if (!s.empty() && s.back() != static_cast<char>(fs::path::preferred_separator) && s.back() != '/')
        s += static_cast<char>(fs::path::preferred_separator);
    return s;
}

bool IsRegularFile(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

} // namespace

#ifdef _WIN32

std::string ExecutablePath()
{
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    return detail::Narrow(buffer.data(), n);
}

std::string PrivateDirectoryUnder(const std::string& base)
{
    if (base.empty())
        return {};
    const fs::path dir = ToFsPath(base) / "quillmend";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(fs::symlink_status(dir, ec)))
        return {};
    return WithSeparator(dir);
}

std::string PrivateDirectory()
{
    // The user's own local application data is private to the user already.
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local && *local)
        return PrivateDirectoryUnder(detail::Narrow(local));
    std::error_code ec;
    return PrivateDirectoryUnder(FromFsPath(fs::temp_directory_path(ec)));
}

#else

std::string ExecutablePath()
{
    std::error_code ec;
    const fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

std::string PrivateDirectoryUnder(const std::string& base)
{
    if (base.empty())
        return {};
    const uid_t uid = getuid();
    const fs::path dir = fs::path(base) / ("quillmend-" + std::to_string(uid));
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    // Whatever is there must be our own real directory: in a shared temporary
    // directory another user could have put a symlink or a directory there.
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid)
        return {};
    if ((st.st_mode & 0777) != 0700 && chmod(dir.c_str(), 0700) != 0)
        return {};
    return WithSeparator(dir);
}

std::string PrivateDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        const std::string dir = PrivateDirectoryUnder(runtime);
        if (!dir.empty())
            return dir;
    }
    std::error_code ec;
    const fs::path tmp = fs::temp_directory_path(ec);
    return ec ? std::string() : PrivateDirectoryUnder(tmp.string());
}

#endif

std::string ProgramFolder()
{
    const std::string exe = ExecutablePath();
    if (exe.empty())
        return {};
    return WithSeparator(ToFsPath(exe).parent_path());
}

std::string FindAssetFrom(const std::string& programFolder, const std::string& name)
{
    if (programFolder.empty() || name.empty())
        return {};
    const fs::path folder = ToFsPath(programFolder);
    const fs::path leaf = ToFsPath(name);
    for (const fs::path& candidate : {folder / leaf, folder / ".." / "share" / "quillmend" / leaf}) {
        if (IsRegularFile(candidate))
            return FromFsPath(candidate.lexically_normal());
    }
    return {};
}

std::string FindAsset(const std::string& name)
{
    return FindAssetFrom(ProgramFolder(), name);
}

std::string FindProgram(const std::string& name)
{
#ifdef _WIN32
    return FindAsset(name + ".exe");
#else
    return FindAsset(name);
#endif
}

} // namespace platform
