#include "platform/WinePrefix.h"

#include "platform/Directory.h"
#include "platform/FolderList.h"
#include "platform/NoCase.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// Where Wine keeps its variables in the two hives.
constexpr std::string_view kMachineEnvironment = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr std::string_view kUserEnvironment = "Environment";
constexpr std::string_view kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::string_view kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct LoadedHive {
    std::unique_ptr<RegistryFile> file;
    std::string problem;  // why `file` is nullptr, for people
};

// The hive `name` of the prefix at `root`, or why there is none.
LoadedHive LoadHive(const std::string& root, const char* name)
{
    namespace fs = std::filesystem;
    LoadedHive hive;
    std::error_code ec;
    const fs::file_status folder = fs::status(root, ec);
    if (!fs::exists(folder)) {
        hive.problem = ec && ec != std::errc::no_such_file_or_directory
                           ? "the Wine prefix " + root + " cannot be read: " + ec.message()
                           : "the Wine prefix " + root + " does not exist";
        return hive;
    }
    if (!fs::is_directory(folder)) {
        hive.problem = "the Wine prefix " + root + " is not a folder";
        return hive;
    }
    const std::string path = root + "/" + name;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        hive.problem = root + " is not a Wine prefix: it has no " + name;
        return hive;
    }
    // Only a regular file: a FIFO or device there would block or never end.
    if (!fs::is_regular_file(status)) {
        hive.problem = path + " is not a file";
        return hive;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > WinePrefix::kMaxHiveBytes) {
        hive.problem = path + " is too big to be a registry file Wine wrote";
        return hive;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        hive.problem = path + " cannot be read";
        return hive;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    text.resize(static_cast<std::size_t>(in.gcount()));
    auto file = RegistryFile::Parse(std::move(text));
    if (!file)
        hive.problem = path + " is not a Wine registry file";
    else
        hive.file = std::make_unique<RegistryFile>(std::move(*file));
    return hive;
}

// The text of value `name` of key `keyPath`; "" when either is missing.
std::string ValueText(const RegistryFile* hive, std::string_view keyPath, std::string_view name)
{
    if (!hive)
        return {};
    const auto key = hive->FindKey(keyPath);
    if (!key)
        return {};
    const auto value = hive->FindValue(*key, name);
    return value ? RegistryValueText(value->type, value->data) : std::string();
}

std::string LastName(std::string_view path)
{
    const std::size_t cut = path.find_last_of('\\');
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

// The entry of `folder` named `name`: itself when it exists as written,
// else the first (in byte order, so that the choice is stable) whose name
// differs only in case. "" when there is none.
std::string MatchName(const std::string& folder, const std::string& name)
{
    if (Exists(ChildPath(folder, name)))
        return name;
    std::vector<std::string> matches;
    for (const FolderEntry& entry : ListFolder(folder)) {
        if (SameName(entry.name, name))
            matches.push_back(entry.name);
    }
    return matches.empty() ? std::string() : *std::min_element(matches.begin(), matches.end());
}

} // namespace

std::size_t Utf16Length(std::string_view text)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;  // the common case, without decoding
            ++chars;
            continue;
        }
        const char32_t c = NextCodePoint(text, i);
        chars += c != kNotUtf8 && c > 0xFFFF ? 2 : 1;  // a surrogate pair in UTF-16
    }
    return chars;
}

