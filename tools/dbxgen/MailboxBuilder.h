#pragma once
// Builds a whole Outlook Express message file in memory: file header, file
// info, the message objects (data blocks) of live and deleted messages in a
// chosen layout, the message-info objects and the message tree, and reports
// what a correct recovery yields for every message.

#include "tools/dbxgen/MailMessage.h"
#include "tools/dbxgen/Mailbox.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dbxgen {

enum class Placement {
    Ascending,   // each message's blocks one after the other, in chain order
    Descending,  // each message's blocks together, the chain running downwards
    Shuffled,    // all blocks of all messages in random order
    Interleaved, // the messages' blocks taken in turn: m0b0, m1b0, m2b0, m0b1, ...
};

struct LayoutOptions {
    Placement placement = Placement::Ascending;
    std::uint32_t gap = 0;    // bytes of garbage between neighbouring blocks; a multiple of 4
    bool staleSlack = false;  // unused body bytes hold old text instead of zeros
    std::string folderName = "Inbox";
};

class MailboxBuilder {
public:
    explicit MailboxBuilder(std::uint64_t seed = 1);

    LayoutOptions& Options() { return options_; }

    // Adds a message; returns its id (0, 1, ...). Messages get their blocks
    // in the order added (as far as the placement keeps an order). Live
    // messages are listed in the folder index, deleted ones are not.
    int Add(MailMessage message, bool deleted = false);
    int AddText(std::string text, bool deleted = false);

    // Overwrites block `block` (chain position) of message `id` with garbage
    // once it is placed: the chain breaks there.
    void Overwrite(int id, int block);
    // Makes block `from` of message `id` link to its block `to` instead of
    // its successor: a cycle when to <= from.
    void Relink(int id, int from, int to);

    // The file and its expectations. Throws std::invalid_argument for
    // impossible options (a gap that is not a multiple of 4, a block number
    // a message does not have, a file beyond 4 GiB).
    Mailbox Build() const;

private:
    std::vector<std::pair<int, int>> BlockOrder(const std::vector<int>& blockCounts) const;

    std::uint64_t seed_;
    LayoutOptions options_;
    std::vector<std::pair<MailMessage, bool>> messages_;
    std::vector<std::pair<int, int>> overwrites_;
    struct Relinking { int id, from, to; };
    std::vector<Relinking> relinks_;
};

// Fills [at, at + length) of `image` with noise in which no 4-aligned
// position names itself, so that no block header can appear there.
void FillGarbage(DbxImage& image, std::uint32_t at, std::uint32_t length, std::uint64_t seed);

} // namespace dbxgen
