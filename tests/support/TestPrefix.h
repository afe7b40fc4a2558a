#pragma once
// Wine prefixes made by tests: user.reg and system.reg as Wine writes them,
// drive_c with dosdevices/c: leading to it, and folders inside.

#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

// A key header as Wine writes it (timestamp and #time= line); `path` is
// written with single backslashes.
inline std::string RegKey(std::string_view path)
{
    std::string header = "\n[";
    for (char c : path)
        header += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return header + "] 1700000000\n#time=1da1b2c3d4e5f60\n";
}

// The settings key of identity `identity` with its "Store Root" value,
// `data` as the file holds it after '=' (such as `str(2):"..."`).
inline std::string StoreRootKey(std::string_view identity, std::string_view data)
{
    return RegKey("Identities\\" + std::string(identity) + "\\Software\\Microsoft\\Outlook Express\\5.0")
           + "\"Store Root\"=" + std::string(data) + "\n";
}

class TestPrefix {
public:
    explicit TestPrefix(std::filesystem::path root) : root_(std::move(root))
    {
        std::filesystem::create_directories(root_ / "drive_c" / "users" / "Public");
        std::filesystem::create_directories(root_ / "dosdevices");
        std::filesystem::create_directory_symlink("../drive_c", root_ / "dosdevices" / "c:");
    }

    std::string Root() const { return root_.string(); }

    // Writes user.reg (the current user's keys) and system.reg.
    void UserReg(std::string_view keys) const
    {
        WriteFile((root_ / "user.reg").string(),
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                  "#arch=win64\n" + std::string(keys));
    }
    void SystemReg(std::string_view keys) const
    {
        WriteFile((root_ / "system.reg").string(),
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n" + std::string(keys));
    }
    // A system.reg that registers C:\users\<user> as the profile folder.
    void Profile(std::string_view user) const
    {
        SystemReg(RegKey("Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000")
                  + "\"ProfileImagePath\"=\"C:\\\\users\\\\" + std::string(user) + "\"\n");
    }

    // Makes `path` (relative to drive_c, '/' between names) and returns it.
    std::string Folder(std::string_view path) const
    {
        const std::filesystem::path folder = root_ / "drive_c" / path;
        std::filesystem::create_directories(folder);
        return folder.string();
    }

private:
    std::filesystem::path root_;
};

// Points WINEPREFIX at `root` while it lives.
class ScopedWinePrefix {
public:
    explicit ScopedWinePrefix(const std::string& root)
    {
        if (const char* old = std::getenv("WINEPREFIX"))
            old_ = old;
        ::setenv("WINEPREFIX", root.c_str(), 1);
    }
    ~ScopedWinePrefix()
    {
        if (old_)
            ::setenv("WINEPREFIX", old_->c_str(), 1);
        else
            ::unsetenv("WINEPREFIX");
    }
    ScopedWinePrefix(const ScopedWinePrefix&) = delete;
    ScopedWinePrefix& operator=(const ScopedWinePrefix&) = delete;

private:
    std::optional<std::string> old_;
};

} // namespace testsupport
