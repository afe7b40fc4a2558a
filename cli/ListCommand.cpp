#include "cli/CliCommon.h"

#include <cstdio>
#include <string>

namespace cli {

namespace {

constexpr const char* kUsage =
    "usage: quillmend-cli list FILE.dbx [--json]\n"
    "Scans FILE.dbx and lists every e-mail found in it, deleted ones first.\n"
    "  --json   one JSON array, an object per e-mail, for scripts\n";

// Cuts UTF-8 text to `width` characters (marking a cut with an ellipsis)
// and pads it with spaces to that width.
std::string Fit(const std::string& text, std::size_t width)
{
    std::size_t chars = 0, i = 0, cutAt = std::string::npos;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (chars == width - 1)
            cutAt = i;
        if (++chars > width)
            break;
    }
    if (chars > width)
        return text.substr(0, cutAt) + "\xE2\x80\xA6";
    return text + std::string(width - chars, ' ');
}

void PrintTable(const dbx::DbxFile& file)
{
    std::printf("%6s  %-8s  %-19s  %s  %-28s  %-28s  %s\n", "#", "Status", "Date", "@", "From", "To", "Subject");
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& r = *file.GetAt(i);
        std::printf("%6d  %-8s  %-19s  %s  %s  %s  %s\n", i, r.isDeleted ? "Deleted" : "Existing",
                    FormatDate(r.date).c_str(), r.hasAttachment ? "@" : " ",
                    Fit(ForTerminal(r.from), 28).c_str(), Fit(ForTerminal(r.to), 28).c_str(),
                    ForTerminal(r.subject).c_str());
    }
    std::printf("%d e-mail%s\n", file.GetCount(), file.GetCount() == 1 ? "" : "s");
}

void PrintJson(const dbx::DbxFile& file)
{
    std::string out = "[";
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& r = *file.GetAt(i);
        out += i == 0 ? "\n" : ",\n";
        out += "{\"index\":" + std::to_string(i);
        out += ",\"status\":";
        out += r.isDeleted ? "\"Deleted\"" : "\"Existing\"";
        out += ",\"from\":" + JsonString(r.from);
        out += ",\"to\":" + JsonString(r.to);
        out += ",\"subject\":" + JsonString(r.subject);
        out += ",\"date\":\"" + FormatDate(r.date) + "\"";
        out += ",\"filetime\":" + std::to_string(r.date);
        out += ",\"hasAttachment\":";
        out += r.hasAttachment ? "true" : "false";
        out += ",\"blocks\":[";
        for (std::size_t b = 0; b < r.blocks.size(); ++b)
            out += (b ? "," : "") + std::to_string(r.blocks[b].offset);
        out += "],\"size\":" + std::to_string(file.MessageSize(i)) + "}";
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
    std::string path;
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg.starts_with("-") || !path.empty()) {
            Error("list: unexpected argument '" + arg + "'");
            std::fputs(kUsage, stderr);
            return kExitUsage;
        } else {
            path = arg;
        }
    }
    if (path.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
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
