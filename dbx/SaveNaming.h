#pragma once
// Saving e-mails as .eml files into a folder chosen by the user: the naming
// rule shared by the desktop program's Save command and the command line.

#include "dbx/DbxFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace dbx {

// The file name stem for a subject: its first 20 bytes (never ending in half
// a UTF-8 character), with : \ / ? * " > < | and control characters each
// replaced by '_'. Where file names are UTF-8 (everywhere but Windows) the
// stem is then converted by the text rule (UTF-8 kept, else Windows-1252),
// so it may hold more than 20 bytes.
std::string MakeSaveName(std::string_view subject);

struct SaveOutcome {
    DbxFile::WriteResult result = DbxFile::WriteResult::kNotCreated;
    std::string path;  // the file written (or the last name tried)

    // A file was created, whole or cut short.
    bool Created() const { return result != DbxFile::WriteResult::kNotCreated; }
};

// Writes record `messageIndex` of `file` into `folder` as "<MakeSaveName>.eml";
// when the name is empty or that file cannot be created, as
// "<tick count><displayIndex>.eml". Never overwrites a file.
SaveOutcome SaveEmail(const DbxFile& file, int messageIndex, int displayIndex,
                      const std::string& folder);

} // namespace dbx
