#pragma once
// A new mbox file filled with recovered e-mails one entry at a time, and a
// valid mbox whatever fails: an entry whose write fails (a full disk) is
// cut off again and nothing is added after it, so the file holds exactly
// the entries that were written whole. The command line's --mbox and the
// desktop program's mbox export both write through it.

#include "dbx/DbxFile.h"
#include "platform/Files.h"

#include <cstdint>
#include <string>

namespace archive {

class MboxFile {
public:
    // One e-mail as added.
    struct Entry {
        // kWhole; kCutShort when the mail file shrank while the e-mail was
        // read (the entry holds what could be read); kNotCreated when it is
        // not in the file.
        dbx::DbxFile::WriteResult result = dbx::DbxFile::WriteResult::kNotCreated;
        std::uint64_t offset = 0;  // where the entry begins in the file
        std::uint64_t length = 0;  // its bytes, separator and blank line included
        std::string sha256;        // of those bytes
        std::uint64_t dateUtc = 0; // the e-mail's Date (0: none)
        bool InFile() const { return result != dbx::DbxFile::WriteResult::kNotCreated; }
    };

    // Creates the file at `path`, never replacing one; the flush of its
    // folder is opened first (see platform::FolderSync). False when the
    // file cannot be created.
    bool Create(const std::string& path);

    // Appends record `index` of `file` as one entry. Not in the file when
    // nothing of it could be read, or when a write failed (now or before).
    Entry Add(const dbx::DbxFile& file, int index);

    // A write failed: the file holds the entries added before that one.
    bool WriteFailed() const { return writeFailed_; }
    // The part of the failed entry could not be cut off again: the file
    // ends in it, after `Size()` bytes of whole entries.
    bool EndsInPartialEntry() const { return partialTail_; }
    // Bytes of whole entries in the file.
    std::uint64_t Size() const { return size_; }
    int Entries() const { return entries_; }

    // Ends the file: flushes it and its folder to the disk and closes it.
    // A file that holds no entry is removed instead. True when every entry
    // in it is on the disk (always true for a removed one).
    bool Finish();
    bool Removed() const { return removed_; }

private:
    platform::FolderSync folderSync_;
    platform::ExclusiveFile out_;
    std::string entry_;
    std::string text_;
    std::uint64_t size_ = 0;
    int entries_ = 0;
    bool writeFailed_ = false;
    bool partialTail_ = false;
    bool removed_ = false;
};

} // namespace archive
