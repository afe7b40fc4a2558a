#include "cli/CliCommon.h"

#include "dbx/SaveNaming.h"
#include "platform/Files.h"

#include <cstdio>
#include <filesystem>
#include <set>

namespace cli {

namespace {

constexpr const char* kUsage =
    "usage: quillmend-cli save FILE.dbx FOLDER [--existing | --deleted] [--index N,...]\n"
    "Saves e-mails of FILE.dbx into FOLDER as .eml files named after their subjects\n"
    "(or after the clock and the index when that name is empty or taken).\n"
    "Existing files are never overwritten; FOLDER is created when missing.\n"
    "  --existing   only e-mails whose blocks are still in use\n"
    "  --deleted    only deleted e-mails\n"
    "  --index N,.. only these e-mails (numbered as 'list' shows them)\n";

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

int RunSave(const std::vector<std::string>& args)
{
    std::vector<std::string> positional;
    bool existingOnly = false, deletedOnly = false;
    std::set<int> chosen;
    bool haveIndexList = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (arg == "--existing") {
            existingOnly = true;
        } else if (arg == "--deleted") {
            deletedOnly = true;
        } else if (arg == "--index" || arg.starts_with("--index=")) {
            std::string list = arg.size() > 7 ? arg.substr(8) : "";
            if (arg == "--index") {
                if (i + 1 >= args.size()) {
                    Error("save: --index needs a list of indexes");
                    return kExitUsage;
                }
                list = args[++i];
            }
            if (!ParseIndexList(list, chosen)) {
                Error("save: '" + list + "' is not a list of e-mail indexes");
                return kExitUsage;
            }
            haveIndexList = true;
        } else if (arg.starts_with("-")) {
            Error("save: unknown option '" + arg + "'");
            std::fputs(kUsage, stderr);
            return kExitUsage;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || (existingOnly && deletedOnly)) {
        if (existingOnly && deletedOnly)
            Error("save: --existing and --deleted exclude each other");
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& path = positional[0];
    const std::string& folder = positional[1];

    dbx::DbxFile file;
    if (!OpenAndScan(path, file))
        return kExitUsage;
    for (int n : chosen) {
        if (n >= file.GetCount()) {
            Error(path + ": no e-mail with index " + std::to_string(n) + " (it holds " +
                  std::to_string(file.GetCount()) + ")");
            return kExitUsage;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        Error(folder + ": cannot create this folder");
        return kExitUsage;
    }

    int whole = 0, cutShort = 0, failed = 0;
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& r = *file.GetAt(i);
        if ((existingOnly && r.isDeleted) || (deletedOnly && !r.isDeleted) || (haveIndexList && !chosen.count(i)))
            continue;
        const dbx::SaveOutcome outcome = dbx::SaveEmail(file, i, i, folder);
        // Each saved file is told as soon as it exists, for scripts that
        // read the lines as they come.
        switch (outcome.result) {
        case dbx::DbxFile::WriteResult::kWhole:
            ++whole;
            std::printf("%d\t%s\n", i, ForTerminal(outcome.path).c_str());
            break;
        case dbx::DbxFile::WriteResult::kCutShort:
            ++cutShort;
            std::printf("%d\t%s\n", i, ForTerminal(outcome.path).c_str());
            Error("e-mail " + std::to_string(i) + " is incomplete: the mail file shrank while it was read; " +
                  ForTerminal(outcome.path) + " holds what could be read");
            break;
        case dbx::DbxFile::WriteResult::kNotCreated:
            ++failed;
            Error("could not save e-mail " + std::to_string(i) + " as " + ForTerminal(outcome.path));
            break;
        }
        std::fflush(stdout);
    }
    // Nothing is called saved before it is on the disk.
    bool durable = true;
    if (whole + cutShort > 0 && !platform::SyncFolder(folder)) {
        durable = false;
        Error(folder + ": the saved files could not be flushed to the disk");
    }
    std::printf("%d e-mail%s saved to %s", whole, whole == 1 ? "" : "s", ForTerminal(folder).c_str());
    if (cutShort > 0)
        std::printf(", %d more saved incomplete", cutShort);
    if (failed > 0)
        std::printf(", %d could not be written", failed);
    std::printf("\n");
    std::fflush(stdout);
    const bool incomplete = WarnIfIncomplete(path, file);
    return failed == 0 && cutShort == 0 && durable && !incomplete ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
