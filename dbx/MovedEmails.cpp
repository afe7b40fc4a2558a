#include "dbx/MovedEmails.h"

#include "dbx/Carver.h"
#include "dbx/DbxFormat.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace dbx {

namespace {

// The piece of `pieces` (ascending, not overlapping) that holds `offset`.
const Piece* PieceHolding(const std::vector<Piece>& pieces, std::uint64_t offset)
{
    const auto it = std::upper_bound(pieces.begin(), pieces.end(), offset,
                                     [](std::uint64_t o, const Piece& p) { return o < p.to; });
    return it != pieces.end() && it->from <= offset ? &*it : nullptr;
}

// Where in the mail file a block of a former file lies: its header and
// payload in one piece, so that one offset names all of its bytes.
bool PlaceBlock(const std::vector<Piece>& pieces, const BlockRef& block, std::uint64_t fileSize,
                std::uint32_t& placed, bool& moved)
{
    const std::uint64_t end =
        std::uint64_t{block.offset} + format::kHeaderSize + std::min(block.dataLength, format::kPayloadSize);
    const Piece* piece = PieceHolding(pieces, block.offset);
    if (!piece || end > piece->to)
        return false;
    const std::int64_t at = static_cast<std::int64_t>(block.offset) + piece->shift;
    if (at < 0 || static_cast<std::uint64_t>(at) >= fileSize ||
        static_cast<std::uint64_t>(at) > std::numeric_limits<std::uint32_t>::max())
        return false;
    placed = static_cast<std::uint32_t>(at);
    moved = moved || piece->shift != 0;
    return true;
}

// Whether every block of `a` in `sa` holds the bytes of the same block of
// `b` in `sb`: the same e-mail, read from where each names its blocks.
bool SameBytes(const ByteSource& sa, const EmailRecord& a, const ByteSource& sb, const EmailRecord& b)
{
    std::uint8_t x[format::kHeaderSize + format::kPayloadSize];
    std::uint8_t y[sizeof x];
    for (std::size_t k = 0; k < a.blocks.size(); ++k) {
        const std::size_t n = format::kHeaderSize + std::min(a.blocks[k].dataLength, format::kPayloadSize);
        if (sa.Read(a.blocks[k].offset, x, n) != n || sb.Read(b.blocks[k].offset, y, n) != n ||
            std::memcmp(x, y, n) != 0 || sa.HasMissing(a.blocks[k].offset, n))
            return false;
    }
    return true;
}

std::string KeyOf(const EmailRecord& r)
{
    std::string key = r.from;
    key += '\n';
    key += r.to;
    key += '\n';
    key += r.subject;
    key += '\n';
    key += std::to_string(r.date);
    key += r.isDeleted ? 'd' : 'l';
    return key;
}

} // namespace

MovedSearch FindMovedEmails(const std::string& path, const DbxFile& file, ICarveProgress& progress)
{
    MovedSearch result;
    Carver carver;
    if (!file.IsScanned() || !carver.Open(path))
        return result;
    const std::uint64_t size = file.Source().Size();
    if (carver.ImageSize() != size) {
        result.fileChanged = true;
        return result;
    }
    // Only a former file with a piece away from its own offsets can hold a
    // moved block; the rest is the file as the scan read it.
    carver.SetFileFilter([](const FormerFile& f) {
        return std::any_of(f.pieces.begin(), f.pieces.end(), [](const Piece& p) { return p.shift != 0; });
    });
    carver.SetKeepWhenStopped(false);
    carver.Run(progress);
    if (carver.Counts().stopped || progress.Stopped()) {
        result.stopped = true;
        return result;
    }

    // The scan's own e-mails by their fields: a moved e-mail with the same
    // fields is compared with them byte for byte.
    std::unordered_multimap<std::string, int> listed;
    for (int i = 0; i < file.ScanCount(); ++i)
        listed.emplace(KeyOf(*file.GetAt(i)), i);

    std::unordered_multimap<std::string, std::string> keptTexts;
    std::string text, other;
    for (const auto& carved : carver.Files()) {
        const DbxFile& former = carved->File();
        for (int i = 0; i < former.GetCount(); ++i) {
            if (progress.Stopped()) {
                result.stopped = true;
                result.records.clear();
                return result;
            }
            const EmailRecord& found = *former.GetAt(i);
            EmailRecord record = found;
            bool moved = false, placed = true;
            for (BlockRef& block : record.blocks)
                placed = PlaceBlock(carved->Pieces(), block, size, block.offset, moved) && placed;
            if (!moved)
                continue;  // where it names: the scan's to list
            if (!placed || !SameBytes(former.Source(), found, file.Source(), record)) {
                ++result.notPlaced;
                continue;
            }
            for (std::size_t b = 0; b + 1 < record.blocks.size(); ++b)
                record.blocks[b].nextOffset = record.blocks[b + 1].offset;
            record.moved = true;

            text.clear();
            former.ReadMessage(i, text);
            const std::string key = KeyOf(record);
            bool copy = false;
            for (auto [it, end] = listed.equal_range(key); it != end && !copy; ++it) {
                other.clear();
                copy = file.ReadMessage(it->second, other) && other == text;
            }
            for (auto [it, end] = keptTexts.equal_range(key); it != end && !copy; ++it)
                copy = it->second == text;
            if (copy) {
                ++result.copies;
                continue;
            }
            keptTexts.emplace(key, std::move(text));
            result.records.push_back(std::move(record));
        }
    }
    std::stable_sort(result.records.begin(), result.records.end(), [](const EmailRecord& a, const EmailRecord& b) {
        return a.blocks.front().offset < b.blocks.front().offset;
    });
    return result;
}

} // namespace dbx
