#include "dbx/DbxFile.h"

#include "dbx/DbxFormat.h"
#include "platform/Files.h"
#include "platform/GuardedRead.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>

namespace dbx {

namespace {

// The payload bytes of a block that lie inside the file.
std::size_t AvailablePayload(std::uint64_t size, const BlockRef& block)
{
    const std::uint64_t start = std::uint64_t{block.offset} + format::kHeaderSize;
    if (start >= size)
        return 0;
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(std::min(block.dataLength, format::kPayloadSize), size - start));
}

std::size_t AvailablePayload(const ByteSource& source, const BlockRef& block)
{
    return AvailablePayload(source.Size(), block);
}

// How much of an e-mail's text is gathered for one write: all of a real
// e-mail, while a chain of millions of blocks in a hostile file still
// costs a bounded buffer (and one write per MiB).
constexpr std::size_t kGatherBytes = std::size_t{1} << 20;

// How far GatherText got.
struct Gathered {
    std::size_t blocks = 0;  // blocks copied whole
    std::size_t bytes = 0;   // their bytes
    bool faulted = false;    // the file shrank under the next block's read
};

// Copies the text of the record's blocks, from block `first` on and as long
// as whole blocks fit in `room` bytes, to `dst` as it is written out:
// deleted blocks with spaces over their first four bytes. One guarded run
// for all of them, so a block costs a copy, not a system call.
Gathered GatherMapped(std::string_view view, const EmailRecord& record, std::size_t first, char* dst,
                      std::size_t room)
{
    struct Run {
        std::string_view view;
        const EmailRecord* record;
        std::size_t first;
        char* dst;
        std::size_t room;
        // Counted as each block is done, so the count survives the jump out
        // of a faulting read: an atomic, which no optimiser keeps in a
        // register, with a fence that keeps it before the next block's read.
        std::atomic<std::size_t> blocksDone{0};
    } run{view, &record, first, dst, room};
    const bool read = platform::RunGuarded(view.data(), view.size(), [](void* context) {
        auto& r = *static_cast<Run*>(context);
        std::size_t at = 0;
        for (std::size_t b = r.first; b < r.record->blocks.size(); ++b) {
            const BlockRef& block = r.record->blocks[b];
            const std::size_t n = AvailablePayload(r.view.size(), block);
            if (at + n > r.room)
                break;
            std::memcpy(r.dst + at, r.view.data() + block.offset + format::kHeaderSize, n);
            if (r.record->isDeleted)
                std::memset(r.dst + at, ' ', std::min(n, format::kDeletedClobberedBytes));
            at += n;
            r.blocksDone.store(b + 1 - r.first, std::memory_order_relaxed);
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
    }, &run);
    Gathered gathered;
    gathered.blocks = run.blocksDone.load(std::memory_order_relaxed);
    gathered.faulted = !read;
    for (std::size_t b = first; b < first + gathered.blocks; ++b)
        gathered.bytes += AvailablePayload(view.size(), record.blocks[b]);
    return gathered;
}

// The same for a source that is not mapped: a read per block, where a short
// read is the file shrinking.
Gathered GatherText(const ByteSource& source, const EmailRecord& record, std::size_t first, char* dst,
                    std::size_t room)
{
    if (const std::uint8_t* mapped = source.Mapped())
        return GatherMapped({reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(source.Size())}, record,
                            first, dst, room);
    Gathered gathered;
    for (std::size_t b = first; b < record.blocks.size(); ++b) {
        const BlockRef& block = record.blocks[b];
        const std::size_t n = AvailablePayload(source, block);
        if (gathered.bytes + n > room)
            break;
        if (source.Read(std::uint64_t{block.offset} + format::kHeaderSize, dst + gathered.bytes, n) != n) {
            gathered.faulted = true;
            break;
        }
        if (record.isDeleted)
            std::memset(dst + gathered.bytes, ' ', std::min(n, format::kDeletedClobberedBytes));
        gathered.bytes += n;
        ++gathered.blocks;
    }
    return gathered;
}

// Where the last payload byte of the record's blocks ends in the file.
std::uint64_t PayloadEnd(const ByteSource& source, const EmailRecord& record)
{
    std::uint64_t end = 0;
    for (const BlockRef& block : record.blocks) {
        const std::size_t n = AvailablePayload(source, block);
        if (n > 0)
            end = std::max<std::uint64_t>(end, std::uint64_t{block.offset} + format::kHeaderSize + n);
    }
    return end;
}

// How much of the record's text, as GatherText lays it out, still lies in
// the file: up to the first block that now ends past the file's end. A
// mapped file cut inside a page reads as zeros there instead of faulting,
// and those zeros were never part of the e-mail.
std::size_t TextStillInFile(const ByteSource& source, const EmailRecord& record)
{
    const std::uint64_t readable = source.ReadableSize();
    std::size_t at = 0;
    for (const BlockRef& block : record.blocks) {
        const std::uint64_t start = std::uint64_t{block.offset} + format::kHeaderSize;
        const std::size_t n = AvailablePayload(source, block);
        if (start + n > readable) {
            at += static_cast<std::size_t>(readable > start ? readable - start : 0);
            break;
        }
        at += n;
    }
    return at;
}

const ViewSource kNothing{std::string_view()};

} // namespace

DbxFile::~DbxFile()
{
    Close();
}

bool DbxFile::Open(const std::string& path)
{
    auto mapped = std::make_unique<MappedSource>();
    if (!mapped->Open(path)) {
        Close();
        return false;
    }
    return Open(std::move(mapped));
}

bool DbxFile::Open(std::unique_ptr<ByteSource> source)
{
    Close();
    if (!source || source->Size() == 0)
        return false;
    source_ = std::move(source);
    return true;
}

void DbxFile::Close()
{
    source_.reset();
    scanned_ = false;
    omittedChains_ = 0;
    cutWhileScanned_ = false;
    scanCount_ = -1;
    records_.clear();
    records_.shrink_to_fit();
}

void DbxFile::AddMovedRecords(std::vector<EmailRecord> records)
{
    if (!scanned_ || records.empty())
        return;
    if (scanCount_ < 0)
        scanCount_ = GetCount();
    records_.insert(records_.end(), std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
}

const EmailRecord* DbxFile::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return &records_[static_cast<std::size_t>(index)];
}

std::string_view DbxFile::View() const
{
    if (!source_ || !source_->Mapped())
        return {};
    return {reinterpret_cast<const char*>(source_->Mapped()), static_cast<std::size_t>(source_->Size())};
}

const ByteSource& DbxFile::Source() const
{
    if (source_)
        return *source_;
    return kNothing;
}

std::uint64_t DbxFile::MessageSize(int index) const
{
    const EmailRecord* record = GetAt(index);
    if (!record)
        return 0;
    std::uint64_t total = 0;
    for (const BlockRef& block : record->blocks)
        total += AvailablePayload(Source(), block);
    return total;
}

TextDamage DbxFile::Damage(int index) const
{
    const EmailRecord* record = GetAt(index);
    TextDamage damage;
    if (!record || !record->isDeleted)
        return damage;
    // The same block lengths as GatherText, so the ranges fit the text.
    std::size_t at = 0;
    for (const BlockRef& block : record->blocks) {
        const std::size_t n = AvailablePayload(Source(), block);
        if (n > 0)
            damage.overwritten.push_back({at, std::min(n, format::kDeletedClobberedBytes)});
        at += n;
    }
    damage.paddedEnd = true;
    return damage;
}

bool DbxFile::ReadMessage(int index, std::string& out) const
{
    const EmailRecord* record = GetAt(index);
    if (!record || !IsOpen())
        return false;
    const std::size_t start = out.size();
    const std::uint64_t size = MessageSize(index);
    if (size > out.max_size() - start)
        return false;
    out.resize(start + static_cast<std::size_t>(size));
    const Gathered gathered = GatherText(Source(), *record, 0, out.data() + start, static_cast<std::size_t>(size));
    if (!gathered.faulted && StillHolds(*record)) {
        out.resize(start + gathered.bytes);
        return true;
    }
    out.resize(start + std::min(gathered.bytes, TextStillInFile(Source(), *record)));
    return false;
}

bool DbxFile::StillHolds(const EmailRecord& record) const
{
    // Asked after the read: a file cut before or during it shows here, also
    // where the cut left zeros in the last page instead of a fault.
    const std::uint64_t end = PayloadEnd(Source(), record);
    // Past its end a mapped file reads as zeros to the end of the page, then
    // faults: a byte other than zero at the record's end, read now, shows
    // that the file still reaches it, without asking the system.
    const std::string_view view = View();
    char last = 0;
    if (end > 0 && !view.empty() && platform::GuardedCopy(&last, view.data() + end - 1, 1, view.data(), view.size())
        && last != 0)
        return true;
    return end <= Source().ReadableSize();
}

DbxFile::WriteResult DbxFile::WriteMessage(int index, const std::string& path, std::uint64_t modifiedUtc,
                                           bool* dated) const
{
    if (dated)
        *dated = false;
    const EmailRecord* record = GetAt(index);
    if (!record || !IsOpen())
        return WriteResult::kNotCreated;
    platform::ExclusiveFile out;
    if (!out.Create(path))
        return WriteResult::kNotCreated;  // something is there already, or the folder is not writable
    // One buffer per thread, kept between e-mails: the desktop program
    // writes on a worker thread while the preview writes on its own.
    thread_local std::vector<char> buffer;
    const std::size_t room = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(MessageSize(index), format::kPayloadSize, kGatherBytes));
    if (buffer.size() < room)
        buffer.resize(room);
    // A file that shrank while it is read still gives what could be read:
    // a message cut short is what this program recovers all the time, so the
    // file is kept, and the caller learns that it is incomplete.
    bool read = true;
    std::uint64_t written = 0;
    for (std::size_t block = 0; block < record->blocks.size();) {
        const Gathered gathered = GatherText(Source(), *record, block, buffer.data(), room);
        if (gathered.bytes > 0 && !out.Write(buffer.data(), gathered.bytes)) {
            out.Discard();
            return WriteResult::kNotCreated;
        }
        written += gathered.bytes;
        block += gathered.blocks;
        if (gathered.faulted) {
            read = false;
            break;
        }
    }
    const bool whole = read && StillHolds(*record);
    if (!whole) {
        const std::uint64_t kept = std::min<std::uint64_t>(written, TextStillInFile(Source(), *record));
        if (kept < written && !out.CutBack(kept)) {
            out.Discard();
            return WriteResult::kNotCreated;
        }
    }
    // Set through the open file, after the last write: no second lookup of
    // the path, and no write left to move the time again.
    const bool timeSet = modifiedUtc != 0 && out.SetModifiedTime(modifiedUtc);
    if (!out.Commit())
        return WriteResult::kNotCreated;
    if (dated)
        *dated = timeSet;
    return whole ? WriteResult::kWhole : WriteResult::kCutShort;
}

} // namespace dbx
