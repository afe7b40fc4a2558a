#pragma once
// The carver's one sequential pass over an image: every 4-aligned position
// whose 16 bytes pass the block header test (BlockRules.h), wherever the
// header's self offset says it belongs, and every sector that begins with
// the signature of a message file. Internal to the engine.

#include "dbx/BlockRules.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace dbx {

class ImageSource;

// A block header found at some position of the image, in 16 bytes.
struct Candidate {
    std::uint64_t packed = 0;  // position / 4 << 11 | deleted << 10 | data length
    std::uint32_t self = 0;
    std::uint32_t next = 0;

    static Candidate Make(std::uint64_t position, const BlockHeader& h, BlockKind kind)
    {
        return {(position / 4) << 11 | std::uint64_t{kind == BlockKind::kDeleted} << 10 | (h.dataLength & 0x3FF),
                h.self, h.next};
    }
    std::uint64_t Position() const { return (packed >> 11) * 4; }
    bool Deleted() const { return (packed >> 10) & 1; }
    std::uint32_t DataLength() const { return static_cast<std::uint32_t>(packed & 0x3FF); }
    // Where the header's file began in the image: position minus self offset.
    std::int64_t Shift() const { return static_cast<std::int64_t>(Position()) - self; }
};

// What the pass reports while it runs, and how it is told to stop.
class ICarveProgress {
public:
    virtual ~ICarveProgress() = default;
    // `done` of `total` bytes read; `blocks` block headers found in `files`
    // places that look like mail files so far.
    virtual void Reading(std::uint64_t done, std::uint64_t total, std::uint64_t blocks, std::uint64_t files)
    {
        (void)done, (void)total, (void)blocks, (void)files;
    }
    // Asked often: true ends the carve early; what was found so far is kept.
    virtual bool Stopped() { return false; }
};

struct PassResult {
    std::vector<Candidate> candidates;     // in position order
    std::vector<std::uint64_t> signatures; // positions of message-file signatures
    std::uint64_t bytesRead = 0;           // the whole image unless stopped
    bool stopped = false;
    std::uint64_t candidatesLeftOut = 0;   // beyond kMaxCandidates
};

// Reads the image once, in order. `observe`, when given, sees every byte
// once in order (for a digest of the image).
class IByteObserver {
public:
    virtual ~IByteObserver() = default;
    virtual void Bytes(const std::uint8_t* data, std::size_t n) = 0;
};
PassResult FindCandidates(ImageSource& image, ICarveProgress& progress, IByteObserver* observe = nullptr);

// Finds the candidates of bytes in memory (positions from `base` on); the
// pass and the tests share it. Appends to `out`, at most `room` of them,
// and returns how many more there were.
std::uint64_t FindCandidatesIn(const std::uint8_t* bytes, std::size_t n, std::uint64_t base,
                               std::vector<Candidate>& out, std::uint64_t room);

// Limits of the pass.
struct CarveLimits {
    // At most this many block headers are kept (16 bytes each, 512 MiB):
    // 17 GiB of mail blocks, more than the mail of any one person on a
    // disk; only an image crafted to hold headers everywhere gets there.
    // What it leaves out is counted.
    static constexpr std::uint64_t kMaxCandidates = 1ull << 25;
    // The pass reads the image in pieces of this size: large enough that a
    // disk streams, small enough to stay in the processor's caches.
    static constexpr std::size_t kPassChunk = 4u << 20;
};

} // namespace dbx
