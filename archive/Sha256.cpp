#include "archive/Sha256.h"

#include <nettle/sha2.h>

#include <cstdio>
#include <vector>

namespace archive {

struct Sha256::State {
    sha256_ctx ctx;
};

Sha256::Sha256() : state_(std::make_unique<State>())
{
    sha256_init(&state_->ctx);
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t n)
{
    sha256_update(&state_->ctx, n, static_cast<const std::uint8_t*>(data));
}

std::string Sha256::HexDigest()
{
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&state_->ctx, sizeof digest, digest);  // also starts afresh
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t b : digest) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

bool HashFile(const std::string& path, std::string& hexDigest, std::uint64_t& size)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
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
