#include "cli/CliCommon.h"

#include <cstdio>

namespace cli {

namespace {

constexpr const char* kUsage =
    "usage: quillmend-cli cat FILE.dbx INDEX\n"
    "Writes the text of e-mail INDEX (as 'list' numbers them) to standard output,\n"
    "byte for byte as Save writes it.\n";

} // namespace

int RunCat(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
    }
    if (args.size() != 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::optional<int> index = ParseIndex(args[1]);
    if (!index) {
        Error("cat: '" + args[1] + "' is not an e-mail index");
        return kExitUsage;
    }
    dbx::DbxFile file;
    if (!OpenAndScan(args[0], file))
        return kExitUsage;
    if (*index >= file.GetCount()) {
        Error(args[0] + ": no e-mail with index " + args[1] + " (it holds " + std::to_string(file.GetCount()) + ")");
        return kExitUsage;
    }
    std::string text;
    const bool complete = file.ReadMessage(*index, text);
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (!complete)
        Error(args[0] + ": the file shrank while it was read; e-mail " + args[1] + " is incomplete");
    WarnIfIncomplete(args[0], file);
    return complete && written ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
