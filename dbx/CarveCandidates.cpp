#include "dbx/CarveCandidates.h"

#include "dbx/ByteSource.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace dbx {

namespace {

using format::LoadU32;

// The 20 bytes a message file begins with: the magic and the class id of a
// message database (a folder list has 0xC6 in its fifth byte).
constexpr std::array<std::uint8_t, 20> kSignature = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3,
                                                     0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
constexpr std::uint64_t kSector = 512;

// Bytes a position needs past itself: a header, or a signature.
constexpr std::size_t kNeed = 20;
constexpr std::uint64_t kSweep = 16;  // positions tested together

// A shift counts as a likely mail file in the progress once it holds this
// many headers.
constexpr std::uint32_t kLikelyFileBlocks = 4;

} // namespace

std::uint64_t FindCandidatesIn(const std::uint8_t* bytes, std::size_t n, std::uint64_t base,
                               std::vector<Candidate>& out, std::uint64_t room)
{
    std::uint64_t over = 0;
    if (n < format::kHeaderSize)
        return 0;
    const std::size_t positions = (n - format::kHeaderSize) / 4 + 1;
    // The block size word is the sieve: only two of its 2^32 values pass,
    // and 16 positions are tested with one vector compare.
    for (std::size_t i = 0; i < positions;) {
        if (positions - i >= kSweep) {
            const std::uint8_t* p = bytes + 4 * i + format::kBlockSizeAt;
            std::uint32_t any = 0;
            for (std::size_t k = 0; k < kSweep; ++k) {
                const std::uint32_t w = LoadU32(p + 4 * k);
                any |= static_cast<std::uint32_t>(w == format::kLiveBlockSize)
                       | static_cast<std::uint32_t>(w == format::kDeletedBlockSize);
            }
            if (!any) {
                i += kSweep;
                continue;
            }
        }
        const std::size_t stop = std::min(positions, i + kSweep);
        for (; i < stop; ++i) {
            const BlockHeader h = LoadBlockHeader(bytes + 4 * i);
            const BlockKind kind = KindOf(h.blockSize, h.dataLength);
            // Headers sit at 4-aligned offsets of their file.
            if (kind == BlockKind::kNone || h.self % 4 != 0)
                continue;
            if (out.size() < room)
                out.push_back(Candidate::Make(base + 4 * i, h, kind));
            else
                ++over;
        }
    }
    return over;
}

PassResult FindCandidates(ImageSource& image, ICarveProgress& progress, IByteObserver* observe)
{
    PassResult result;
    platform::ImageFile& file = image.File();
    const std::uint64_t size = file.Size();
    const std::size_t chunk = CarveLimits::kPassChunk;
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(chunk + 64);
    std::unordered_map<std::int64_t, std::uint32_t> perShift;
    std::uint64_t likelyFiles = 0;

    // buffer[0, carried) holds the last bytes of the chunk before, whose
    // positions still need bytes of this one.
    std::size_t carried = 0;
    std::uint64_t bufferAt = 0;  // image position of buffer[0]
    std::uint64_t read = 0;
    auto lastReport = std::chrono::steady_clock::now();
    progress.Reading(0, size, 0, 0);
    while (read < size) {
        if (progress.Stopped()) {
            result.stopped = true;
            break;
        }
        const std::size_t got = file.ReadSequential(read, buffer.get() + carried, chunk);
        if (got == 0)
            break;
        if (observe)
            observe->Bytes(buffer.get() + carried, got);
        read += got;
        const std::size_t have = carried + got;
        const bool last = read >= size;
        // Positions examined now: those whose header and signature room lie
        // in the buffer, or at the end of the image all that have a header's.
        const std::size_t examined = last ? have : have - (kNeed - format::kHeaderSize);
        const std::size_t first = result.candidates.size();
        result.candidatesLeftOut += FindCandidatesIn(buffer.get(), examined, bufferAt, result.candidates,
                                                     CarveLimits::kMaxCandidates);
        for (std::size_t c = first; c < result.candidates.size(); ++c)
            if (++perShift[result.candidates[c].Shift()] == kLikelyFileBlocks)
                ++likelyFiles;
        // The first position not examined yet; the bytes from there on are
        // carried to the front of the buffer.
        const std::size_t next = last ? have : (examined - format::kHeaderSize) / 4 * 4 + 4;
        // Signatures at sector starts: a file on a disk begins at one.
        for (std::uint64_t s = (bufferAt + kSector - 1) / kSector * kSector;
             s - bufferAt < next && s - bufferAt + kSignature.size() <= have; s += kSector)
            if (std::memcmp(buffer.get() + (s - bufferAt), kSignature.data(), kSignature.size()) == 0)
                result.signatures.push_back(s);
        carried = have - next;
        std::memmove(buffer.get(), buffer.get() + next, carried);
        bufferAt += next;

        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport > std::chrono::milliseconds(200) || last) {
            lastReport = now;
            progress.Reading(read, size, result.candidates.size() + result.candidatesLeftOut, likelyFiles);
        }
    }
    result.bytesRead = read;
    return result;
}

} // namespace dbx
