#pragma once
// The pieces of the save command: what became of each e-mail, the mbox
// export and the manifest. Internal to the command line.

#include "dbx/DbxFile.h"
#include "platform/Files.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

// Which e-mails of a mail file a command works on.
struct EmailChoice {
    bool existingOnly = false;
    bool deletedOnly = false;
    bool haveIndexList = false;
    std::set<int> indexes;  // with haveIndexList
};

// Reads one of the options that choose e-mails (--existing, --deleted,
// --index N,...) at args[i], moving i past its value. Returns false when
// args[i] is none of them; sets `bad` (after telling why) when it is one
// but wrong.
bool ReadEmailChoice(const std::string& command, const std::vector<std::string>& args, std::size_t& i,
                     EmailChoice& choice, bool& bad);

// The value of an option given as "--name VALUE" or "--name=VALUE": false
// when args[i] is not that option; moves i past a separate value.
bool OptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name, std::string& value);

// The indexes of the chosen records of `file`, in order; nullopt (told on
// stderr, naming `mailPath`) when an index is past the file's e-mails.
std::optional<std::vector<int>> ChosenEmails(const dbx::DbxFile& file, const std::string& mailPath,
                                             const EmailChoice& choice);

// A file a command would create that is there already: told, and true.
bool RefuseExisting(const std::string& path, const char* what);

// Creates `folder` when it is missing; false (told) when it cannot be.
bool MakeFolder(const std::string& folder);

// The end of a save into `folder`: when `written` files were written, the
// one flush (`sync`, opened before the first of them); false (told, with
// what it covers) when it failed.
bool FlushFolder(platform::FolderSync& sync, bool opened, const std::string& folder, int written);

// What became of one chosen e-mail.
struct SavedEmail {
    int index = 0;
    dbx::DbxFile::WriteResult result = dbx::DbxFile::WriteResult::kNotCreated;
    std::string savedAs;             // .eml: the file written (or the last name tried)
    std::uint64_t mboxOffset = 0;    // mbox: where its entry begins in the file
    std::uint64_t mboxLength = 0;    // mbox: its entry's bytes, separator and blank line included
    std::string sha256;              // of what was written; empty when nothing was
    std::uint64_t dateUtc = 0;       // its Date as a UTC file time; 0 = none
    bool mtimeSet = false;           // .eml: the file's modification time is dateUtc
};

struct SaveTally {
    int whole = 0;
    int cutShort = 0;
    int failed = 0;
};

// How the .eml files of a save are written.
struct EmlOptions {
    std::string folder;
    bool dateFiles = true;  // each file gets the time of its Date header
    bool hash = false;      // each file is read back for its SHA-256
};

// Writes the e-mails `chosen` into `folder` as .eml files named after their
// subjects (see dbx::EmlSaver), fills `saved`, and prints a line on stdout
// for each e-mail, in order, once its file is written whole; errors on
// stderr. The files of a mapped mail file are written by every thread.
void SaveAsEml(const dbx::DbxFile& file, const std::vector<int>& chosen, const EmlOptions& options,
               std::vector<SavedEmail>& saved, SaveTally& tally);

// Writes the e-mails `chosen` into a new mbox file at `path` (mboxrd),
// fills `saved`, and prints a line on stdout for each e-mail as soon as its
// entry is in the file whole; errors on stderr. When a write fails the file
// is cut back to its last whole entry and each e-mail not in it is named.
// `durable` comes back true when the file is on the disk. A file that
// cannot be created gives nullopt (nothing was written).
std::optional<SaveTally> SaveToMbox(const dbx::DbxFile& file, const std::vector<int>& chosen,
                                    const std::string& path, std::vector<SavedEmail>& saved, bool& durable);

// Where the output went, for the manifest.
struct ManifestOutput {
    std::string folder;  // .eml files: their folder
    std::string mbox;    // or the mbox file
};

// The opening members of a manifest (the tool, the time of writing and the
// mail file's path, size and SHA-256), each line ended by ",\n".
std::string ManifestHead(const std::string& mailPath, const dbx::DbxFile& file);
// "path" members of a file's path as it is written in manifests (absolute).
std::string ManifestPath(const std::string& key, const std::string& path);
// "YYYY-MM-DDTHH:MM:SSZ" of a UTC file time, or null, as a JSON value.
std::string ManifestDate(std::uint64_t utc);
// Writes `json` as a new file at `path` and makes it durable; false (told)
// when it could not be written.
bool WriteManifestFile(const std::string& path, const std::string& json);

// Writes the manifest of a save to a new file at `path` and makes it
// durable: the mail file's path, size and SHA-256, and per e-mail its index,
// status, blocks, size, saved name or mbox position and the SHA-256 of what
// was written. False (with the reason on stderr) when it could not be written.
bool WriteManifest(const std::string& path, const std::string& mailPath, const dbx::DbxFile& file,
                   const ManifestOutput& output, const std::vector<SavedEmail>& saved);

// The folder holding `path` ("." for a bare name).
std::string FolderOf(const std::string& path);

} // namespace cli
