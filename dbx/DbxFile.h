#pragma once
// One .dbx mail-folder file opened for recovery: mapped read-only, scanned
// for live and deleted message blocks, its e-mails listed as EmailRecords.
// The file itself is never written.

#include "dbx/EmailRecord.h"
#include "dbx/IProgressSink.h"
#include "dbx/TextDamage.h"
#include "platform/MappedFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbx {

class DbxFile {
public:
    DbxFile() = default;
    virtual ~DbxFile();
    DbxFile(const DbxFile&) = delete;
    DbxFile& operator=(const DbxFile&) = delete;

    // Opens and maps the file. Returns false and leaves the object closed on
    // failure (missing, empty, not a regular file). An open object is closed
    // first, so its records are gone.
    bool Open(const std::string& path);
    // Unmaps the file and drops the records.
    void Close();

    // Finds every e-mail of the file (deleted ones first). Does nothing when
    // the file is not open or already holds records.
    void Scan(IProgressSink& progress);
    bool IsScanned() const { return scanned_; }
    bool IsOpen() const { return file_.IsOpen(); }

    int GetCount() const { return static_cast<int>(records_.size()); }
    // nullptr when index is outside 0..GetCount()-1.
    const EmailRecord* GetAt(int index) const;
    const std::vector<EmailRecord>& Records() const { return records_; }

    // Writes the text of record `index` to a new file at `path`. Returns false
    // when the index is not a record, when anything exists at `path` (which is
    // left untouched), or when the text could not be written completely (the
    // partial file is removed).
    bool WriteMessage(int index, const std::string& path) const;

    // Appends the text of record `index` to `out` exactly as WriteMessage
    // writes it; false when the index is not a record or the file shrank
    // while it was read (what could be read is appended).
    bool ReadMessage(int index, std::string& out) const;
    // Number of bytes WriteMessage writes for record `index` (0 if none).
    std::uint64_t MessageSize(int index) const;
    // Where the text WriteMessage writes for record `index` is not the
    // sender's: the first four bytes of every block of a deleted e-mail and
    // the zeros after its end. Empty for an existing e-mail or a bad index.
    TextDamage Damage(int index) const;

    // The mapped bytes (empty when closed).
    std::string_view View() const;

private:
    friend class Scanner;

    std::vector<EmailRecord> records_;
    platform::MappedFile file_;
    bool scanned_ = false;
};

} // namespace dbx