std::string ExpandVariables(std::string_view text,
                            const std::function<const VariableValue*(std::string_view name)>& lookup,
                            std::size_t* budget)
{
    std::string out;
    std::size_t chars = 0;                  // of `out`
    std::size_t rest = Utf16Length(text);   // of what is still to come, as written
    auto copy = [&](std::string_view piece) {
        const std::size_t n = Utf16Length(piece);
        out += piece;
        chars += n;
        rest -= n;
    };
    while (!text.empty()) {
        const std::size_t open = text.find('%');
        copy(text.substr(0, open));
        if (open == std::string_view::npos)
            break;
        text.remove_prefix(open);
        const std::size_t close = text.find('%', 1);
        if (close == std::string_view::npos) {
            copy(text);
            break;
        }
        const std::string_view reference = text.substr(0, close + 1);
        text.remove_prefix(close + 1);
        const VariableValue* value = lookup(reference.substr(1, reference.size() - 2));
        const std::size_t referenceChars = Utf16Length(reference);
        const bool fits = value && chars + value->chars + (rest - referenceChars) <= kMaxVariableChars
                          && (!budget || value->text.size() <= *budget);
        if (!fits) {
            copy(reference);
            continue;
        }
        out += value->text;
        chars += value->chars;
        rest -= referenceChars;
        if (budget)
            *budget -= value->text.size();
    }
    return out;
}

WinePrefix::WinePrefix(std::string root, std::string loginName)
    : root_(std::move(root)),
      loginName_(std::move(loginName))
{
    LoadedHive user = LoadHive(root_, "user.reg");
    user_ = std::move(user.file);
    problem_ = std::move(user.problem);
    machine_ = LoadHive(root_, "system.reg").file;
    SetUpVariables();
}

WinePrefix::WinePrefix(std::string root, std::string loginName, std::unique_ptr<RegistryFile> user,
                       std::unique_ptr<RegistryFile> machine)
    : root_(std::move(root)),
      loginName_(std::move(loginName)),
      user_(std::move(user)),
      machine_(std::move(machine))
{
    if (!user_)
        problem_ = root_ + " is not a Wine prefix: it has no user.reg";
    SetUpVariables();
}

void WinePrefix::SetUpVariables()
{
    // What Wine sets for every program, then the profile's folders (which
    // Windows keeps in the never-saved "Volatile Environment" key), then the
    // machine's and the user's stored variables; the profile's folders win.
    SetVariable("SystemDrive", "C:");
    SetVariable("SystemRoot", "C:\\windows");
    SetVariable("windir", "C:\\windows");
    SetVariable("ProgramData", "C:\\ProgramData");
    SetVariable("ALLUSERSPROFILE", "C:\\ProgramData");
    SetVariable("PUBLIC", "C:\\users\\Public");
    SetVariable("ProgramFiles", "C:\\Program Files");

    std::map<std::string, std::string> profile;
    if (const std::string folder = ProfileFolder(); !folder.empty()) {
        profile["USERPROFILE"] = folder;
        profile["USERNAME"] = LastName(folder);
        profile["HOMEDRIVE"] = folder.substr(0, 2);
        profile["HOMEPATH"] = folder.substr(2);
        std::string appData = ValueText(user_.get(), kShellFolders, "AppData");
        std::string localAppData = ValueText(user_.get(), kShellFolders, "Local AppData");
        profile["APPDATA"] = appData.empty() ? folder + "\\AppData\\Roaming" : appData;
        profile["LOCALAPPDATA"] = localAppData.empty() ? folder + "\\AppData\\Local" : localAppData;
    }
    for (const auto& [name, value] : profile)
        SetVariable(name, value);
    AddVariablesFrom(machine_.get(), kMachineEnvironment);
    AddVariablesFrom(user_.get(), kUserEnvironment);
    for (const auto& [name, value] : profile)
        SetVariable(name, value);
}

std::string WinePrefix::DefaultRoot()
{
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env)
        home = env;
#ifndef _WIN32
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        home = pw->pw_dir;
#endif
    return home + "/.wine";
}

std::string WinePrefix::LoginName()
{
#ifndef _WIN32
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return pw->pw_name;
#endif
    const char* user = std::getenv("USER");
    return user ? user : "";
}

void WinePrefix::SetVariable(std::string_view name, std::string value)
{
    const std::size_t chars = Utf16Length(value);
    if (chars > kMaxVariableChars)
        return;
    variables_[UpperName(name)] = VariableValue{std::move(value), chars};
}

