// What the commands that write files share: choosing e-mails, refusing to
// replace a file, the target folder and its one flush at the end.

#include "cli/CliCommon.h"
#include "cli/SaveParts.h"
#include "platform/FsPath.h"

#include <filesystem>

namespace cli {

namespace {

bool ParseIndexList(const std::string& text, std::set<int>& out)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::optional<int> n = ParseIndex(std::string_view(text).substr(start, comma - start));
        if (!n)
            return false;
        out.insert(*n);
        start = comma + 1;
    }
    return true;
}

} // namespace

bool OptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name, std::string& value)
{
    const std::string& arg = args[i];
    if (arg.starts_with(name + "=")) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (arg != name)
        return false;
    value = i + 1 < args.size() ? args[++i] : std::string();
    return true;
}

bool ReadEmailChoice(const std::string& command, const std::vector<std::string>& args, std::size_t& i,
                     EmailChoice& choice, bool& bad)
{
    std::string value;
    if (args[i] == "--existing") {
        choice.existingOnly = true;
    } else if (args[i] == "--deleted") {
        choice.deletedOnly = true;
    } else if (OptionValue(args, i, "--index", value)) {
        if (!ParseIndexList(value, choice.indexes)) {
            Error(value.empty() ? command + ": --index needs a list of indexes"
                                : command + ": '" + value + "' is not a list of e-mail indexes");
            bad = true;
        }
        choice.haveIndexList = true;
    } else {
        return false;
    }
    if (choice.existingOnly && choice.deletedOnly) {
        Error(command + ": --existing and --deleted exclude each other");
        bad = true;
    }
    return true;
}

std::optional<std::vector<int>> ChosenEmails(const dbx::DbxFile& file, const std::string& mailPath,
                                             const EmailChoice& choice)
{
    for (const int n : choice.indexes) {
        if (n >= file.GetCount()) {
            Error(mailPath + ": no e-mail with index " + std::to_string(n) + " (it holds " +
                  std::to_string(file.GetCount()) + ")");
            return std::nullopt;
        }
    }
    std::vector<int> chosen;
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& r = *file.GetAt(i);
        if ((choice.existingOnly && r.isDeleted) || (choice.deletedOnly && !r.isDeleted)
            || (choice.haveIndexList && !choice.indexes.count(i)))
            continue;
        chosen.push_back(i);
    }
    return chosen;
}

bool RefuseExisting(const std::string& path, const char* what)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(std::filesystem::symlink_status(platform::ToFsPath(path), ec)))
        return false;
    Error(PathForTerminal(path) + ": already exists; " + what + " is never replaced or appended to");
    return true;
}

bool MakeFolder(const std::string& folder)
{
    std::error_code ec;
    const std::filesystem::path fsFolder = platform::ToFsPath(folder);
    std::filesystem::create_directories(fsFolder, ec);
    if (std::filesystem::is_directory(fsFolder, ec))
        return true;
    Error(PathForTerminal(folder) + ": cannot create this folder");
    return false;
}

bool FlushFolder(platform::FolderSync& sync, bool opened, const std::string& folder, int written)
{
    // Nothing is called durable before it is on the disk.
    if (written == 0 || (opened && sync.Sync()))
        return true;
    Error(PathForTerminal(folder) + ": could not be flushed to the disk; the " + std::to_string(written) + " file" +
          (written == 1 ? "" : "s") + " saved there may not all be on it");
    return false;
}

} // namespace cli
