#pragma once
// Where the engine reads bytes from, by 64-bit position: a mail file mapped
// into memory, a disk image or a disk read in large pieces, or the view of a
// former mail file put together from pieces of an image. The scan, the text
// of an e-mail and Save all read through it.
//
// Several threads may read one source at once (a list shows an e-mail of a
// disk image while another e-mail of it is saved): the image reader locks
// its cache.

#include "platform/ImageFile.h"
#include "platform/MappedFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace dbx {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual std::uint64_t Size() const = 0;
    // Copies [pos, pos + n) into out and returns how many bytes that was:
    // fewer than n only at the end of the source, or where a mapped file that
    // was cut since it was opened can no longer be read. Bytes that could not
    // be read (a bad sector, a gap between pieces) come as zeros; HasMissing
    // tells where.
    virtual std::size_t Read(std::uint64_t pos, void* out, std::size_t n) const = 0;
    // The whole source as memory when it is a mapped file, else nullptr.
    // Reads of it must be guarded (platform/GuardedRead.h): the file may be
    // cut while it is mapped.
    virtual const std::uint8_t* Mapped() const { return nullptr; }
    // How many bytes, from the start, can still be read: Size(), or less
    // when a mapped file was cut since it was opened. Asks the system.
    virtual std::uint64_t ReadableSize() const { return Size(); }
    // Whether any byte of [pos, pos + n) reads as zeros only because it could
    // not be read.
    virtual bool HasMissing(std::uint64_t pos, std::uint64_t n) const
    {
        (void)pos;
        (void)n;
        return false;
    }
};

// A mail file mapped read-only, as DbxFile opens it.
class MappedSource final : public ByteSource {
public:
    // False when the file cannot be mapped (see platform::MappedFile::Open).
    bool Open(const std::string& path) { return file_.Open(path); }

    std::uint64_t Size() const override { return file_.Size(); }
    std::size_t Read(std::uint64_t pos, void* out, std::size_t n) const override;
    const std::uint8_t* Mapped() const override { return file_.Data(); }
    std::uint64_t ReadableSize() const override { return file_.ReadableSize(); }

private:
    platform::MappedFile file_;
};

// Bytes already in memory (or mapped by someone else), not owned.
class ViewSource final : public ByteSource {
public:
    explicit ViewSource(std::string_view bytes) : bytes_(bytes) {}

    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t Read(std::uint64_t pos, void* out, std::size_t n) const override;
    const std::uint8_t* Mapped() const override
    {
        return reinterpret_cast<const std::uint8_t*>(bytes_.data());
    }

private:
    std::string_view bytes_;
};

// A disk image or a disk, read with large aligned reads through a small
// cache. Bad sectors read as zeros and are counted, never fatal.
class ImageSource final : public ByteSource {
public:
    ImageSource();
    ~ImageSource() override;

    // False when it cannot be opened; File().LastOpenError() says why.
    bool Open(const std::string& path);

    std::uint64_t Size() const override { return file_.Size(); }
    std::size_t Read(std::uint64_t pos, void* out, std::size_t n) const override;
    bool HasMissing(std::uint64_t pos, std::uint64_t n) const override;

    // The file itself, for the one sequential pass over it and its counts.
    platform::ImageFile& File() { return file_; }
    const platform::ImageFile& File() const { return file_; }

    // Reads go through kCacheChunks chunks of kChunkSize bytes, aligned to
    // their size: the blocks of one e-mail usually lie close together, and
    // a disk reads 64 KiB about as fast as one sector.
    static constexpr std::size_t kChunkSize = 64 * 1024;
    static constexpr std::size_t kCacheChunks = 16;

private:
    struct Chunk {
        std::uint64_t index = ~std::uint64_t{0};
        std::uint64_t lastUse = 0;
        std::size_t length = 0;
        std::unique_ptr<std::uint8_t[]> bytes;
    };
    const Chunk& Fetch(std::uint64_t index) const;

    mutable std::mutex lock_;  // over the cache and the file's reading state
    mutable platform::ImageFile file_;
    mutable std::vector<Chunk> cache_;
    mutable std::uint64_t clock_ = 0;
};

} // namespace dbx
