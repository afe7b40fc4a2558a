#pragma once
// SHA-256 digests of what the program reads and writes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace archive {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t n);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given so far as 64 lower-case hex digits;
    // the object then starts afresh.
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The digest of the whole file at `path` (read, not mapped) and its size in
// bytes; false when it cannot be read to its end.
bool HashFile(const std::string& path, std::string& hexDigest, std::uint64_t& size);

} // namespace archive
