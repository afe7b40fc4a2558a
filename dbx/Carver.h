#pragma once
// Recovers mail where a mail file's own layout no longer tells where its
// blocks are: from a disk image or a disk (the mail file deleted, the disk
// reformatted, the file in pieces), or from a mail file whose blocks were
// moved. One pass over the image finds every block header wherever it lies;
// the headers are grouped into the pieces of former mail files, the pieces
// joined into files, and each former file is then scanned like any mail
// file through a view of its pieces. The rules are in FORMAT.md.

#include "dbx/ByteSource.h"
#include "dbx/CarveCandidates.h"
#include "dbx/CarveLayout.h"
#include "dbx/DbxFile.h"
#include "dbx/PieceSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dbx {

// One former mail file found in an image: its pieces, and a DbxFile over them
// that lists, reads and saves its e-mails like those of any mail file.
class CarvedFile {
public:
    CarvedFile(std::shared_ptr<const ImageSource> image, FormerFile layout);

    const std::vector<Piece>& Pieces() const { return layout_.pieces; }
    // Where the file began in the image (as its lowest piece places it; may
    // lie before the image when the file's start is gone) and how far its
    // pieces reach in its offsets.
    std::int64_t Start() const { return layout_.pieces.front().shift; }
    std::uint64_t Extent() const { return layout_.pieces.back().to; }
    // Its first piece begins with a message file's signature.
    bool HasSignature() const { return layout_.signature; }
    std::uint64_t Blocks() const { return layout_.blocks; }

    DbxFile& File() { return file_; }
    const DbxFile& File() const { return file_; }

    // Where e-mail `index` of File() lies: the image position of its first
    // block, and the shifts of the pieces its blocks lie in (each once, in
    // chain order). Empty shifts for a bad index.
    struct Where {
        std::uint64_t firstBlock = 0;
        std::vector<std::int64_t> shifts;
    };
    Where Locate(int index) const;
    // The image position of an offset of the file; false when no piece
    // holds it.
    bool PositionOf(std::uint64_t offset, std::uint64_t& position) const;

private:
    FormerFile layout_;
    const PieceSource* view_ = nullptr;  // owned by file_
    DbxFile file_;
};

struct CarveCounts {
    std::uint64_t imageSize = 0;
    std::uint64_t bytesRead = 0;
    bool stopped = false;               // stopped before the end of the image
    std::uint32_t sectorSize = 512;
    std::uint64_t unreadableSectors = 0;
    std::uint64_t headers = 0;          // block headers found
    std::uint64_t headersLeftOut = 0;   // beyond CarveLimits::kMaxCandidates
    LayoutCounts layout;
    std::uint64_t filesLeftOut = 0;     // former files beyond the scan budget
    std::uint64_t filesWithoutMail = 0; // pieces whose blocks give no e-mail
    std::uint64_t chainsLeftOut = 0;    // chains the scans' own caps left out
};

class Carver {
public:
    Carver();
    ~Carver();
    Carver(const Carver&) = delete;
    Carver& operator=(const Carver&) = delete;

    // Opens an image, a disk or a mail file read-only. False when it cannot
    // be; OpenError() says why.
    bool Open(const std::string& path);
    platform::ImageFile::OpenError OpenError() const;
    int OpenErrno() const;
    std::uint64_t ImageSize() const;
    bool IsDevice() const;

    // Carves the image: finds the former mail files and scans each. Stopped
    // early (progress.Stopped()), it keeps what was found so far. `observe`,
    // when given, sees every byte of the image once, in order.
    void Run(ICarveProgress& progress, IByteObserver* observe = nullptr);

    // The former mail files that hold e-mail, in the order of their first
    // piece's position in the image: the same for the same image.
    const std::vector<std::unique_ptr<CarvedFile>>& Files() const { return files_; }
    const CarveCounts& Counts() const { return counts_; }

    // Former files are scanned, the largest first, until their pieces add up
    // to this much beyond the image's own size: a crafted image could
    // otherwise make views of the same bytes many times over.
    static constexpr std::uint64_t kViewAllowance = 64u << 20;

    // Which former files Run scans and lists (every one unless set): a
    // caller that wants only some saves the scans of the others.
    void SetFileFilter(std::function<bool(const FormerFile&)> wanted) { wanted_ = std::move(wanted); }
    // Stopped while reading, Run lists what it read (the default); without,
    // it then ends at once and lists nothing.
    void SetKeepWhenStopped(bool keep) { keepWhenStopped_ = keep; }

    // Test seam: reads of the image touching a sector for which `failing`
    // answers true fail as a bad sector does (call after Open).
    void FailSectorsForTesting(std::function<bool(std::uint64_t sector)> failing);

private:
    std::shared_ptr<ImageSource> image_;
    std::vector<std::unique_ptr<CarvedFile>> files_;
    CarveCounts counts_;
    std::function<bool(const FormerFile&)> wanted_;
    bool keepWhenStopped_ = true;
};

} // namespace dbx
