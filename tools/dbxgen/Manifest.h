#pragma once
// The expected recovery of a generated mailbox as a JSON file, for tests and
// scripts that check a recovery run against it.

#include "tools/dbxgen/Mailbox.h"

#include <cstdint>
#include <ostream>
#include <utility>
#include <string>
#include <vector>

namespace dbxgen {

struct ManifestEntry {
    int id = 0;                        // order in which the message was written
    bool deleted = false;
    bool recovered = true;             // recovery lists it as a whole
    std::vector<std::uint32_t> blocks; // header offsets in chain order
    std::uint64_t size = 0;            // bytes recovery writes for it
    std::uint64_t textLength = 0;      // length of the stored message
    std::string from;                  // header values as written (raw bytes)
    std::string to;
    std::string subject;
    bool hasAttachment = false;
};

class Manifest {
public:
    Manifest(std::string fileName, std::uint64_t fileSize)
        : fileName_(std::move(fileName)), fileSize_(fileSize) {}

    // Entries of every message of `box`: recovery order first, then the
    // messages recovery does not list as a whole.
    static Manifest FromMailbox(const Mailbox& box, std::string fileName);

    // Entries must be added in recovery order.
    void Add(ManifestEntry entry) { entries_.push_back(std::move(entry)); }
    const std::vector<ManifestEntry>& Entries() const { return entries_; }

    // Writes the JSON document; texts are shown as UTF-8 (windows-1252 when
    // they are not valid UTF-8).
    void Write(std::ostream& out) const;
    // Writes it to `path`; false when that failed.
    bool WriteTo(const std::string& path) const;

private:
    std::string fileName_;
    std::uint64_t fileSize_;
    std::vector<ManifestEntry> entries_;
};

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

} // namespace dbxgen
