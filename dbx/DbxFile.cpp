#include "dbx/DbxFile.h"

#include "dbx/DbxFormat.h"
#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace dbx {

namespace {

// The payload bytes of a block that lie inside the file.
std::size_t AvailablePayload(const ByteSource& source, const BlockRef& block)
{
    const std::uint64_t size = source.Size();
    const std::uint64_t start = std::uint64_t{block.offset} + format::kHeaderSize;
    if (start >= size)
        return 0;
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(std::min(block.dataLength, format::kPayloadSize), size - start));
}

// Calls sink(bytes, n) with each block's text in chain order, as it is
// written out: deleted blocks with spaces over their first four bytes.
// Returns false when the file shrank and the rest could not be read.
template <class Sink>
bool ForEachBlockText(const ByteSource& source, const EmailRecord& record, Sink&& sink)
{
    std::array<char, format::kPayloadSize> buffer;
    for (const BlockRef& block : record.blocks) {
        const std::size_t n = AvailablePayload(source, block);
        if (n > 0 && source.Read(std::uint64_t{block.offset} + format::kHeaderSize, buffer.data(), n) != n)
            return false;
        if (record.isDeleted)
            std::memset(buffer.data(), ' ', std::min(n, format::kDeletedClobberedBytes));
        if (!sink(buffer.data(), n))
            return false;
    }
    return true;
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
    records_.clear();
    records_.shrink_to_fit();
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
    // The same block lengths as ForEachBlockText, so the ranges fit the text.
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
    out.reserve(out.size() + MessageSize(index));
    const bool read = ForEachBlockText(Source(), *record, [&](const char* bytes, std::size_t n) {
        out.append(bytes, n);
        return true;
    });
    return read && StillHolds(*record);
}

bool DbxFile::StillHolds(const EmailRecord& record) const
{
    // Asked after the read: a file cut before or during it shows here, also
    // where the cut left zeros in the last page instead of a fault.
    return PayloadEnd(Source(), record) <= Source().ReadableSize();
}

DbxFile::WriteResult DbxFile::WriteMessage(int index, const std::string& path) const
{
    const EmailRecord* record = GetAt(index);
    if (!record || !IsOpen())
        return WriteResult::kNotCreated;
    platform::ExclusiveFile out;
    if (!out.Create(path))
        return WriteResult::kNotCreated;  // something is there already, or the folder is not writable
    bool writeFailed = false;
    // A file that shrank while it is read still gives what could be read:
    // a message cut short is what this program recovers all the time, so the
    // file is kept, and the caller learns that it is incomplete.
    const bool read = ForEachBlockText(Source(), *record, [&](const char* bytes, std::size_t n) {
        writeFailed = !out.Write(bytes, n);
        return !writeFailed;
    });
    const bool whole = read && StillHolds(*record);
    if (writeFailed) {
        out.Discard();
        return WriteResult::kNotCreated;
    }
    if (!out.Commit())
        return WriteResult::kNotCreated;
    return whole ? WriteResult::kWhole : WriteResult::kCutShort;
}

} // namespace dbx
