#include "cli/CliCommon.h"

#include "render/RenderMessage.h"

#include <cstdio>

namespace cli {

namespace {

constexpr const char* kUsage =
    "usage: quillmend-cli show FILE.dbx INDEX\n"
    "Prints e-mail INDEX (as 'list' numbers them) for reading: From, To, Cc,\n"
    "Subject and Date decoded, the attachments, then the body as plain text.\n"
    "A deleted e-mail is read around the bytes that were overwritten when it was\n"
    "deleted, and each gap is marked. 'cat' gives the stored bytes instead.\n";

} // namespace

int RunShow(const std::vector<std::string>& args)
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
        Error("show: '" + args[1] + "' is not an e-mail index");
        return kExitUsage;
    }
    dbx::DbxFile file;
    if (!OpenAndScan(args[0], file))
        return kExitUsage;
    if (*index >= file.GetCount()) {
        Error(args[0] + ": no e-mail with index " + args[1] + " (it holds " + std::to_string(file.GetCount()) + ")");
        return kExitUsage;
    }
    std::string bytes;
    const bool complete = file.ReadMessage(*index, bytes);
    const std::string text = render::RenderMessageText(bytes, file.Damage(*index));
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (!complete)
        Error(args[0] + ": the file shrank while it was read; e-mail " + args[1] + " is incomplete");
    return complete && written ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
