#pragma once
// A byte image of a .dbx file under construction: tests and the fixture
// maker place block headers and payloads at exact offsets with it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbxgen {

constexpr std::uint32_t kLiveBlockSize = 0x200;     // 512
constexpr std::uint32_t kDeletedBlockSize = 0x1FC;  // 508
constexpr std::uint32_t kDeletedDataLength = 0x210; // 528
constexpr std::uint32_t kBlockHeaderSize = 16;
constexpr std::uint32_t kPayloadSize = 512;
constexpr std::uint32_t kBlockSpan = kBlockHeaderSize + kPayloadSize; // 528

class DbxImage {
public:
    explicit DbxImage(std::size_t size = 0) : bytes_(size, '\0') {}

    std::size_t Size() const { return bytes_.size(); }
    void Resize(std::size_t size) { bytes_.resize(size, '\0'); }
    const std::string& Bytes() const { return bytes_; }
    std::string& Bytes() { return bytes_; }

    // Little-endian 32-bit value at `at`; grows the image when needed.
    void PutU32(std::size_t at, std::uint32_t value);
    std::uint32_t GetU32(std::size_t at) const;
    void PutBytes(std::size_t at, std::string_view bytes);

    // A block header {at, size, length, next} followed by the payload.
    void PutHeader(std::uint32_t at, std::uint32_t blockSize, std::uint32_t dataLength,
                   std::uint32_t next);
    // A live block: header {at, 512, payload size, next} and the payload
    // (at most 512 bytes); the rest of the 512-byte body is left as it is.
    void PutLiveBlock(std::uint32_t at, std::string_view payload, std::uint32_t next);
    // A deleted block: header {at, 508, 528, next} and up to 512 payload bytes.
    void PutDeletedBlock(std::uint32_t at, std::string_view payload, std::uint32_t next);

    bool WriteTo(const std::string& path) const;

private:
    std::string bytes_;
};

} // namespace dbxgen
