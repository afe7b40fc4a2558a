#pragma once
// Saving e-mails as .eml files into a folder chosen by the user: the naming
// rule shared by the desktop program's Save command and the command line.

#include <cstdint>
#include <string>
#include <string_view>

namespace dbx {

class DbxFile;

// The file name stem for a subject: its first 20 bytes (never ending in half
// a UTF-8 character), with : \ / ? * " > < | each replaced by '_'.
std::string MakeSaveName(std::string_view subject);

// Joins a folder and a file name with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

struct SaveOutcome {
    bool written = false;
    std::string path;  // the file written (or the last name tried)
};

// Writes record `messageIndex` of `file` into `folder` as "<MakeSaveName>.eml";
// when the name is empty or that file cannot be written, as
// "<tick count><displayIndex>.eml". Never overwrites a file.
SaveOutcome SaveEmail(const DbxFile& file, int messageIndex, int displayIndex,
                      const std::string& folder);

} // namespace dbx
