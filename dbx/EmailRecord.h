#pragma once
#include "dbx/BlockRef.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbx {

// One e-mail found in a mail file. Texts are the message's own bytes (no
// character set conversion); each holds at most kMaxFieldLength bytes.
struct EmailRecord {
    static constexpr std::size_t kMaxFieldLength = 511;

    std::string from;
    std::string to;
    std::string subject;
    std::uint64_t date = 0;     // local file time; 0 = no usable Date line
    bool hasAttachment = false; // "Content-Type: application" somewhere in the text
    bool isDeleted = false;     // built from deleted (508/528) blocks
    bool moved = false;         // its blocks lie elsewhere than the offsets they
                                // name (found by FindMovedEmails, not the scan)
    std::vector<BlockRef> blocks; // chain order; never empty in a listed record

    friend bool operator==(const EmailRecord&, const EmailRecord&) = default;
};

} // namespace dbx
