#include "tools/dbxgen/DbxImage.h"

#include <fstream>
#include <stdexcept>

namespace dbxgen {

void DbxImage::PutU32(std::size_t at, std::uint32_t value)
{
    if (bytes_.size() < at + 4)
        bytes_.resize(at + 4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes_[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t DbxImage::GetU32(std::size_t at) const
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes_.at(at + i));
    return v;
}

void DbxImage::PutBytes(std::size_t at, std::string_view bytes)
{
    if (bytes_.size() < at + bytes.size())
        bytes_.resize(at + bytes.size(), '\0');
    bytes_.replace(at, bytes.size(), bytes.data(), bytes.size());
}

void DbxImage::PutHeader(std::uint32_t at, std::uint32_t blockSize, std::uint32_t dataLength,
                         std::uint32_t next)
{
    PutU32(at, at);
    PutU32(at + 4, blockSize);
    PutU32(at + 8, dataLength);
    PutU32(at + 12, next);
}

void DbxImage::PutLiveBlock(std::uint32_t at, std::string_view payload, std::uint32_t next)
{
    if (payload.size() > kPayloadSize)
        throw std::invalid_argument("live block payload over 512 bytes");
    PutHeader(at, kLiveBlockSize, static_cast<std::uint32_t>(payload.size()), next);
    PutBytes(at + kBlockHeaderSize, payload);
}

void DbxImage::PutDeletedBlock(std::uint32_t at, std::string_view payload, std::uint32_t next)
{
    if (payload.size() > kPayloadSize)
        throw std::invalid_argument("deleted block payload over 512 bytes");
    PutHeader(at, kDeletedBlockSize, kDeletedDataLength, next);
    PutBytes(at + kBlockHeaderSize, payload);
}

bool DbxImage::WriteTo(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    return static_cast<bool>(out.flush());
}

} // namespace dbxgen
