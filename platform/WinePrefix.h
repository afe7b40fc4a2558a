#pragma once
// The Windows side of a Wine prefix (a folder such as ~/.wine) as a program
// outside Wine sees it: its registry files, the environment variables a
// Windows program in it would get, and where its drives lie. Only read.

#include "platform/RegistryFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Windows keeps an environment variable's value to at most this many
// characters (UTF-16 units); a longer one cannot be set.
inline constexpr std::size_t kMaxVariableChars = 32767;

// The length of UTF-8 `text` in UTF-16 units, the characters Windows
// counts; a byte that is not UTF-8 counts as one.
std::size_t Utf16Length(std::string_view text);

// A variable's value and its length in UTF-16 units.
struct VariableValue {
    std::string text;
    std::size_t chars = 0;
};

// Replaces %NAME% references in `text` as ExpandEnvironmentStrings does: a
// name that `lookup` knows gives its value; an unknown name and a '%' that
// is never closed stay as written. A reference whose value would take the
// result past kMaxVariableChars (the rest of `text` counted as written)
// stays as written too, so the result is within the cap whenever `text`
// is. With `budget`, a value is put in only while its bytes fit in what is
// left of the budget, and they are taken from it. `lookup` returns nullptr
// for an unknown name.
std::string ExpandVariables(std::string_view text,
                            const std::function<const VariableValue*(std::string_view name)>& lookup,
                            std::size_t* budget = nullptr);

class WinePrefix {
public:
    // A hive file bigger than this counts as missing (real ones hold a few
    // megabytes), so that a huge file cannot exhaust memory.
    static constexpr std::uint64_t kMaxHiveBytes = std::uint64_t{64} << 20;
    // What the expansion of all of the prefix's stored variables together
    // may put in (bytes of values substituted for references). A real
    // prefix needs a few kilobytes; a hostile user.reg of 2 KB can chain
    // references that would double, value after value, into gigabytes, and
    // a hive may hold millions of values. Past it, references stay as
    // written.
    static constexpr std::size_t kMaxExpansionBytes = std::size_t{4} << 20;

    // Reads the prefix at `root` now: user.reg, system.reg and the user
    // folders. `loginName` is the user name Wine gives the prefix's user
    // (the Unix login name).
    WinePrefix(std::string root, std::string loginName);
    // The prefix at `root` with `user` and `machine` (either may be
    // nullptr) in place of its registry files, for tests and fuzzing.
    WinePrefix(std::string root, std::string loginName, std::unique_ptr<RegistryFile> user,
               std::unique_ptr<RegistryFile> machine);

    // $WINEPREFIX when set, else ~/.wine.
    static std::string DefaultRoot();
    // The Unix login name; "" when unknown.
    static std::string LoginName();

    const std::string& Root() const { return root_; }
    // HKEY_CURRENT_USER (user.reg) and HKEY_LOCAL_MACHINE (system.reg);
    // nullptr when the file is missing, too big or not a registry file.
    const RegistryFile* CurrentUser() const { return user_.get(); }
    const RegistryFile* LocalMachine() const { return machine_.get(); }
    // Why CurrentUser() is nullptr, for people ("the Wine prefix /x does
    // not exist", "/x is not a Wine prefix: it has no user.reg", ...); ""
    // when it is not.
    const std::string& Problem() const { return problem_; }

    // Variable `name` (ignoring case) as a program in the prefix sees it;
    // nullptr when it is not set. Never longer than kMaxVariableChars.
    const std::string* Variable(std::string_view name) const;
    // Every variable set: upper-case name -> value.
    const std::map<std::string, VariableValue>& Variables() const { return variables_; }
    // `text` with %NAME% references replaced from Variable.
    std::string Expand(std::string_view text) const;
    // Bytes the expansion of the stored variables put in; at most
    // kMaxExpansionBytes.
    std::size_t ExpansionWork() const { return kMaxExpansionBytes - budget_; }

    // Where the Windows path `path` (X:\...) lies here: under the drive's
    // folder in dosdevices/ (drive_c for C: when that is missing), each
    // name matched exactly, else ignoring case, "." and ".." resolved.
    // Names that match nothing are kept as written. "" when the path does
    // not start with a drive letter or the prefix has no such drive.
    std::string ToUnixPath(std::string_view path) const;

private:
    void SetUpVariables();
    // Sets `name`; a value longer than kMaxVariableChars is not set, as
    // Windows refuses it.
    void SetVariable(std::string_view name, std::string value);
    void AddVariablesFrom(const RegistryFile* hive, std::string_view keyPath);
    const VariableValue* FindVariable(std::string_view name) const;
    std::string ProfileFolder() const;

    std::string root_;
    std::string loginName_;
    std::unique_ptr<RegistryFile> user_;
    std::unique_ptr<RegistryFile> machine_;
    std::string problem_;
    std::map<std::string, VariableValue> variables_;  // upper-case name -> value
    std::size_t budget_ = kMaxExpansionBytes;
};

} // namespace platform
