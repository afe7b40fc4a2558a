#pragma once
// SHA-256 by the system's cryptography: Windows CNG (bcrypt) on Windows,
// nettle elsewhere.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

class Sha256Context {
public:
    Sha256Context();
    ~Sha256Context();
    Sha256Context(const Sha256Context&) = delete;
    Sha256Context& operator=(const Sha256Context&) = delete;

    void Update(const void* data, std::size_t n);
    // The digest of everything given since the start or the last Finish;
    // the context then starts afresh.
    std::array<std::uint8_t, 32> Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
