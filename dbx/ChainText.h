#pragma once
// The searchable text of a block chain, read a range at a time straight from
// the mail file's bytes, so that a long chain never needs a copy of its
// whole text:
// the blocks' 512-byte slots one after the other (deleted blocks with four
// spaces over the start of each slot), ending at the first zero byte, and so
// inside the first slot that is not full. Internal to the engine.

#include "dbx/ByteSource.h"
#include "dbx/EmailRecord.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dbx {

class TextSearcher;

class ChainText {
public:
    // Plans the text of `record`'s blocks in `source` (nothing is read yet),
    // or only the slots that hold its first `most` bytes: the text then ends
    // after the last of them. The source must outlive the plan.
    void Reset(const ByteSource& source, const EmailRecord& record, std::size_t most = SIZE_MAX);

    // Copies the text from `pos` on into out[0..n) and returns how many bytes
    // that was: fewer than n only when the text ends, and 0 from its end on.
    // The text ends at its first zero byte, after its last slot, or where the
    // file, shrunk under the mapping, could no longer be read. Bytes the
    // source could not read come as zeros, so the text ends there too.
    std::size_t Read(std::size_t pos, char* out, std::size_t n);

    // Looks for the first occurrence in the text of each label labels[l]
    // whose bit l is set in `wanted` (at most 32 labels), reading a mapped
    // source's bytes where they lie: no copy of the text, across the seams
    // between blocks. found[l] gets the label's text position, or npos when
    // the text does not hold it. Returns false, setting nothing, when the
    // source is not mapped or a read faulted (the file shrank): Read then
    // tells what can still be read.
    bool FindInPlace(const TextSearcher* labels, std::uint32_t wanted, std::size_t* found);

    // Gives back the memory the plan holds.
    void Release();

    // One block's part of the text: its 512-byte slot.
    struct Piece {
        const char* source;    // in the mapped bytes, when the source is mapped
        std::uint64_t at;      // else its position in the source
        std::size_t length;    // bytes of the block in the file, up to 512
    };

private:
    std::size_t ReadUnmapped(std::size_t pos, char* out, std::size_t n);

    const ByteSource* source_ = nullptr;
    std::string_view view_;  // the mapped bytes, if any
    std::vector<Piece> pieces_;
    bool deleted_ = false;
    std::size_t end_ = 0;  // the end of the text as far as it is known
};

} // namespace dbx
