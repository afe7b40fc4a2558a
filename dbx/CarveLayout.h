#pragma once
// From the block headers found in an image to the former mail files: headers
// grouped by how far their file was moved (position minus self offset),
// groups that are really pieces of mail files told from chance, pieces
// joined into files where a chain's link leaves one piece for another, and
// the boundaries between pieces fixed. Internal to the engine; the rules are
// in FORMAT.md.

#include "dbx/CarveCandidates.h"
#include "dbx/PieceSource.h"

#include <cstdint>
#include <vector>

namespace dbx {

class ByteSource;

struct FormerFile {
    std::vector<Piece> pieces;  // ascending offsets, not overlapping
    std::uint64_t blocks = 0;   // block headers its pieces hold
    bool signature = false;     // its first piece begins with a message file's signature
};

struct LayoutCounts {
    std::uint64_t loneHeaders = 0;      // headers in no group that looks like a mail file
    std::uint64_t linksDecided = 0;     // links followed from one piece into another
    std::uint64_t linksUndecided = 0;   // links more than one piece could continue, none clearly
    std::uint64_t linksRefused = 0;     // decided links that would have made two pieces overlap
    std::uint64_t neighboursJoined = 0; // pieces joined where no link crosses: one follows where the other ends
};

struct Layout {
    std::vector<FormerFile> files;  // in the order of their first piece's image position
    LayoutCounts counts;
    std::uint32_t alignment = 0;    // the power of two all piece shifts agree on (the cluster size, usually)
};

// Plans the former files. Sorts `candidates` by shift; reads the image only
// for the text around links that leave a piece and for headers split
// between two pieces.
Layout PlanLayout(std::vector<Candidate>& candidates, const std::vector<std::uint64_t>& signatures,
                  const ByteSource& image);

} // namespace dbx
