#pragma once
// The block scan behind DbxFile::Scan: one pass over every 4-byte position
// collecting live and deleted block headers, then chain building over each
// list. Internal to the engine.
//
// A mapped file's work is shared among threads where it does not depend on
// order: the pass over disjoint pieces of the file, and the header of each
// chain. Which blocks each chain takes, and which records are kept, is
// decided in order on the calling thread, which alone reports progress.

#include "dbx/BlockRef.h"
#include "dbx/DbxFile.h"
#include "dbx/IProgressSink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {
class WorkerPool;
}

namespace dbx {

struct Stretch;

class Scanner {
public:
    Scanner(DbxFile& file, IProgressSink& progress, const ScanOptions& options);
    ~Scanner();

    // Runs the whole scan and appends the e-mails to the file's records.
    void Run();

    // Chain building beyond this many lookups per block of a list (plus a
    // fixed allowance) stops at blocks that a chain walked earlier took.
    // Chains are walked from the highest start down, so of chains that
    // overlap the longest is the one kept whole. No realistic file comes
    // near the bound; a hostile one would otherwise make the work and the
    // records grow with the square of its size.
    // The bound is also at most one lookup per kBytesPerStep bytes of the
    // file, so that the blocks the records list (16 bytes each) stay within
    // about the file's size however densely a hostile file packs its
    // headers. Real blocks lie 528 bytes apart and never reach that share.
    static constexpr std::uint64_t kStepsPerBlock = 16;
    static constexpr std::uint64_t kBytesPerStep = 32;
    static constexpr std::uint64_t kStepAllowance = 1u << 20;

    // A scan lists at most one e-mail per kBytesPerRecord bytes of file (plus
    // a fixed allowance) of each kind, existing and deleted. Every real e-mail
    // takes at least one 528-byte block, so only a file packed with fake
    // headers comes near it; without the cap its records would take several
    // times the file's size in memory. What the cap leaves out is counted
    // (DbxFile::OmittedChains).
    static constexpr std::uint64_t kBytesPerRecord = 256;
    static constexpr std::uint64_t kRecordAllowance = 4096;

    // The found blocks of one piece of the pass, or of all of it.
    struct Found {
        std::vector<BlockRef> live;
        std::vector<BlockRef> deleted;
    };

private:
    struct Chains;

    void ScanPass(std::uint64_t positions);
    void ScanShared(std::uint64_t positions);
    void ScanUnmapped(std::uint64_t positions);
    void AssembleMessages(const std::vector<BlockRef>& list, bool deleted);
    // Reads the headers of the round's chains on every thread, the calling
    // thread running `alongside` first, then keeps their records in walk
    // order; false when the record cap ends the list.
    bool ReadHeaders(Chains& round, const std::vector<BlockRef>& list, bool deleted, std::uint64_t maxRecords,
                     std::size_t firstRecord, const std::function<void()>* alongside);
    void ReportStep(std::int64_t first, std::int64_t last);
    // Runs job(slot) on the scan's threads (see platform::WorkerPool::Run).
    void Share(const std::function<void(unsigned)>& job);

    DbxFile& file_;
    IProgressSink& progress_;
    ScanOptions options_;
    const ByteSource& source_;
    std::string_view view_;  // the source's bytes when it is mapped
    platform::WorkerPool* pool_ = nullptr;  // nullptr: the calling thread alone
    std::unique_ptr<platform::WorkerPool> ownPool_;
    Found found_;
    std::int64_t step_ = 0;
};

} // namespace dbx
