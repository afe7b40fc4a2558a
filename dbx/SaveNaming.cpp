#include "dbx/SaveNaming.h"

#include "dbx/DisplayText.h"
#include "dbx/HeaderFields.h"
#include "platform/Directory.h"
#include "platform/FileTime.h"

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
    std::string name = utf8.substr(0, end);
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
    ReadHeaderLines(file.View(), *record, HeaderBit(HeaderField::kDate), lines);
    std::uint64_t utc = 0;
    return ParseMailDateUtc(lines[static_cast<std::size_t>(HeaderField::kDate)], utc) ? utc : 0;
}

EmlSaver::EmlSaver(const DbxFile& file, std::string folder, bool dateFiles)
    : file_(file), folder_(std::move(folder)), dateFiles_(dateFiles)
{
}

SaveOutcome EmlSaver::Save(int messageIndex, int displayIndex, std::string_view nameText)
{
    SaveOutcome outcome;
    if (!file_.GetAt(messageIndex))
        return outcome;
    outcome.dateUtc = DateUtc(file_, messageIndex);
    const auto write = [&](std::string name) {
        outcome.path = platform::ChildPath(folder_, name + ".eml");
        outcome.result =
            file_.WriteMessage(messageIndex, outcome.path, dateFiles_ ? outcome.dateUtc : 0, &outcome.dated);
        if (outcome.Created())
            created_.insert(std::move(name));
    };
    const std::string name = MakeSaveName(nameText);
    if (!name.empty()) {
        if (!created_.count(name))
            write(name);
        else
            outcome.path = platform::ChildPath(folder_, name + ".eml");
        // A file cut short is kept: writing it again under the second name
        // would only give a second incomplete copy.
        if (outcome.Created())
            return outcome;
    }
    // The subject gives no name, or that file exists: a name from the clock
    // and the row's place in the list.
    write(std::to_string(platform::GetTickCount()) + std::to_string(displayIndex));
    return outcome;
}

} // namespace dbx
