#include "dbx/Carver.h"

#include "dbx/HeaderFields.h"

#include <algorithm>
#include <numeric>

namespace dbx {

CarvedFile::CarvedFile(std::shared_ptr<const ImageSource> image, FormerFile layout) : layout_(std::move(layout))
{
    auto view = std::make_unique<PieceSource>(std::move(image), layout_.pieces);
    view_ = view.get();
    file_.Open(std::move(view));
}

bool CarvedFile::PositionOf(std::uint64_t offset, std::uint64_t& position) const
{
    const Piece* piece = view_ ? view_->PieceAt(offset) : nullptr;
    if (!piece)
        return false;
    position = static_cast<std::uint64_t>(static_cast<std::int64_t>(offset) + piece->shift);
    return true;
}

CarvedFile::Where CarvedFile::Locate(int index) const
{
    Where where;
    const EmailRecord* record = file_.GetAt(index);
    if (!record)
        return where;
    PositionOf(record->blocks.front().offset, where.firstBlock);
    for (const BlockRef& block : record->blocks) {
        const Piece* piece = view_->PieceAt(block.offset);
        if (piece && std::find(where.shifts.begin(), where.shifts.end(), piece->shift) == where.shifts.end())
            where.shifts.push_back(piece->shift);
    }
    return where;
}

Carver::Carver() = default;
Carver::~Carver() = default;

bool Carver::Open(const std::string& path)
{
    files_.clear();
    counts_ = {};
    image_ = std::make_shared<ImageSource>();
    if (!image_->Open(path))
        return false;
    counts_.imageSize = image_->Size();
    counts_.sectorSize = image_->File().SectorSize();
    return true;
}

platform::ImageFile::OpenError Carver::OpenError() const
{
    return image_ ? image_->File().LastOpenError() : platform::ImageFile::OpenError::kOther;
}

int Carver::OpenErrno() const
{
    return image_ ? image_->File().OpenErrno() : 0;
}

std::uint64_t Carver::ImageSize() const
{
    return image_ ? image_->Size() : 0;
}

void Carver::FailSectorsForTesting(std::function<bool(std::uint64_t sector)> failing)
{
    if (image_)
        image_->File().FailSectorsForTesting(std::move(failing));
}

bool Carver::IsDevice() const
{
    return image_ && image_->File().IsDevice();
}

void Carver::Run(ICarveProgress& progress, IByteObserver* observe)
{
    files_.clear();
    if (!image_ || image_->Size() == 0)
        return;
    PassResult pass = FindCandidates(*image_, progress, observe);
    counts_.bytesRead = pass.bytesRead;
    counts_.stopped = pass.stopped;
    counts_.headers = pass.candidates.size();
    counts_.headersLeftOut = pass.candidatesLeftOut;
    if (pass.stopped && !keepWhenStopped_)
        return;

    Layout layout = PlanLayout(pass.candidates, pass.signatures, *image_);
    std::vector<Candidate>().swap(pass.candidates);
    counts_.layout = layout.counts;

    // The largest files first, while the budget lasts; then in image order.
    std::vector<std::size_t> order(layout.files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return layout.files[a].blocks > layout.files[b].blocks; });
    std::uint64_t budget = image_->Size() + kViewAllowance;
    std::vector<std::unique_ptr<CarvedFile>> carved(layout.files.size());
    for (const std::size_t k : order) {
        if (wanted_ && !wanted_(layout.files[k]))
            continue;
        std::uint64_t bytes = 0;
        for (const Piece& piece : layout.files[k].pieces)
            bytes += piece.to - piece.from;
        // Stopped while reading, it still lists what it read; stopped later,
        // it lists the files scanned so far.
        if (bytes > budget || (!counts_.stopped && progress.Stopped())) {
            ++counts_.filesLeftOut;
            continue;
        }
        budget -= bytes;
        auto file = std::make_unique<CarvedFile>(image_, std::move(layout.files[k]));
        NullProgressSink quiet;
        file->File().Scan(quiet);
        counts_.chainsLeftOut += file->File().OmittedChains();
        if (file->File().GetCount() == 0) {
            ++counts_.filesWithoutMail;
            continue;
        }
        carved[k] = std::move(file);
    }
    ReleaseExtractBuffers();
    for (auto& file : carved)
        if (file)
            files_.push_back(std::move(file));
    counts_.unreadableSectors = image_->File().UnreadableSectors().size();
}

} // namespace dbx
