#pragma once
// The Windows side of a Wine prefix (a folder such as ~/.wine) as a program
// outside Wine sees it: its registry files, the environment variables a
// Windows program in it would get, and where its drives lie. Only read.

#include "platform/RegistryFile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Replaces %NAME% references in `text` as ExpandEnvironmentStrings does: a
// name that `lookup` knows gives its value; an unknown name and a '%' that
// is never closed stay as written. `lookup` returns nullptr for an unknown
// name.
std::string ExpandVariables(std::string_view text,
                            const std::function<const std::string*(std::string_view name)>& lookup);

class WinePrefix {
public:
    // A hive file bigger than this counts as missing (real ones hold a few
    // megabytes), so that a huge file cannot exhaust memory.
    static constexpr std::uint64_t kMaxHiveBytes = std::uint64_t{64} << 20;

    // Reads the prefix at `root` now: user.reg, system.reg and the user
    // folders. `loginName` is the user name Wine gives the prefix's user
    // (the Unix login name).
    WinePrefix(std::string root, std::string loginName);

    // $WINEPREFIX when set, else ~/.wine.
    static std::string DefaultRoot();
    // The Unix login name; "" when unknown.
    static std::string LoginName();

    const std::string& Root() const { return root_; }
    // HKEY_CURRENT_USER (user.reg) and HKEY_LOCAL_MACHINE (system.reg);
    // nullptr when the file is missing, too big or not a registry file.
    const RegistryFile* CurrentUser() const { return user_.get(); }
    const RegistryFile* LocalMachine() const { return machine_.get(); }

    // Variable `name` (ignoring case) as a program in the prefix sees it;
    // nullptr when it is not set.
    const std::string* Variable(std::string_view name) const;
    // `text` with %NAME% references replaced from Variable.
    std::string Expand(std::string_view text) const;

    // Where the Windows path `path` (X:\...) lies here: under the drive's
    // folder in dosdevices/ (drive_c for C: when that is missing), each
    // name matched exactly, else ignoring case, "." and ".." resolved.
    // Names that match nothing are kept as written. "" when the path does
    // not start with a drive letter or the prefix has no such drive.
    std::string ToUnixPath(std::string_view path) const;

private:
    void SetVariable(std::string_view name, std::string value);
    void AddVariablesFrom(const RegistryFile* hive, std::string_view keyPath);
    std::string ProfileFolder() const;

    std::string root_;
    std::string loginName_;
    std::unique_ptr<RegistryFile> user_;
    std::unique_ptr<RegistryFile> machine_;
    std::map<std::string, std::string> variables_;  // upper-case name -> value
};

} // namespace platform
