#pragma once
// Restores what the gaps of a deleted e-mail took from its structure, where
// the surviving bytes leave no doubt: header names, parameter names, boundary
// lines, transfer encodings, media types, charsets and boundaries. The body
// text is never guessed at; its gaps stay gaps. Internal to the renderer.

#include <cstddef>
#include <string>
#include <vector>

namespace render {

// A header name restored from the letters around a gap.
struct RepairedName {
    std::string name;    // as the line now has it
    std::string mask;    // same length: '^' under each letter that was lost, ' ' under the sender's
    int occurrence = 0;  // how many lines of that name come before it in its header block
};

struct GapRepair {
    std::string text;  // the message with what could be told restored; other gaps stay kGapByte
    // Names restored in the message's own header (not its parts'), in order.
    std::vector<RepairedName> messageNames;
    // A line of the message's own header whose name could not be told was
    // given a name of the form kUntoldName + number; the damaged name for
    // each, kGapByte where letters were lost.
    std::vector<std::string> untoldNames;
    // Every header name restored, in the message and in its parts, in order.
    std::vector<std::string> repaired;
    // Stretches of `text` that are the input's bytes unchanged (everything
    // but header blocks and boundary lines that were repaired), in order:
    // where a part's bytes stood in the input.
    struct Verbatim {
        std::size_t text = 0;   // offset in `text`
        std::size_t input = 0;  // offset in the text given to RepairGaps
        std::size_t length = 0;
    };
    std::vector<Verbatim> verbatim;
};

// The stand-in for a header name that could not be told, followed by its
// index in GapRepair::untoldNames.
inline constexpr const char* kUntoldName = "X-Quillmend-Untold-";

// Repairs a stored message's text in which kGapByte marks lost bytes. A
// name, a boundary line or a value is restored only where exactly one known
// word fits the surviving bytes at the gap; anything else is left as it is.
// Text without gaps comes back unchanged.
GapRepair RepairGaps(std::string text);

} // namespace render
