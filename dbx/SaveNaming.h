#pragma once
// Saving e-mails as .eml files into a folder chosen by the user: the naming
// rule shared by the desktop program's Save command and the command line.

#include "dbx/DbxFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace dbx {

// The file name stem for `text`, the e-mail's subject as the list shows it
// (UTF-8; other bytes are read by the text rule first): its first 20
// characters, with : \ / ? * " > < | and control characters (C0, DEL, C1)
// each replaced by '_'. Never ends in half a character.
std::string MakeSaveName(std::string_view text);

// UTF-8 text with the characters no file name may hold (: \ / ? * " > < |
// and control characters: C0, DEL, C1) each replaced by '_'.
std::string ReplaceUnsafeCharacters(std::string_view utf8);

// The Date header of record `index` as a UTC file time (its own zone
// applied); 0 when the list shows no date for it or it is not a record.
std::uint64_t DateUtc(const DbxFile& file, int index);
// The same from the record's Date line as ReadHeaderLines gives it; 0 for
// "" (no date, or the file no longer holds the line).
std::uint64_t DateUtcOfLine(std::string_view line);

struct SaveOutcome {
    DbxFile::WriteResult result = DbxFile::WriteResult::kNotCreated;
    std::string path;          // the file written (or the last name tried)
    std::uint64_t dateUtc = 0; // the e-mail's Date (0: none), when a file was created
    bool dated = false;        // the file's modification time is dateUtc

    // A file was created, whole or cut short.
    bool Created() const { return result != DbxFile::WriteResult::kNotCreated; }
};

// Writes record `messageIndex` of `file` into `folder` as "<stem>.eml" when
// `stem` is not empty and `stemFree` (no earlier e-mail of this save took
// that name) and that file can be created, else as "<tick
// count><displayIndex>.eml"; never over an existing file. A non-zero
// `dateUtc` becomes the file's time when `dateFile`. `stemCreated`, when
// given, tells whether "<stem>.eml" was created. Callers may write e-mails
// of one mapped file from several threads at once.
SaveOutcome WriteEml(const DbxFile& file, const std::string& folder, int messageIndex, int displayIndex,
                     const std::string& stem, bool stemFree, std::uint64_t dateUtc, bool dateFile,
                     bool* stemCreated = nullptr);

// The names the savers give files in one folder: a first choice, or when
// that is empty or taken, a second one made from the clock. Never
// overwrites a file: the creator it is given must fail on a file that
// exists (platform::ExclusiveFile does).
class FreeNames {
public:
    using Creator = std::function<DbxFile::WriteResult(const std::string& path)>;

    explicit FreeNames(std::string folder);

    // Creates "<first><ending>" in the folder with `create`, unless `first`
    // is empty or this object created that name before; when that creates
    // nothing, "<secondPrefix><tick count><tag><ending>". Returns the result
    // of the last try and its path.
    std::pair<DbxFile::WriteResult, std::string> Create(const std::string& first, std::string_view secondPrefix,
                                                        std::string_view tag, std::string_view ending,
                                                        const Creator& create);

    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    // Names this object created: taken, so not tried again (a save of many
    // files with one name would otherwise try each in vain).
    std::unordered_set<std::string> created_;
};

// Saves e-mails of one mail file into one folder as .eml files. Never
// overwrites a file.
class EmlSaver {
public:
    // With `dateFiles`, each file gets the time of its e-mail's Date header
    // (when it has one), so that file managers sort saved mail by date.
    // `file` must outlive the saver.
    EmlSaver(const DbxFile& file, std::string folder, bool dateFiles);

    // Writes record `messageIndex` as "<MakeSaveName(nameText)>.eml"; when
    // that name is empty or taken, as "<tick count><displayIndex>.eml".
    // `nameText` is the subject's display text.
    SaveOutcome Save(int messageIndex, int displayIndex, std::string_view nameText);

private:
    const DbxFile& file_;
    bool dateFiles_;
    FreeNames names_;
};

} // namespace dbx
