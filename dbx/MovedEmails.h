#pragma once
// E-mails of a mail file whose blocks no longer lie where their headers say
// (copied or moved inside the file, as a real file of 2002 shows), which
// the scan therefore does not list. The carver finds them; here they become
// records of the mail file itself, their blocks named by where they lie.

#include "dbx/CarveCandidates.h"
#include "dbx/DbxFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbx {

struct MovedSearch {
    // The e-mails found, in the order of their first block in the file,
    // marked `moved`, their blocks' offsets where the blocks lie in `file`.
    std::vector<EmailRecord> records;
    bool stopped = false;          // stopped early: nothing is listed
    bool fileChanged = false;      // `path` no longer holds the bytes `file` maps
    std::uint64_t copies = 0;      // moved e-mails the scan lists already, byte for byte
    std::uint64_t notPlaced = 0;   // moved e-mails whose blocks the file does not hold
                                   // as the carver read them (a block across two
                                   // pieces, a sector that could not be read)
};

// Carves the mail file at `path`, scanned as `file` (opened from the same
// path), for e-mails whose blocks lie away from the offsets they name, and
// keeps those the scan does not list: not an e-mail all of whose blocks lie
// where they name, not a byte-for-byte copy of one the scan lists or of one
// kept before. Every record kept reads through `file` exactly as the carver
// read it. Reads `path` once more from start to end, read-only; `progress`
// can stop it, and then nothing is kept. `file` is only read (from this
// thread: it must not change meanwhile).
MovedSearch FindMovedEmails(const std::string& path, const DbxFile& file, ICarveProgress& progress);

} // namespace dbx
