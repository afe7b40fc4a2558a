#include "dbx/SaveNaming.h"

#include "dbx/DbxFile.h"
#include "dbx/DisplayText.h"
#include "platform/Directory.h"
#include "platform/FileNames.h"
#include "platform/FileTime.h"

namespace dbx {

namespace {

constexpr std::size_t kNameBytes = 20;

// Control characters (C0, DEL): Windows refuses them in names; in UTF-8
// names ReplaceControls also takes the C1 range.
bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

} // namespace

std::string MakeSaveName(std::string_view subject)
{
    std::string name(subject.substr(0, kNameBytes));
    if (name.size() < subject.size() && IsValidUtf8(subject)) {
        // Never end a file name in half a character: drop a cut sequence.
        std::size_t cut = name.size();
        while (cut > 0 && (static_cast<unsigned char>(name[cut - 1]) & 0xC0) == 0x80)
            --cut;
        if (cut > 0 && static_cast<unsigned char>(name[cut - 1]) >= 0xC0 && !IsValidUtf8(name.substr(cut - 1)))
            name.resize(cut - 1);
    }
    for (char& c : name) {
        switch (c) {
        case ':': case '\\': case '/': case '?': case '*': case '"': case '>': case '<': case '|':
            c = '_';
            break;
        default:
            if (IsControl(static_cast<unsigned char>(c)))
                c = '_';
            break;
        }
    }
    // Where names are UTF-8, a Windows-1252 subject is converted, so that
    // the file shows the characters the list shows.
    if (platform::kFileNamesAreUtf8)
        name = ReplaceControls(ToDisplayUtf8(name), '_');
    return name;
}

SaveOutcome SaveEmail(const DbxFile& file, int messageIndex, int displayIndex, const std::string& folder)
{
    SaveOutcome outcome;
    const EmailRecord* record = file.GetAt(messageIndex);
    if (!record)
        return outcome;
    const std::string name = MakeSaveName(record->subject);
    if (!name.empty()) {
        outcome.path = platform::ChildPath(folder, name + ".eml");
        outcome.result = file.WriteMessage(messageIndex, outcome.path);
        // A file cut short is kept: writing it again under the second name
        // would only give a second incomplete copy.
        if (outcome.result != DbxFile::WriteResult::kNotCreated)
            return outcome;
    }
    // The subject gives no name, or that file exists: a name from the clock
    // and the row's place in the list.
    outcome.path = platform::ChildPath(folder, std::to_string(platform::GetTickCount()) + std::to_string(displayIndex) + ".eml");
    outcome.result = file.WriteMessage(messageIndex, outcome.path);
    return outcome;
}

} // namespace dbx
