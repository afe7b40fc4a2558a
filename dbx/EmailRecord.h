#pragma once
#include "dbx/BlockRef.h"

#include <array>
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

    // Where ExtractHeader found the value of each field (from, to, date,
    // subject) in the text of the blocks, so that its header line is read
    // again without a search. kNotSought until then, or where the position
    // does not fit; kNoValue where the text holds no value for the field.
    static constexpr std::uint32_t kNotSought = 0xFFFFFFFF;
    static constexpr std::uint32_t kNoValue = 0xFFFFFFFE;
    std::array<std::uint32_t, 4> valueAt{kNotSought, kNotSought, kNotSought, kNotSought};
    // Bit f: the value of field f (from, to, subject; as the record holds it)
    // is its whole header line, so the line needs no reading. Only where its
    // valueAt is kept.
    std::uint8_t wholeLines = 0;

    friend bool operator==(const EmailRecord&, const EmailRecord&) = default;
};

} // namespace dbx
