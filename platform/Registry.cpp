#include "platform/Registry.h"

#include "platform/RegistryFile.h"

#ifdef _WIN32
#include "platform/WidePath.h"
#else
#include "platform/WinePrefix.h"

#include "platform/FolderList.h"

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <tuple>
#endif

namespace platform {

#ifdef _WIN32

using detail::Narrow;

RegistryKey::~RegistryKey()
{
    Close();
}

bool RegistryKey::Open(const std::string& path)
{
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, detail::Widen(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    key_ = key;
    return true;
}

bool RegistryKey::EnumKey(std::uint32_t index, std::string& name) const
{
    if (!key_)
        return false;
    wchar_t buffer[256];  // the longest key name Windows allows, and its NUL
    DWORD length = 256;
    if (RegEnumKeyExW(static_cast<HKEY>(key_), index, buffer, &length, nullptr, nullptr, nullptr, nullptr)
        != ERROR_SUCCESS)
        return false;
    name = Narrow(buffer, length);
    return true;
}

bool RegistryKey::QueryValue(const std::string& name, std::string& text) const
{
    if (!key_)
        return false;
    const std::wstring wideName = detail::Widen(name);
    DWORD type = 0;
    DWORD size = 0;
    std::string data;
    LSTATUS status = ERROR_MORE_DATA;
    // The value may grow between the two calls; ask again until it fits.
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        data.resize(size);
        size = static_cast<DWORD>(data.size());
        status = RegQueryValueExW(static_cast<HKEY>(key_), wideName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    if (status != ERROR_SUCCESS)
        return false;
    data.resize(size);
    text = RegistryValueText(type, data);
    return true;
}

void RegistryKey::Close()
{
    if (key_)
        RegCloseKey(static_cast<HKEY>(key_));
    key_ = nullptr;
}

bool RegistryKey::IsOpen() const
{
    return key_ != nullptr;
}

std::string ExpandEnvironment(const std::string& text)
{
    const std::wstring wide = detail::Widen(text);
    std::wstring out(1024, L'\0');
    for (;;) {
        const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), out.data(), static_cast<DWORD>(out.size()));
        if (n == 0)
            return text;
        if (n <= out.size()) {
            out.resize(n - 1);  // n counts the closing NUL
            return Narrow(out.data(), out.size());
        }
        out.resize(n);
    }
}

std::string LocalFolder(const std::string& windowsPath)
{
    if (!windowsPath.empty())
        return windowsPath;
    wchar_t root[MAX_PATH];
    const DWORD n = GetFullPathNameW(L"\\", MAX_PATH, root, nullptr);
    return n > 0 && n < MAX_PATH ? Narrow(root, n) : std::string();
}

std::string RegistryOrigin()
{
    return "the registry of the current user";
}

std::string RegistryProblem()
{
    return {};
}

#else

namespace {

// The prefix as its files are now: read again only when WINEPREFIX or one
// of its registry files changed since the last call.
std::shared_ptr<const WinePrefix> CurrentPrefix()
{
    using Stamp = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
    auto stamp = [](const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return Stamp{-1, 0, 0, 0};
        return Stamp{static_cast<std::int64_t>(st.st_mode), static_cast<std::int64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
    };
    static std::mutex mutex;
    static std::shared_ptr<const WinePrefix> cached;
    // The prefix folder's own stamp too: what is wrong with it (missing,
    // not a folder, no user.reg) is part of what is cached.
    static std::tuple<std::string, std::string, Stamp, Stamp, Stamp> cachedFor;

    const std::string root = WinePrefix::DefaultRoot();
    const std::string login = WinePrefix::LoginName();
    auto key = std::make_tuple(root, login, stamp(root), stamp(root + "/user.reg"), stamp(root + "/system.reg"));
    std::lock_guard lock(mutex);
    if (!cached || key != cachedFor) {
        cached = std::make_shared<const WinePrefix>(root, login);
        cachedFor = std::move(key);
    }
    return cached;
}

} // namespace

RegistryKey::~RegistryKey() = default;

bool RegistryKey::Open(const std::string& path)
{
    Close();
    auto prefix = CurrentPrefix();
    const RegistryFile* hive = prefix->CurrentUser();
    const auto key = hive ? hive->FindKey(path) : std::nullopt;
    if (!key)
        return false;
    prefix_ = std::move(prefix);
    key_ = *key;
    return true;
}

bool RegistryKey::EnumKey(std::uint32_t index, std::string& name) const
{
    if (!prefix_)
        return false;
    auto found = prefix_->CurrentUser()->SubKeyName(key_, index);
    if (!found)
        return false;
    name = std::move(*found);
    return true;
}

bool RegistryKey::QueryValue(const std::string& name, std::string& text) const
{
    if (!prefix_)
        return false;
    const auto value = prefix_->CurrentUser()->FindValue(key_, name);
    if (!value)
        return false;
    text = RegistryValueText(value->type, value->data);
    return true;
}

void RegistryKey::Close()
{
    prefix_.reset();
    key_ = 0;
}

bool RegistryKey::IsOpen() const
{
    return prefix_ != nullptr;
}

std::string ExpandEnvironment(const std::string& text)
{
    return CurrentPrefix()->Expand(text);
}

std::string LocalFolder(const std::string& windowsPath)
{
    return CurrentPrefix()->ToUnixPath(windowsPath);
}

std::string RegistryOrigin()
{
    return "the Wine prefix " + WinePrefix::DefaultRoot();
}

std::string RegistryProblem()
{
    const auto prefix = CurrentPrefix();
    if (prefix->Problem().empty())
        return {};
    const char* named = std::getenv("WINEPREFIX");
    if ((!named || !*named) && !Exists(prefix->Root()))
        return "no Wine prefix: WINEPREFIX is not set and " + prefix->Root() + " does not exist";
    return prefix->Problem();
}

#endif

} // namespace platform
