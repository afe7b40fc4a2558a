#include "platform/Sha256.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <bcrypt.h>

#include <cstdlib>
#else
#include <nettle/sha2.h>
#endif

namespace platform {

#ifdef _WIN32

// A hash object of the system's SHA-256 provider. CNG has been part of
// Windows since Vista; without it nothing could be hashed, so a failure to
// open it ends the program rather than giving a wrong digest.
struct Sha256Context::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;

    State()
    {
        if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            std::abort();
        Start();
    }
    ~State()
    {
        if (hash)
            BCryptDestroyHash(hash);
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    void Start()
    {
        if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0)
            std::abort();
    }
};

Sha256Context::Sha256Context() : state_(std::make_unique<State>()) {}

Sha256Context::~Sha256Context() = default;

void Sha256Context::Update(const void* data, std::size_t n)
{
    auto* p = static_cast<PUCHAR>(const_cast<void*>(data));  // CNG reads it only
    while (n > 0) {
        const ULONG chunk = n > 0x40000000 ? 0x40000000 : static_cast<ULONG>(n);
        if (BCryptHashData(state_->hash, p, chunk, 0) < 0)
            std::abort();
        p += chunk;
        n -= chunk;
    }
}

std::array<std::uint8_t, 32> Sha256Context::Finish()
{
    std::array<std::uint8_t, 32> digest{};
    // A finished hash object cannot be used again: a fresh one follows.
    if (BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0)
        std::abort();
    BCryptDestroyHash(state_->hash);
    state_->hash = nullptr;
    state_->Start();
    return digest;
}

#else

struct Sha256Context::State {
    sha256_ctx ctx;
};

Sha256Context::Sha256Context() : state_(std::make_unique<State>())
{
    sha256_init(&state_->ctx);
}

Sha256Context::~Sha256Context() = default;

void Sha256Context::Update(const void* data, std::size_t n)
{
    sha256_update(&state_->ctx, n, static_cast<const std::uint8_t*>(data));
}

std::array<std::uint8_t, 32> Sha256Context::Finish()
{
    std::array<std::uint8_t, 32> digest{};
    sha256_digest(&state_->ctx, digest.size(), digest.data());  // also starts afresh
    return digest;
}

#endif

} // namespace platform
