#include "cli/EmailOutput.h"
#include "cli/CliCommon.h"

#include "mailtext/HeaderText.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace cli {

namespace {

constexpr unsigned kShownFields = dbx::HeaderBit(dbx::HeaderField::kFrom) | dbx::HeaderBit(dbx::HeaderField::kTo)
                                  | dbx::HeaderBit(dbx::HeaderField::kSubject);

const std::string& Shown(const dbx::HeaderLines& texts, dbx::HeaderField field)
{
    return texts[static_cast<std::size_t>(field)];
}

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

} // namespace

void PrintEmailHeading()
{
    std::printf("%6s  %-8s  %-19s  %s  %-28s  %-28s  %s\n", "#", "Status", "Date", "@", "From", "To", "Subject");
}

void AppendEmailRow(std::string& out, const dbx::DbxFile& file, int index)
{
    thread_local dbx::HeaderLines texts;
    const dbx::EmailRecord& r = *file.GetAt(index);
    mailtext::ReadDisplayTexts(file.Source(), r, kShownFields, texts);
    char start[64];
    std::snprintf(start, sizeof start, "%6d  %-8s  %-19s  %s  ", index, r.isDeleted ? "Deleted" : "Existing",
                  FormatDate(r.date).c_str(), r.hasAttachment ? "@" : " ");
    out += start;
    out += Fit(ForTerminal(Shown(texts, dbx::HeaderField::kFrom)), 28);
    out += "  ";
    out += Fit(ForTerminal(Shown(texts, dbx::HeaderField::kTo)), 28);
    out += "  ";
    out += ForTerminal(Shown(texts, dbx::HeaderField::kSubject));
    out += '\n';
}

void PrintEmailRow(const dbx::DbxFile& file, int index)
{
    std::string row;
    AppendEmailRow(row, file, index);
    std::fwrite(row.data(), 1, row.size(), stdout);
}

void AppendEmailJson(std::string& out, const dbx::DbxFile& file, int index, const std::string& extra)
{
    thread_local dbx::HeaderLines texts;
    const dbx::EmailRecord& r = *file.GetAt(index);
    mailtext::ReadDisplayTexts(file.Source(), r, kShownFields, texts);
    char number[24];
    const auto append = [&](std::uint64_t value) {
        const auto end = std::to_chars(number, number + sizeof number, value).ptr;
        out.append(number, end);
    };
    out += "{\"index\":";
    append(static_cast<std::uint64_t>(index));
    out += ",\"status\":";
    out += r.isDeleted ? "\"Deleted\"" : "\"Existing\"";
    out += ",\"from\":";
    AppendJsonString(out, r.from);
    out += ",\"to\":";
    AppendJsonString(out, r.to);
    out += ",\"subject\":";
    AppendJsonString(out, r.subject);
    out += ",\"fromText\":";
    AppendJsonString(out, Shown(texts, dbx::HeaderField::kFrom));
    out += ",\"toText\":";
    AppendJsonString(out, Shown(texts, dbx::HeaderField::kTo));
    out += ",\"subjectText\":";
    AppendJsonString(out, Shown(texts, dbx::HeaderField::kSubject));
    out += ",\"date\":\"";
    AppendDate(out, r.date);
    out += "\",\"filetime\":";
    append(r.date);
    out += ",\"hasAttachment\":";
    out += r.hasAttachment ? "true" : "false";
    out += ",\"blocks\":[";
    // A long chain has thousands of offsets: their digits go to one buffer,
    // appended once (at most ten digits and a comma each).
    thread_local std::vector<char> offsets;
    offsets.resize(11 * r.blocks.size());
    char* at = offsets.data();
    for (std::size_t b = 0; b < r.blocks.size(); ++b) {
        if (b > 0)
            *at++ = ',';
        at = std::to_chars(at, at + 10, r.blocks[b].offset).ptr;
    }
    out.append(offsets.data(), at);
    out += "],\"size\":";
    append(file.MessageSize(index));
    out += extra;
    out += '}';
}

} // namespace cli
