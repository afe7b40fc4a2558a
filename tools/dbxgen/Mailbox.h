#pragma once
// A message file built by MailboxBuilder, together with what a correct
// recovery must make of it.

#include "tools/dbxgen/DbxImage.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace dbxgen {

// One message as a correct recovery yields it.
struct ExpectedMessage {
    int id = 0;                        // order in which it was added, from 0
    bool deleted = false;
    std::vector<std::uint32_t> placed; // offsets of all blocks it was given, in chain order
    std::vector<std::uint32_t> blocks; // offsets recovery follows from its first block
    std::string text;                  // bytes recovery writes for it
    bool startsChain = false;          // the scan starts a chain at its first block
    // As written in its header.
    std::string from;
    std::string to;
    std::string subject;
    bool hasAttachment = false;
    std::size_t textLength = 0;        // length of the message as it was stored
};

// A chain that the scan starts inside a message (behind a broken link, or
// below its first block in a scrambled layout). It becomes a listed e-mail
// only when its text happens to hold a From, To or Subject line.
struct ExpectedChain {
    bool deleted = false;
    std::vector<std::uint32_t> blocks;
    std::string text;
};

class Mailbox {
public:
    const DbxImage& Image() const { return image_; }
    // Every message in the order added.
    const std::vector<ExpectedMessage>& Messages() const { return messages_; }
    // Messages recovery lists as a whole, in its order: deleted ones first,
    // then live ones, each group by ascending offset of the first block.
    std::vector<const ExpectedMessage*> RecoveryOrder() const;
    const std::vector<ExpectedChain>& PartialChains() const { return partial_; }

    // Cuts the file to `size` bytes (a copy that broke off) and updates what
    // recovery yields. A larger size changes nothing.
    void Truncate(std::size_t size);
    // Writes the file; false when it could not be written completely.
    bool WriteTo(const std::string& path) const { return image_.WriteTo(path); }

private:
    friend class MailboxBuilder;

    struct Block {
        std::uint32_t offset = 0;
        std::uint32_t next = 0;
        std::uint32_t length = 0; // text bytes (live); deleted blocks give all 512
        bool deleted = false;
        bool damaged = false;     // overwritten: no block header any more
        int message = 0;
        std::string body;         // the 512 body bytes as written
    };

    void ComputeExpectations();
    std::string ChainText(const std::vector<std::uint32_t>& chain) const;

    DbxImage image_;
    std::vector<Block> blocks_;
    std::vector<ExpectedMessage> messages_;
    std::vector<ExpectedChain> partial_;
    std::unordered_map<std::uint32_t, std::size_t> intact_; // offset -> undamaged block
};

} // namespace dbxgen
