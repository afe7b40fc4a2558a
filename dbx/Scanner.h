#pragma once
// The block scan behind DbxFile::Scan: one pass over every 4-byte position
// collecting live and deleted block headers, then chain building over each
// list. Internal to the engine.

#include "dbx/BlockRef.h"
#include "dbx/DbxFile.h"
#include "dbx/IProgressSink.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace dbx {

struct Stretch;

class Scanner {
public:
    Scanner(DbxFile& file, IProgressSink& progress);
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

private:
    void ScanPass(std::uint64_t positions);
    void ScanUnmapped(std::uint64_t positions);
    bool ScanGuarded(std::uint64_t from, std::uint64_t to, std::uint64_t& reached);
    void AssembleMessages(const std::vector<BlockRef>& list, bool deleted);
    void ReportStep(std::int64_t first, std::int64_t last);

    DbxFile& file_;
    IProgressSink& progress_;
    const ByteSource& source_;
    std::string_view view_;  // the source's bytes when it is mapped
    std::vector<BlockRef> live_;
    std::vector<BlockRef> deleted_;
    std::int64_t step_ = 0;
    std::unique_ptr<Stretch> stretch_;
};

} // namespace dbx
