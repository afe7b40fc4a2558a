#pragma once
// A stored message as the MIME parser reads it, within the renderer's
// bounds, with what is known of where each byte the parser was given came
// from. Shared by the preview and the attachment finder. Internal to the
// renderer.

#include "dbx/TextDamage.h"
#include "render/GapRepair.h"

#include <cstddef>
#include <string>
#include <string_view>

typedef struct _GMimeMessage GMimeMessage;

namespace render {

class ParsedMessage {
public:
    // Reads the stored bytes (at most limits::kMaxInputBytes of them) with
    // the damage the engine knows of: lost bytes as kGapByte, the structure
    // repaired around them (see RepairGaps), the text bounded for the parser
    // (see ParseBudget.h) and parsed. `stored` must outlive the object.
    ParsedMessage(std::string_view stored, const dbx::TextDamage& damage);
    ~ParsedMessage();
    ParsedMessage(const ParsedMessage&) = delete;
    ParsedMessage& operator=(const ParsedMessage&) = delete;

    // nullptr when the bytes are not a message at all. Owned by this object.
    GMimeMessage* Message() const { return message_; }
    bool Deleted() const { return deleted_; }
    // Longer than the bounds: the parser was given the start of it.
    bool Shortened() const { return shortened_; }
    // The message ends before its structure does.
    bool Incomplete() const { return incomplete_; }
    const GapRepair& Repair() const { return repair_; }
    // The text as read before the parser's bounds: kGapByte over lost bytes.
    std::string_view Text() const { return text_; }
    // What the parser was given: its content streams' offsets count here.
    std::string_view Parsed() const { return parsed_; }
    std::string_view Stored() const { return stored_; }
    const dbx::TextDamage& Damage() const { return damage_; }

    // Where the bytes the parser was given at `offset` come from: a run of
    // `length` bytes from there that either are the stored bytes unchanged
    // at `storedOffset` (`stored` true), or are not (a repaired name or
    // boundary; all of them when the parser's bounds moved the text). Runs
    // follow each other without a gap; `length` is 0 past the end.
    struct Origin {
        bool stored = false;
        std::size_t storedOffset = 0;
        std::size_t length = 0;
    };
    Origin OriginAt(std::size_t offset) const;

private:
    std::string_view stored_;
    dbx::TextDamage damage_;
    bool deleted_ = false;
    bool shortened_ = false;
    bool incomplete_ = false;
    GapRepair repair_;
    std::string_view text_;
    std::string bounded_;
    std::string_view parsed_;
    GMimeMessage* message_ = nullptr;
};

} // namespace render
