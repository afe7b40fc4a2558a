#pragma once
// Writes a large message file straight to disk: message objects are written
// as messages arrive, in ascending order, and only the small index data is
// kept until Finish() adds the index and the file header. Memory stays
// small whatever the file size.

#include "tools/dbxgen/FolderIndex.h"
#include "tools/dbxgen/MailMessage.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace dbxgen {

class MailboxStream {
public:
    // Creates (or truncates) the file at `path`; check Ok().
    explicit MailboxStream(const std::string& path, std::string folderName = "Inbox");

    bool Ok() const { return static_cast<bool>(out_); }

    // Writes the message's blocks behind the previous ones and returns their
    // offsets in chain order. Deleted messages get freed blocks and stay out
    // of the index. Throws std::length_error when the file would outgrow
    // 32-bit offsets.
    std::vector<std::uint32_t> Append(const MailMessage& message, bool deleted);

    // Bytes the file will have up to the end of the message objects so far.
    std::uint64_t MessageAreaEnd() const;

    // Completes the file: pads the last message segment, writes the index
    // and the header. Returns the file size, or 0 when writing failed.
    std::uint64_t Finish();

private:
    std::unique_ptr<char[]> buffer_;
    std::ofstream out_;
    std::string folderName_;
    std::uint64_t blocks_ = 0;
    std::uint32_t messages_ = 0;
    std::uint32_t freeList_ = 0;
    std::uint32_t freedBytes_ = 0;
    FolderIndex index_;
    std::string scratch_;
};

} // namespace dbxgen
