#include "archive/Sha256.h"

#include "platform/Files.h"
#include "platform/Sha256.h"

#include <cstdio>
#include <vector>

namespace archive {

struct Sha256::State {
    platform::Sha256Context ctx;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t n)
{
    state_->ctx.Update(data, n);
}

std::string Sha256::HexDigest()
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t b : state_->ctx.Finish()) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

bool HashFile(const std::string& path, std::string& hexDigest, std::uint64_t& size)
{
    std::FILE* in = platform::OpenForReading(path);
    if (!in)
        return false;
    Sha256 hash;
    std::vector<char> buffer(1 << 20);
    size = 0;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
        hash.Update(buffer.data(), n);
        size += n;
    }
    const bool whole = !std::ferror(in);
    std::fclose(in);
    if (whole)
        hexDigest = hash.HexDigest();
    return whole;
}

} // namespace archive
