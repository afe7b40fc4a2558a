#pragma once
// The current user's registry, read only, and the environment variables
// the user's Windows programs see. On Windows: HKEY_CURRENT_USER and the
// process environment. Elsewhere: the Windows registry of the Wine prefix
// ($WINEPREFIX, default ~/.wine), read from its user.reg and system.reg
// files, and the variables a program in that prefix would get. Nothing is
// ever written.

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

#ifndef _WIN32
class WinePrefix;
#endif

// A key of the current user's registry, opened for reading.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens the key at `path` (names separated by '\', case ignored) under
    // the current user's root, closing any key open before. False when
    // there is no such key (or no registry at all); the object is then
    // closed.
    bool Open(const std::string& path);

    // The name of sub-key `index` in the order Windows enumerates them (by
    // name, ignoring case). False past the last one or when closed.
    bool EnumKey(std::uint32_t index, std::string& name) const;

    // Value `name` ("" is the key's default value) as text, whatever its
    // type, as a narrow read gives it: strings up to their first NUL, other
    // types their bytes up to the first NUL byte. False when the value is
    // missing or the key closed; `text` is then left as it was.
    bool QueryValue(const std::string& name, std::string& text) const;

    void Close();
    bool IsOpen() const;

private:
#ifdef _WIN32
    void* key_ = nullptr;
#else
    std::shared_ptr<const WinePrefix> prefix_;
    std::uint32_t key_ = 0;
#endif
};

// `text` with every %NAME% reference to a variable the current user's
// programs see replaced by its value; unknown names stay as written.
std::string ExpandEnvironment(const std::string& text);

// The folder this program opens for a folder path read from the registry
// (after expansion). Windows: the path itself, and the root of the current
// drive for an empty path. Elsewhere: a "C:\..." path mapped into the Wine
// prefix (names matched exactly, else ignoring case); "" for a path that
// names no drive of the prefix, and for an empty path, since there is no
// current drive.
std::string LocalFolder(const std::string& windowsPath);

// Where the registry is read from, for messages: "the registry of the
// current user" or "the Wine prefix /home/ann/.wine".
std::string RegistryOrigin();

// Why there is no registry of the current user to read, for people ("the
// Wine prefix /x does not exist", "/x is not a Wine prefix: it has no
// user.reg", ...); "" when there is one (always on Windows).
std::string RegistryProblem();

} // namespace platform
