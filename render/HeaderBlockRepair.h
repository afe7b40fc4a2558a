#pragma once
// Repairs one header block of a deleted e-mail (the message's own, or a
// part's) around its gaps. Internal to the renderer.

#include "render/GapRepair.h"

#include <string>
#include <string_view>
#include <vector>

namespace render {

// Restores in `block` (a header block without its empty line, kGapByte
// where bytes were lost) the header and parameter names, transfer encoding,
// media type, charset and boundary that exactly one known word fits; gives
// a name no word fits a stand-in (kUntoldName). `boundaries` are the
// boundary lines the message has, `charsets` the charsets it names
// elsewhere, `nextBoundary` the first boundary line after the block (for a
// multipart that lost its own). Restored names go to `report`, and to its
// messageNames when ofMessage.
void RepairHeaderBlock(std::string& block, GapRepair& report, bool ofMessage, const std::vector<std::string>& boundaries,
                       const std::vector<std::string>& charsets, std::string_view nextBoundary);

} // namespace render
