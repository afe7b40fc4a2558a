#include "tools/dbxgen/BenchMailbox.h"

#include "tools/dbxgen/MailboxStream.h"
#include "tools/dbxgen/OeLayout.h"

#include <algorithm>
#include <stdexcept>

namespace dbxgen {

namespace {

// Index bytes per listed message (info object and tree share), generously.
constexpr std::uint64_t kIndexPerMessage = 640;

} // namespace

BenchSummary WriteBenchMailbox(const std::string& path, const BenchOptions& options,
                               Manifest* manifest)
{
    if (options.size > 0xF0000000ull)
        throw std::length_error("mailboxes are limited to 32-bit offsets (under 3.75 GiB here)");
    MailboxStream stream(path);
    BenchSummary summary;
    if (!stream.Ok())
        return summary;

    RandomMail mail(options.seed, options.attachmentShare, options.sizes);
    Prng fate(options.seed ^ 0xDE1E7Eull);
    std::vector<ManifestEntry> entries;
    for (int id = 0;; ++id) {
        MailMessage m = mail.Next();
        const bool deleted = fate.Chance(options.deletedShare);
        const std::uint64_t blocks = (m.text.size() + oe::kBlockBodySize - 1) / oe::kBlockBodySize;
        const std::uint64_t projected = stream.MessageAreaEnd() + blocks * oe::kBlockSpan
                                        + (summary.live + 1) * kIndexPerMessage + oe::kMessageSegmentSize
                                        + oe::kVariableSegmentSize + oe::kTreeSegmentSize;
        if (projected > options.size)
            break;
        const auto offsets = stream.Append(m, deleted);
        (deleted ? summary.deleted : summary.live) += 1;
        if (manifest) {
            ManifestEntry e;
            e.id = id;
            e.deleted = deleted;
            e.blocks = offsets;
            e.size = deleted ? offsets.size() * oe::kBlockBodySize : m.text.size();
            e.textLength = m.text.size();
            e.from = m.from;
            e.to = m.to;
            e.subject = m.subject;
            e.hasAttachment = m.hasAttachment;
            entries.push_back(std::move(e));
        }
    }
    summary.fileSize = stream.Finish();
    if (manifest) {
        // Recovery order: deleted first, then live, each by first block.
        std::stable_sort(entries.begin(), entries.end(), [](const ManifestEntry& a, const ManifestEntry& b) {
            return a.deleted != b.deleted ? a.deleted : a.blocks.front() < b.blocks.front();
        });
        *manifest = Manifest(path, summary.fileSize);
        for (auto& e : entries)
            manifest->Add(std::move(e));
    }
    return summary;
}

} // namespace dbxgen
