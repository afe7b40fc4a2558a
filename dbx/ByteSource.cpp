#include "dbx/ByteSource.h"

#include "platform/GuardedRead.h"

#include <algorithm>
#include <cstring>

namespace dbx {

namespace {

// Copies what can be read of [pos, pos + n) of mapped memory; after a fault
// (the file was cut) the readable part is found a page at a time.
std::size_t GuardedRead(const std::uint8_t* base, std::uint64_t size, std::uint64_t pos, void* out, std::size_t n)
{
    if (!base || pos >= size)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - pos));
    const auto region = static_cast<std::size_t>(size);
    if (platform::GuardedCopy(out, base + pos, n, base, region))
        return n;
    constexpr std::size_t kPage = 4096;
    std::size_t done = 0;
    while (done < n) {
        const std::size_t step = std::min(n - done, kPage - (pos + done) % kPage);
        if (!platform::GuardedCopy(static_cast<char*>(out) + done, base + pos + done, step, base, region))
            break;
        done += step;
    }
    return done;
}

} // namespace

std::size_t MappedSource::Read(std::uint64_t pos, void* out, std::size_t n) const
{
    return GuardedRead(file_.Data(), file_.Size(), pos, out, n);
}

std::size_t ViewSource::Read(std::uint64_t pos, void* out, std::size_t n) const
{
    return GuardedRead(Mapped(), bytes_.size(), pos, out, n);
}

ImageSource::ImageSource() = default;
ImageSource::~ImageSource() = default;

bool ImageSource::Open(const std::string& path)
{
    const std::lock_guard hold(lock_);
    cache_.clear();
    return file_.Open(path);
}

const ImageSource::Chunk& ImageSource::Fetch(std::uint64_t index) const
{
    ++clock_;
    Chunk* victim = nullptr;
    for (Chunk& chunk : cache_) {
        if (chunk.index == index) {
            chunk.lastUse = clock_;
            return chunk;
        }
        if (!victim || chunk.lastUse < victim->lastUse)
            victim = &chunk;
    }
    if (cache_.size() < kCacheChunks) {
        cache_.emplace_back();
        victim = &cache_.back();
        victim->bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize);
    }
    victim->index = index;
    victim->lastUse = clock_;
    victim->length = file_.ReadAt(index * kChunkSize, victim->bytes.get(), kChunkSize);
    return *victim;
}

bool ImageSource::HasMissing(std::uint64_t pos, std::uint64_t n) const
{
    const std::lock_guard hold(lock_);
    return file_.HasUnreadable(pos, n);
}

std::size_t ImageSource::Read(std::uint64_t pos, void* out, std::size_t n) const
{
    const std::lock_guard hold(lock_);
    if (pos >= Size())
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, Size() - pos));
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < n) {
        const std::uint64_t at = pos + done;
        const Chunk& chunk = Fetch(at / kChunkSize);
        const auto offset = static_cast<std::size_t>(at % kChunkSize);
        if (offset >= chunk.length)
            break;
        const std::size_t take = std::min(n - done, chunk.length - offset);
        std::memcpy(bytes + done, chunk.bytes.get() + offset, take);
        done += take;
    }
    return done;
}

} // namespace dbx
