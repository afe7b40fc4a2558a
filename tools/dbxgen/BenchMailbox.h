#pragma once
// Large realistic mailboxes for benchmarks: varied e-mails up to a target
// file size, a share of them deleted, written straight to disk.

#include "tools/dbxgen/Manifest.h"
#include "tools/dbxgen/RandomMail.h"

#include <cstdint>
#include <string>

namespace dbxgen {

struct BenchOptions {
    std::uint64_t size = 64ull << 20; // target file size in bytes
    std::uint64_t seed = 1;
    double deletedShare = 0.2;        // share of messages that are deleted
    double attachmentShare = 0.15;    // share with attachments (0 to 0.15)
    SizeMix sizes = SizeMix::kUsual;
};

struct BenchSummary {
    std::uint64_t fileSize = 0; // 0 when the file could not be written
    std::size_t live = 0;
    std::size_t deleted = 0;
};

// Writes the mailbox to `path`, stopping before a message would take the
// file past the target size. When `manifest` is given it receives every
// message in recovery order. Throws std::length_error for targets beyond
// what 32-bit offsets reach.
BenchSummary WriteBenchMailbox(const std::string& path, const BenchOptions& options,
                               Manifest* manifest = nullptr);

} // namespace dbxgen
