#pragma once
// The pieces of the save command: what became of each e-mail, the mbox
// export and the manifest. Internal to the command line.

#include "dbx/DbxFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

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

// Writes the manifest of a save to a new file at `path` and makes it
// durable: the mail file's path, size and SHA-256, and per e-mail its index,
// status, blocks, size, saved name or mbox position and the SHA-256 of what
// was written. False (with the reason on stderr) when it could not be written.
bool WriteManifest(const std::string& path, const std::string& mailPath, const dbx::DbxFile& file,
                   const ManifestOutput& output, const std::vector<SavedEmail>& saved);

// The folder holding `path` ("." for a bare name).
std::string FolderOf(const std::string& path);

} // namespace cli
