#include "dbx/SaveNaming.h"

#include "dbx/DbxFile.h"
#include "dbx/DisplayText.h"
#include "platform/FileTime.h"

namespace dbx {

namespace {

constexpr std::size_t kNameBytes = 20;

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool IsSeparator(char c)
{
    return c == '/' || c == kSeparator;
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
            break;
        }
    }
    return name;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || IsSeparator(folder.back()))
        return folder + name;
    return folder + kSeparator + name;
}

SaveOutcome SaveEmail(const DbxFile& file, int messageIndex, int displayIndex, const std::string& folder)
{
    SaveOutcome outcome;
    const EmailRecord* record = file.GetAt(messageIndex);
    if (!record)
        return outcome;
    const std::string name = MakeSaveName(record->subject);
    if (!name.empty()) {
        outcome.path = JoinPath(folder, name + ".eml");
        if (file.WriteMessage(messageIndex, outcome.path)) {
            outcome.written = true;
            return outcome;
        }
    }
    // The subject gives no name, or that file exists: a name from the clock
    // and the row's place in the list.
    outcome.path = JoinPath(folder, std::to_string(platform::GetTickCount()) + std::to_string(displayIndex) + ".eml");
    outcome.written = file.WriteMessage(messageIndex, outcome.path);
    return outcome;
}

} // namespace dbx
