#pragma once
// One .dbx mail-folder file opened for recovery: mapped read-only (or any
// other byte source: a former mail file put together from an image),
// scanned for live and deleted message blocks, its e-mails listed as
// EmailRecords. The file itself is never written.

#include "dbx/ByteSource.h"
#include "dbx/EmailRecord.h"
#include "dbx/IProgressSink.h"
#include "dbx/TextDamage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dbx {

// How a scan shares its work among threads. The defaults suit every file;
// tests give small pieces, so that small files take the shared path with
// many seams between pieces.
struct ScanOptions {
    unsigned threads = 0;                     // 0: platform::WorkerThreads()
    std::uint64_t piecePositions = 1u << 16;  // 4-byte positions a thread examines at a time
    std::size_t roundChains = 4096;           // chains whose headers are read in one round
};

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
    // Opens the bytes of `source` as a mail file (false, and closed, when it
    // is empty). An open object is closed first.
    bool Open(std::unique_ptr<ByteSource> source);
    // Unmaps the file and drops the records.
    void Close();

    // Finds every e-mail of the file (deleted ones first). Does nothing when
    // the file is not open or already holds records.
    void Scan(IProgressSink& progress);
    void Scan(IProgressSink& progress, const ScanOptions& options);
    bool IsScanned() const { return scanned_; }
    bool IsOpen() const { return source_ != nullptr; }

    // Chains of blocks the last scan did not examine because the file holds
    // more of their kind than a real mail file can (a file packed with fake
    // block headers): the list is then incomplete. 0 for every real file.
    std::uint64_t OmittedChains() const { return omittedChains_; }
    // The file was cut while the last scan read it (another program
    // truncated or compacted it): the list holds only what was still there.
    bool CutWhileScanned() const { return cutWhileScanned_; }

    // Appends e-mails found where the scan does not look (FindMovedEmails)
    // after the records there are, so that no index changes. Pointers that
    // GetAt gave out before may no longer be valid. Nothing for a file that
    // is not scanned.
    void AddMovedRecords(std::vector<EmailRecord> records);
    // The records the scan itself listed: indexes 0 .. ScanCount() - 1.
    int ScanCount() const { return scanCount_ < 0 ? GetCount() : scanCount_; }

    int GetCount() const { return static_cast<int>(records_.size()); }
    // nullptr when index is outside 0..GetCount()-1.
    const EmailRecord* GetAt(int index) const;
    const std::vector<EmailRecord>& Records() const { return records_; }

    // What became of an e-mail written to a file.
    enum class WriteResult {
        kWhole,      // the file holds the e-mail's whole text
        kCutShort,   // the mail file shrank while it was read: the file holds
                     // what could be read, and the rest is lost
        kNotCreated, // no file: not a record, something exists at the path
                     // (left untouched), or the write failed (the partial
                     // file is removed)
    };

    // Writes the text of record `index` to a new file at `path`. A non-zero
    // `modifiedUtc` (a UTC file time) becomes the file's modification time;
    // `dated`, when given, tells whether the file system took it.
    WriteResult WriteMessage(int index, const std::string& path, std::uint64_t modifiedUtc = 0,
                             bool* dated = nullptr) const;

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

    // The mapped bytes (empty when closed, or when the source is not mapped).
    std::string_view View() const;
    // Where the file's bytes are read from (an empty source when closed).
    const ByteSource& Source() const;

private:
    friend class Scanner;

    // False when the file has been cut since it was mapped and no longer
    // holds all of the record's payload bytes.
    bool StillHolds(const EmailRecord& record) const;

    std::vector<EmailRecord> records_;
    std::unique_ptr<ByteSource> source_;
    bool scanned_ = false;
    std::uint64_t omittedChains_ = 0;
    bool cutWhileScanned_ = false;
    int scanCount_ = -1;  // -1 until moved records are added
};

} // namespace dbx
