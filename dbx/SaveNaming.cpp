#include "dbx/SaveNaming.h"

#include "dbx/DisplayText.h"
#include "dbx/HeaderFields.h"
#include "platform/Directory.h"
#include "platform/FileTime.h"

#include <tuple>

namespace dbx {

namespace {

constexpr std::size_t kNameCharacters = 20;

} // namespace

std::string MakeSaveName(std::string_view text)
{
    const std::string utf8 = ToDisplayUtf8(text);
    // The first 20 characters: a character is a lead byte and the
    // continuation bytes (10xxxxxx) after it.
    std::size_t end = 0;
    for (std::size_t characters = 0; end < utf8.size(); ++end) {
        const bool starts = (static_cast<unsigned char>(utf8[end]) & 0xC0) != 0x80;
        if (starts && characters++ == kNameCharacters)
            break;
    }
    return ReplaceUnsafeCharacters(std::string_view(utf8).substr(0, end));
}

std::string ReplaceUnsafeCharacters(std::string_view utf8)
{
    std::string name(utf8);
    for (char& c : name) {
        switch (c) {
        case ':': case '\\': case '/': case '?': case '*': case '"': case '>': case '<': case '|':
            c = '_';
            break;
        default:
            break;
        }
    }
    return ReplaceControls(name, '_');
}

std::uint64_t DateUtc(const DbxFile& file, int index)
{
    const EmailRecord* record = file.GetAt(index);
    if (!record || record->date == 0)
        return 0;
    HeaderLines lines;
    ReadHeaderLines(file.Source(), *record, HeaderBit(HeaderField::kDate), lines);
    return DateUtcOfLine(lines[static_cast<std::size_t>(HeaderField::kDate)]);
}

std::uint64_t DateUtcOfLine(std::string_view line)
{
    // An empty text would read as today's date.
    std::uint64_t utc = 0;
    return !line.empty() && ParseMailDateUtc(line, utc) ? utc : 0;
}

FreeNames::FreeNames(std::string folder) : folder_(std::move(folder)) {}

std::pair<DbxFile::WriteResult, std::string> FreeNames::Create(const std::string& first, std::string_view secondPrefix,
                                                               std::string_view tag, std::string_view ending,
                                                               const Creator& create)
{
    std::pair<DbxFile::WriteResult, std::string> outcome{DbxFile::WriteResult::kNotCreated, {}};
    const auto tryName = [&](std::string name) {
        outcome.second = platform::ChildPath(folder_, name + std::string(ending));
        outcome.first = create(outcome.second);
        if (outcome.first != DbxFile::WriteResult::kNotCreated)
            created_.insert(std::move(name));
    };
    if (!first.empty()) {
        if (!created_.count(first))
            tryName(first);
        else
            outcome.second = platform::ChildPath(folder_, first + std::string(ending));
        // A file cut short is kept: writing it again under the second name
        // would only give a second incomplete copy.
        if (outcome.first != DbxFile::WriteResult::kNotCreated)
            return outcome;
    }
    // No first name, or that file exists: a name from the clock.
    tryName(std::string(secondPrefix) + std::to_string(platform::GetTickCount()) + std::string(tag));
    return outcome;
}

EmlSaver::EmlSaver(const DbxFile& file, std::string folder, bool dateFiles)
    : file_(file), dateFiles_(dateFiles), names_(std::move(folder))
{
}

SaveOutcome WriteEml(const DbxFile& file, const std::string& folder, int messageIndex, int displayIndex,
                     const std::string& stem, bool stemFree, std::uint64_t dateUtc, bool dateFile, bool* stemCreated)
{
    SaveOutcome outcome;
    if (stemCreated)
        *stemCreated = false;
    if (!file.GetAt(messageIndex))
        return outcome;
    outcome.dateUtc = dateUtc;
    const auto write = [&](const std::string& name) {
        outcome.path = platform::ChildPath(folder, name + ".eml");
        outcome.result = file.WriteMessage(messageIndex, outcome.path, dateFile ? dateUtc : 0, &outcome.dated);
    };
    if (!stem.empty()) {
        if (stemFree)
            write(stem);
        else
            outcome.path = platform::ChildPath(folder, stem + ".eml");
        // A file cut short is kept: writing it again under the second name
        // would only give a second incomplete copy.
        if (outcome.Created()) {
            if (stemCreated)
                *stemCreated = true;
            return outcome;
        }
    }
    // The subject gives no name, or that file exists: a name from the clock
    // and the row's place in the list.
    write(std::to_string(platform::GetTickCount()) + std::to_string(displayIndex));
    return outcome;
}

SaveOutcome EmlSaver::Save(int messageIndex, int displayIndex, std::string_view nameText)
{
    SaveOutcome outcome;
    if (!file_.GetAt(messageIndex))
        return outcome;
    outcome.dateUtc = DateUtc(file_, messageIndex);
    // The second name is the clock and the row's place in the list.
    std::tie(outcome.result, outcome.path) =
        names_.Create(MakeSaveName(nameText), "", std::to_string(displayIndex), ".eml", [&](const std::string& path) {
            return file_.WriteMessage(messageIndex, path, dateFiles_ ? outcome.dateUtc : 0, &outcome.dated);
        });
    return outcome;
}

} // namespace dbx
