#include "cli/CliCommon.h"

#include "mailtext/HeaderText.h"

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

constexpr unsigned kShownFields = dbx::HeaderBit(dbx::HeaderField::kFrom) | dbx::HeaderBit(dbx::HeaderField::kTo)
                                  | dbx::HeaderBit(dbx::HeaderField::kSubject);

const std::string& Shown(const dbx::HeaderLines& texts, dbx::HeaderField field)
{
    return texts[static_cast<std::size_t>(field)];
}

void PrintTable(const dbx::DbxFile& file)
{
    std::printf("%6s  %-8s  %-19s  %s  %-28s  %-28s  %s\n", "#", "Status", "Date", "@", "From", "To", "Subject");
    dbx::HeaderLines texts;
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& r = *file.GetAt(i);
        mailtext::ReadDisplayTexts(file.View(), r, kShownFields, texts);
        std::printf("%6d  %-8s  %-19s  %s  %s  %s  %s\n", i, r.isDeleted ? "Deleted" : "Existing",
                    FormatDate(r.date).c_str(), r.hasAttachment ? "@" : " ",
                    Fit(ForTerminal(Shown(texts, dbx::HeaderField::kFrom)), 28).c_str(),
                    Fit(ForTerminal(Shown(texts, dbx::HeaderField::kTo)), 28).c_str(),
                    ForTerminal(Shown(texts, dbx::HeaderField::kSubject)).c_str());
    }
    std::printf("%d e-mail%s\n", file.GetCount(), file.GetCount() == 1 ? "" : "s");
}

void PrintJson(const dbx::DbxFile& file)
{
    std::string out = "[";
    dbx::HeaderLines texts;
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& r = *file.GetAt(i);
        mailtext::ReadDisplayTexts(file.View(), r, kShownFields, texts);
        out += i == 0 ? "\n" : ",\n";
        out += "{\"index\":" + std::to_string(i);
        out += ",\"status\":";
        out += r.isDeleted ? "\"Deleted\"" : "\"Existing\"";
        out += ",\"from\":" + JsonString(r.from);
        out += ",\"to\":" + JsonString(r.to);
        out += ",\"subject\":" + JsonString(r.subject);
        out += ",\"fromText\":" + JsonString(Shown(texts, dbx::HeaderField::kFrom));
        out += ",\"toText\":" + JsonString(Shown(texts, dbx::HeaderField::kTo));
        out += ",\"subjectText\":" + JsonString(Shown(texts, dbx::HeaderField::kSubject));
        out += ",\"date\":\"" + FormatDate(r.date) + "\"";
        out += ",\"filetime\":" + std::to_string(r.date);
        out += ",\"hasAttachment\":";
        out += r.hasAttachment ? "true" : "false";
        out += ",\"blocks\":[";
        for (std::size_t b = 0; b < r.blocks.size(); ++b) {
            if (b > 0)
                out += ',';
            out += std::to_string(r.blocks[b].offset);
        }
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