const VariableValue* WinePrefix::FindVariable(std::string_view name) const
{
    const auto it = variables_.find(UpperName(name));
    return it == variables_.end() ? nullptr : &it->second;
}

const std::string* WinePrefix::Variable(std::string_view name) const
{
    const VariableValue* value = FindVariable(name);
    return value ? &value->text : nullptr;
}

std::string WinePrefix::Expand(std::string_view text) const
{
    return ExpandVariables(text, [this](std::string_view name) { return FindVariable(name); });
}

void WinePrefix::AddVariablesFrom(const RegistryFile* hive, std::string_view keyPath)
{
    const auto key = hive ? hive->FindKey(keyPath) : std::nullopt;
    if (!key)
        return;
    // Each value sees the variables set before it, as when Windows builds
    // a new process's environment.
    for (const auto& [name, value] : hive->Values(*key)) {
        if (value.type == 1)
            SetVariable(name, RegistryValueText(value.type, value.data));
        else if (value.type == 2)
            SetVariable(name, ExpandVariables(RegistryValueText(value.type, value.data),
                                              [this](std::string_view n) { return FindVariable(n); }, &budget_));
    }
}

std::string WinePrefix::ProfileFolder() const
{
    // The profile registered for the hive's user...
    if (user_) {
        constexpr std::string_view kUserRoot = "\\User\\";
        const std::string& relative = user_->RelativeTo();
        if (relative.size() > kUserRoot.size() && SameName(relative.substr(0, kUserRoot.size()), kUserRoot)) {
            const std::string sid = relative.substr(kUserRoot.size());
            std::string folder =
                Expand(ValueText(machine_.get(), std::string(kProfileList) + "\\" + sid, "ProfileImagePath"));
            if (folder.size() > 2 && folder[1] == ':')
                return folder;
        }
    }
    // ...else the folder Wine makes for the login name...
    const std::string users = root_ + "/drive_c/users";
    if (!loginName_.empty() && loginName_.find('/') == std::string::npos && IsFolder(users + "/" + loginName_))
        return "C:\\users\\" + loginName_;
    // ...else the one user folder there is besides Public.
    std::string only;
    int count = 0;
    for (const FolderEntry& entry : ListFolder(users)) {
        if (entry.isFolder && !SameName(entry.name, "Public")) {
            only = entry.name;
            ++count;
        }
    }
    return count == 1 ? "C:\\users\\" + only : std::string();
}

std::string WinePrefix::ToUnixPath(std::string_view path) const
{
    if (path.size() < 2 || path[1] != ':' || !((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z')))
        return {};
    const char drive = static_cast<char>(path[0] | 0x20);
    std::string folder = root_ + "/dosdevices/" + drive + ":";
    if (!IsFolder(folder)) {
        folder = root_ + "/drive_c";
        if (drive != 'c' || !IsFolder(folder))
            return {};
    }
    // dosdevices/c: is a link to ../drive_c: name the folder it leads to.
    std::error_code ec;
    if (std::string real = std::filesystem::canonical(folder, ec).string(); !ec)
        folder = std::move(real);
    // The names after the drive, with "." and ".." resolved as Windows
    // resolves them (".." at the root stays at the root).
    std::vector<std::string> names;
    std::string_view rest = path.substr(2);
    while (!rest.empty()) {
        const std::size_t cut = rest.find_first_of("\\/");
        const std::string_view name = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
            continue;
        }
        names.emplace_back(name);
    }
    bool matching = true;
    for (const std::string& name : names) {
        std::string onDisk = matching ? MatchName(folder, name) : std::string();
        if (onDisk.empty()) {
            matching = false;  // nothing below a missing folder can match
            onDisk = name;
        }
        folder = ChildPath(folder, onDisk);
    }
    return folder;
}

} // namespace platform
