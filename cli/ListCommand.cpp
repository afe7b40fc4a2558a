#include "cli/CliCommon.h"
#include "cli/EmailOutput.h"

#include <cstdio>
#include <string>

namespace cli {

namespace {

constexpr const char* kUsage =
    "usage: quillmend-cli list FILE.dbx [--json]\n"
    "Scans FILE.dbx and lists every e-mail found in it, deleted ones first, with\n"
    "From, To and Subject decoded for reading.\n"
    "  --json   one JSON array, an object per e-mail, for scripts: from, to and\n"
    "           subject as the mail file holds them, fromText, toText and\n"
    "           subjectText decoded\n";

void PrintTable(const dbx::DbxFile& file)
{
    PrintEmailHeading();
    for (int i = 0; i < file.GetCount(); ++i)
        PrintEmailRow(file, i);
    std::printf("%d e-mail%s\n", file.GetCount(), file.GetCount() == 1 ? "" : "s");
}

void PrintJson(const dbx::DbxFile& file)
{
    std::string out = "[";
    for (int i = 0; i < file.GetCount(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        AppendEmailJson(out, file, i);
        if (out.size() > (1u << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    out += "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

} // namespace

int RunList(const std::vector<std::string>& args)
{
    bool json = false;
    std::vector<std::string> operands;
    if (const auto done = ReadJsonOption("list", kUsage, args, 1, json, operands))
        return *done;
    if (operands.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& path = operands.front();
    dbx::DbxFile file;
    if (!OpenAndScan(path, file))
        return kExitUsage;
    if (json)
        PrintJson(file);
    else
        PrintTable(file);
    const bool printed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const bool incomplete = WarnIfIncomplete(path, file);
    return printed && !incomplete ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
