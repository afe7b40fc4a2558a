// The carver on arbitrary image bytes: find block headers anywhere, group
// them into pieces, join pieces into former mail files and scan each. Beyond
// "no crash, no hang": every former file's pieces lie in the image, ascend
// and never overlap; every listed e-mail is made of real headers read
// through its file's pieces, linked one to the next, and reads back whole;
// a second carve of the same bytes gives the same files and e-mails. The
// first input byte, when odd, makes one sector unreadable. Read as a mail
// file, its e-mails in moved blocks lie in it, read back whole and follow
// the scan's records without changing them.

#include "FuzzCheck.h"
#include "FuzzScratch.h"

#include "dbx/Carver.h"
#include "dbx/DbxFormat.h"
#include "dbx/MovedEmails.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::uint32_t U32(const std::uint8_t* data, std::uint64_t at)
{
    return dbx::format::LoadU32(data + at);
}

// What a carve found, for comparing two carves.
std::string Summary(const dbx::Carver& carver)
{
    std::string s;
    for (const auto& file : carver.Files()) {
        for (const dbx::Piece& p : file->Pieces())
            s += std::to_string(p.from) + "-" + std::to_string(p.to) + "@" + std::to_string(p.shift) + " ";
        for (const dbx::EmailRecord& r : file->File().Records())
            s += r.subject + "|" + std::to_string(r.blocks.size()) + ";";
        s += "\n";
    }
    return s;
}

void CheckFile(const dbx::CarvedFile& carved, const std::uint8_t* data, std::size_t size)
{
    const auto& pieces = carved.Pieces();
    FUZZ_CHECK(!pieces.empty());
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const dbx::Piece& p = pieces[k];
        FUZZ_CHECK(p.from < p.to);
        FUZZ_CHECK(p.shift + static_cast<std::int64_t>(p.from) >= 0);
        FUZZ_CHECK(static_cast<std::uint64_t>(p.shift + static_cast<std::int64_t>(p.to)) <= size);
        if (k > 0)
            FUZZ_CHECK(pieces[k - 1].to <= p.from);
    }
    const dbx::DbxFile& file = carved.File();
    FUZZ_CHECK(file.GetCount() > 0);
    for (int i = 0; i < file.GetCount(); ++i) {
        const dbx::EmailRecord& r = *file.GetAt(i);
        FUZZ_CHECK(!r.blocks.empty());
        for (std::size_t b = 0; b < r.blocks.size(); ++b) {
            const dbx::BlockRef& block = r.blocks[b];
            if (b > 0)
                FUZZ_CHECK(r.blocks[b - 1].nextOffset == block.offset);
            // A block whose header lies whole in one piece reads there as
            // the header it is.
            std::uint64_t position = 0, last = 0;
            if (carved.PositionOf(block.offset, position) && carved.PositionOf(block.offset + 15, last)
                && last == position + 15) {
                FUZZ_CHECK(U32(data, position) == block.offset);
                FUZZ_CHECK(U32(data, position + 12) == block.nextOffset);
            }
        }
        const dbx::CarvedFile::Where where = carved.Locate(i);
        FUZZ_CHECK(!where.shifts.empty());
        FUZZ_CHECK(where.firstBlock + 16 <= size);
        std::string text;
        FUZZ_CHECK(file.ReadMessage(i, text));
        FUZZ_CHECK(text.size() == file.MessageSize(i));
    }
}

// The bytes as a mail file: what its moved blocks add.
void CheckMoved(const std::string& path, std::size_t size)
{
    dbx::DbxFile file;
    if (!file.Open(path))
        return;
    dbx::NullProgressSink quiet;
    file.Scan(quiet);
    const std::vector<dbx::EmailRecord> scanned = file.Records();
    dbx::ICarveProgress going;
    dbx::MovedSearch search = dbx::FindMovedEmails(path, file, going);
    FUZZ_CHECK(!search.stopped && !search.fileChanged);
    const std::size_t found = search.records.size();
    for (const dbx::EmailRecord& r : search.records) {
        FUZZ_CHECK(r.moved && !r.blocks.empty());
        for (const dbx::BlockRef& b : r.blocks)
            FUZZ_CHECK(std::uint64_t{b.offset} + 16 + std::min<std::uint32_t>(b.dataLength, 512) <= size);
    }
    file.AddMovedRecords(std::move(search.records));
    FUZZ_CHECK(file.GetCount() == static_cast<int>(scanned.size() + found));
    FUZZ_CHECK(file.ScanCount() == static_cast<int>(scanned.size()));
    for (std::size_t i = 0; i < scanned.size(); ++i)
        FUZZ_CHECK(*file.GetAt(static_cast<int>(i)) == scanned[i]);
    for (int i = file.ScanCount(); i < file.GetCount(); ++i) {
        std::string text;
        FUZZ_CHECK(file.ReadMessage(i, text));
        FUZZ_CHECK(text.size() == file.MessageSize(i));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static FuzzScratch scratch;
    const std::string path = scratch.File("image.img");
    std::filesystem::remove(path);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        FUZZ_CHECK(out.flush());
    }
    const bool badSector = size >= 2 && (data[0] & 1);
    const std::uint64_t bad = badSector ? data[1] % (size / 512 + 1) : 0;

    std::string first;
    for (int round = 0; round < 2; ++round) {
        dbx::Carver carver;
        if (!carver.Open(path)) {
            FUZZ_CHECK(size == 0);
            return 0;
        }
        if (badSector)
            carver.FailSectorsForTesting([bad](std::uint64_t sector) { return sector == bad; });
        dbx::ICarveProgress quiet;
        carver.Run(quiet);
        FUZZ_CHECK(carver.Counts().bytesRead == size);
        FUZZ_CHECK(carver.Counts().unreadableSectors <= 1);
        std::uint64_t lastStart = 0;
        for (std::size_t f = 0; f < carver.Files().size(); ++f) {
            const dbx::CarvedFile& carved = *carver.Files()[f];
            const dbx::Piece& p = carved.Pieces().front();
            const std::uint64_t start = p.Position(p.from);
            if (f > 0)
                FUZZ_CHECK(lastStart < start);  // in image order
            lastStart = start;
            // With a bad sector the zeros read for it are not the input's bytes.
            if (!badSector)
                CheckFile(carved, data, size);
        }
        const std::string summary = Summary(carver);
        if (round == 0)
            first = summary;
        else
            FUZZ_CHECK(summary == first);
    }
    if (!badSector)
        CheckMoved(path, size);
    return 0;
}
